#include "fakes/fake_system_info.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"

namespace korin::testing {

bool FakeSystemInfo::getVersionEx(OsVersionInfo& info) {
    if (versionCallFails) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    info = version;
    return true;
}

bool FakeSystemInfo::getSystemWow64Directory(std::wstring& path) {
    if (wow64Directory.empty()) {
        setLastError(kErrorCallNotImplemented);
        return false;
    }
    path = wow64Directory;
    return true;
}

bool FakeSystemInfo::getSystemDirectory(std::wstring& path) {
    if (systemDirectory.empty()) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    path = systemDirectory;
    return true;
}

}  // namespace korin::testing
