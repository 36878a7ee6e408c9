#include "platform/last_error.h"

namespace korin {

namespace {
thread_local std::uint32_t threadLastError = 0;
}

std::uint32_t lastError() {
    return threadLastError;
}

void setLastError(std::uint32_t code) {
    threadLastError = code;
}

}  // namespace korin
