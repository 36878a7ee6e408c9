#include "platform/com_runtime_win.h"

#include <windows.h>

#include <objbase.h>

namespace korin {

HResult WinComRuntime::initializeEx(std::uint32_t flags) {
    return CoInitializeEx(nullptr, flags);
}

HResult WinComRuntime::initialize() {
    return CoInitialize(nullptr);
}

HResult WinComRuntime::initializeSecurity(std::uint32_t authenticationLevel,
                                          std::uint32_t impersonationLevel) {
    return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, authenticationLevel,
                                impersonationLevel, nullptr, EOAC_NONE, nullptr);
}

void WinComRuntime::uninitialize() {
    // Leaving the apartment is part of the way out, which keeps the caller's
    // last error.
    const DWORD error = GetLastError();
    CoUninitialize();
    SetLastError(error);
}

}  // namespace korin
