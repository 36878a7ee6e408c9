#include "platform/system_info_posix.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"

namespace korin {

bool StandInSystemInfo::getVersionEx(OsVersionInfo& info) {
    info.majorVersion = facts_.majorVersion;
    info.minorVersion = facts_.minorVersion;
    info.buildNumber = facts_.buildNumber;
    info.platformId = 2;
    return true;
}

int StandInSystemInfo::isWow64Process() {
    return facts_.is64Bit ? 1 : 0;
}

bool StandInSystemInfo::getSystemWow64Directory(std::wstring& path) {
    if (!facts_.is64Bit) {
        setLastError(kErrorCallNotImplemented);
        return false;
    }
    path = L"C:\\Windows\\SysWOW64";
    return true;
}

bool StandInSystemInfo::getSystemDirectory(std::wstring& path) {
    path = L"C:\\Windows\\system32";
    return true;
}

}  // namespace korin
