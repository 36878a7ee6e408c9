#include "platform/adapters_posix.h"

#include "platform/last_error.h"
#include "platform/win_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korin {

namespace {

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// An open file descriptor, closed on destruction.
class PosixFileHandle final : public FileHandle {
  public:
    explicit PosixFileHandle(int fd) : fd_(fd) {}
    ~PosixFileHandle() override { close(fd_); }
    PosixFileHandle(const PosixFileHandle&) = delete;
    PosixFileHandle& operator=(const PosixFileHandle&) = delete;

    bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        ssize_t got;
        do {
            got = ::read(fd_, buffer, size);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            bytesRead = 0;
            setLastError(win32ErrorFromErrno(errno, ""));
            return false;
        }
        bytesRead = static_cast<std::uint32_t>(got);
        return true;
    }

    bool write(const void* data, std::uint32_t size) override {
        const auto* bytes = static_cast<const char*>(data);
        std::uint32_t done = 0;
        while (done < size) {
            ssize_t put = ::write(fd_, bytes + done, size - done);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                setLastError(put < 0 ? win32ErrorFromErrno(errno, "") : kErrorDiskFull);
                return false;
            }
            done += static_cast<std::uint32_t>(put);
        }
        return true;
    }

    bool getFileSize(std::uint64_t& size) override {
        struct stat info;
        if (fstat(fd_, &info) != 0) {
            setLastError(win32ErrorFromErrno(errno, ""));
            return false;
        }
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }

  private:
    int fd_;
};

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

std::string PosixFiles::hostPath(const std::wstring& path) const {
    return machine_.hostPath(path, is64BitMachine_ && standin::wow64RedirectionEnabled());
}

std::unique_ptr<FileHandle> PosixFiles::openFile(const std::wstring& path, FileOpenMode mode) {
    const std::string host = hostPath(path);
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileOpenMode::ReadExisting:
        case FileOpenMode::ReadSharingRead:  // the stand-in does not enforce sharing
            flags |= O_RDONLY;
            break;
        case FileOpenMode::CreateAlways:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case FileOpenMode::AppendAlways:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    const int fd = ::open(host.c_str(), flags, 0644);
    if (fd < 0) {
        setLastError(win32ErrorFromErrno(errno, host));
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    return std::make_unique<PosixFileHandle>(fd);
}

bool PosixFiles::getFullPathName(const std::wstring& path, std::wstring& fullPath) {
    if (path.empty()) {
        setLastError(kErrorInvalidName);
        return false;
    }
    fullPath = machine_.fullPath(path);
    return true;
}

std::uint32_t PosixFiles::getFileAttributes(const std::wstring& path) {
    const std::string host = hostPath(path);
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        setLastError(win32ErrorFromErrno(errno, host));
        return kInvalidFileAttributes;
    }
    return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : 0x80u;  // FILE_ATTRIBUTE_NORMAL
}

bool PosixFiles::createDirectory(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (mkdir(host.c_str(), 0755) != 0) {
        setLastError(win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool PosixFiles::removeDirectory(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (rmdir(host.c_str()) != 0) {
        setLastError(win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool PosixFiles::deleteFile(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (unlink(host.c_str()) != 0) {
        setLastError(win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool PosixFiles::moveFileReplacing(const std::wstring& source, const std::wstring& target) {
    const std::string from = hostPath(source);
    const std::string to = hostPath(target);
    if (rename(from.c_str(), to.c_str()) != 0) {
        setLastError(win32ErrorFromErrno(errno, from));
        return false;
    }
    return true;
}

}  // namespace korin
