#include "platform/last_error.h"

#include <windows.h>

namespace korin {

std::uint32_t lastError() {
    return GetLastError();
}

void setLastError(std::uint32_t code) {
    SetLastError(code);
}

}  // namespace korin
