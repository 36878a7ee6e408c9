#pragma once

// Runs a function on a thread of its own with a stack of a chosen size, the
// way the service thread runs on Windows (CreateThread's reservation).

#include <cstddef>
#include <functional>

namespace korin::testing {

// False when the thread could not be started.
bool runOnStack(std::size_t stackBytes, const std::function<void()>& work);

}  // namespace korin::testing
