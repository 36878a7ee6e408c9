#pragma once

// The thread's last system error, on both builds.

#include <cstdint>

namespace korin {

// The calling thread's last system error, as GetLastError reports it. Port
// calls that fail set it; the core reads it for its log entries.
std::uint32_t lastError();
void setLastError(std::uint32_t code);

}  // namespace korin
