#include "platform/system_info_win.h"

#include <windows.h>

namespace korin {

bool WinSystemInfo::getVersionEx(OsVersionInfo& info) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);  // 148
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&version)) {
        return false;
    }
#pragma GCC diagnostic pop
    info.majorVersion = version.dwMajorVersion;
    info.minorVersion = version.dwMinorVersion;
    info.buildNumber = version.dwBuildNumber;
    info.platformId = version.dwPlatformId;
    return true;
}

int WinSystemInfo::isWow64Process() {
    // The SDK's own type rather than one written out here; decltype does not
    // import the function, so the program still loads where it is missing.
    using IsWow64ProcessFunction = decltype(&::IsWow64Process);
    BOOL result = FALSE;
    HMODULE kernel32 = GetModuleHandleW(L"kernel32");
    if (kernel32 == nullptr) {
        return 0;
    }
    // Looked up at run time: Windows before XP SP2 lacks the export.
    auto function = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process")));
    if (function == nullptr) {
        return 0;
    }
    function(GetCurrentProcess(), &result);
    return result;
}

bool WinSystemInfo::getSystemWow64Directory(std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemWow64DirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    path.assign(buffer, length);
    return true;
}

bool WinSystemInfo::getSystemDirectory(std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    path.assign(buffer, length);
    return true;
}

}  // namespace korin
