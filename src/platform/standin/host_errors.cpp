#include "platform/standin/host_errors.h"

#include "platform/error_codes.h"

#include <sys/stat.h>

#include <cerrno>

namespace korin::standin {

namespace {

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::uint32_t win32ErrorFromErrno(int error, const std::string& path) {
    switch (error) {
        case ENOENT: {
            struct stat info;
            const bool parentExists = !path.empty() && stat(parentFolder(path).c_str(), &info) == 0;
            return path.empty() || parentExists ? kErrorFileNotFound : kErrorPathNotFound;
        }
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case ENOSPC:
            return kErrorDiskFull;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case ENAMETOOLONG:
            return kErrorFilenameExcedRange;
        case EBADF:
            return kErrorInvalidHandle;
        default:
            return kErrorInvalidParameter;
    }
}

}  // namespace korin::standin
