#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "platform/last_error.h"
#include "platform/error_codes.h"

namespace korin {

// A new T; null, with the last error ERROR_NOT_ENOUGH_MEMORY, when memory
// for it cannot be obtained. The caller logs its own code.
template <typename T, typename... Args>
std::unique_ptr<T> makeUniqueOrNull(Args&&... args) {
    try {
        return std::make_unique<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
}

}  // namespace korin
