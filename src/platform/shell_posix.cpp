#include "platform/shell_posix.h"
#include "platform/standin/host_errors.h"

#include "platform/error_codes.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace korin {

int StandInShell::deletePath(const std::wstring& path) {
    if (path.empty()) {
        return static_cast<int>(kErrorInvalidParameter);
    }
    const std::string host = view_.hostPath(path);
    struct stat info;
    if (lstat(host.c_str(), &info) != 0) {
        const std::uint32_t error = standin::win32ErrorFromErrno(errno, host);
        // The shell answers a source whose folder is missing with its own
        // DE_INVALIDFILES, not with ERROR_PATH_NOT_FOUND.
        return static_cast<int>(error == kErrorPathNotFound ? kDeInvalidFiles : error);
    }
    std::error_code error;
    std::filesystem::remove_all(host, error);
    return error ? static_cast<int>(standin::win32ErrorFromErrno(error.value(), host)) : 0;
}

std::int32_t StandInShell::getFolderPath(int csidl, std::wstring& path) {
    std::wstring folder;
    switch (csidl & ~kCsidlFlagCreate) {
        case kCsidlAppData:
            folder = standin::kUserAppData;
            break;
        case kCsidlLocalAppData:
            folder = standin::kUserLocalAppData;
            break;
        case kCsidlSystem:
            folder = L"C:\\Windows\\system32";
            break;
        default:
            return kEInvalidArg;
    }
    const std::string host = view_.machine().hostPath(folder, false);
    struct stat info;
    if (stat(host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::error_code error;
        if ((csidl & kCsidlFlagCreate) == 0 || !std::filesystem::create_directories(host, error)) {
            return kEFail;
        }
    }
    path = folder;
    return kSOk;
}

}  // namespace korin
