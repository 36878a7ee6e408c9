#include "platform/files_posix.h"
#include "platform/standin/host_errors.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "platform/standin/file_system.h"
#include "ground/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace korin {

namespace {

// An open file descriptor, closed on destruction. Handles opened for reading
// read ahead in large chunks, as the platform's file cache does, so that
// small reads do not each cost a system call.
// A handle opened for writing gets the machine's time when it is closed.
class StandInFileHandle final : public FileHandle {
  public:
    StandInFileHandle(int fd, bool readAhead, const standin::Machine* stampOnClose)
        : fd_(fd), stampOnClose_(stampOnClose) {
        if (readAhead) {
            ahead_.resize(kReadAheadSize);
        }
    }
    ~StandInFileHandle() override {
        if (fd_ >= 0) {
            stamp();
            ::close(fd_);
        }
    }
    StandInFileHandle(const StandInFileHandle&) = delete;
    StandInFileHandle& operator=(const StandInFileHandle&) = delete;

    bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        auto* out = static_cast<char*>(buffer);
        while (bytesRead < size) {
            if (aheadStart_ == aheadEnd_) {
                const std::uint32_t wanted = size - bytesRead;
                if (ahead_.empty() || wanted >= ahead_.size()) {
                    std::size_t got = 0;
                    if (!readSome(out + bytesRead, wanted, got)) {
                        return bytesRead > 0;
                    }
                    bytesRead += static_cast<std::uint32_t>(got);
                    return true;  // short only at the end of the file
                }
                std::size_t got = 0;
                if (!readSome(ahead_.data(), ahead_.size(), got)) {
                    return bytesRead > 0;
                }
                if (got == 0) {
                    return true;
                }
                aheadStart_ = 0;
                aheadEnd_ = got;
            }
            const std::size_t take =
                std::min<std::size_t>(size - bytesRead, aheadEnd_ - aheadStart_);
            std::memcpy(out + bytesRead, ahead_.data() + aheadStart_, take);
            aheadStart_ += take;
            bytesRead += static_cast<std::uint32_t>(take);
        }
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
                setLastError(put < 0 ? standin::win32ErrorFromErrno(errno, "") : kErrorDiskFull);
                return false;
            }
            done += static_cast<std::uint32_t>(put);
        }
        return true;
    }

    bool getFileSize(std::uint64_t& size) override {
        struct stat info;
        if (fstat(fd_, &info) != 0) {
            setLastError(standin::win32ErrorFromErrno(errno, ""));
            return false;
        }
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }

    bool flush() override {
        if (fsync(fd_) != 0) {
            setLastError(standin::win32ErrorFromErrno(errno, ""));
            return false;
        }
        return true;
    }

    bool close() override {
        stamp();
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) {
            setLastError(standin::win32ErrorFromErrno(errno, ""));
            return false;
        }
        return true;
    }

  private:
    // Read ahead as the platform's file cache does, so that the core's 1 KiB
    // reads do not each cost a system call.
    static constexpr std::size_t kReadAheadSize = 64 * 1024;

    void stamp() {
        if (stampOnClose_ != nullptr) {
            standin::stampWithMachineClock(*stampOnClose_, fd_);
        }
    }

    bool readSome(char* buffer, std::size_t size, std::size_t& got) {
        ssize_t result;
        do {
            result = ::read(fd_, buffer, size);
        } while (result < 0 && errno == EINTR);
        if (result < 0) {
            setLastError(standin::win32ErrorFromErrno(errno, ""));
            return false;
        }
        got = static_cast<std::size_t>(result);
        return true;
    }

    int fd_;
    const standin::Machine* stampOnClose_;
    std::vector<char> ahead_;
    std::size_t aheadStart_ = 0;
    std::size_t aheadEnd_ = 0;
};

// Whether a descriptor other than own (of this process) is open on the file
// of info, in any process: what Windows' sharing check sees as another handle.
bool openElsewhere(const struct stat& info, int own) {
    const std::string self = std::to_string(getpid());
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code listing;
        for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", listing)) {
            if (pid == self && fd.path().filename().string() == std::to_string(own)) {
                continue;
            }
            struct stat held;
            if (stat(fd.path().c_str(), &held) == 0 && held.st_dev == info.st_dev &&
                held.st_ino == info.st_ino) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::string StandInFiles::hostPath(const std::wstring& path) const {
    return view_.hostPath(path);
}

std::unique_ptr<FileHandle> StandInFiles::openFile(const std::wstring& path, FileOpenMode mode) {
    const std::string host = hostPath(path);
    if (mode != FileOpenMode::ReadExisting && mode != FileOpenMode::ReadSharingRead &&
        standin::refusedAsReadOnly(host)) {
        return nullptr;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileOpenMode::ReadExisting:
        case FileOpenMode::ReadSharingRead:  // the stand-in does not enforce sharing
            flags |= O_RDONLY;
            break;
        case FileOpenMode::CreateAlways:
        case FileOpenMode::CreateUnshared:  // sharing is not enforced
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case FileOpenMode::AppendAlways:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
        case FileOpenMode::CreateNew:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
        case FileOpenMode::DeleteOnClose:
            flags |= O_RDONLY | O_NOFOLLOW;
            break;
    }
    const int fd = ::open(host.c_str(), flags, 0644);
    if (fd < 0) {
        setLastError(mode == FileOpenMode::CreateNew && errno == EEXIST
                         ? kErrorFileExists
                         : standin::win32ErrorFromErrno(errno, host));
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    if (mode == FileOpenMode::DeleteOnClose) {
        // Sharing is not enforced elsewhere, but this open exists to leave a
        // file that someone holds alone; nobody holds it, so it goes now.
        const bool held = openElsewhere(info, fd);
        if (held || unlink(host.c_str()) != 0) {
            const int error = errno;
            close(fd);
            setLastError(held ? kErrorSharingViolation : standin::win32ErrorFromErrno(error, host));
            return nullptr;
        }
    }
    const bool reads = mode == FileOpenMode::ReadExisting || mode == FileOpenMode::ReadSharingRead;
    const bool writes = !reads && mode != FileOpenMode::DeleteOnClose;
    return std::make_unique<StandInFileHandle>(fd, reads, writes ? &view_.machine() : nullptr);
}

bool StandInFiles::getFullPathName(const std::wstring& path, std::wstring& fullPath) {
    if (path.empty()) {
        setLastError(kErrorInvalidName);
        return false;
    }
    fullPath = view_.machine().fullPath(path);
    return true;
}

bool StandInFiles::getModuleFileName(std::wstring& path) {
    // The running executable as the machine names it: Z:\ is the host's root.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        setLastError(standin::win32ErrorFromErrno(error.value(), ""));
        return false;
    }
    path = view_.machine().windowsPath(self.string());
    return true;
}

std::uint32_t StandInFiles::getFileAttributes(const std::wstring& path) {
    const std::string host = hostPath(path);
    struct stat info;
    if (lstat(host.c_str(), &info) != 0) {
        setLastError(standin::win32ErrorFromErrno(errno, host));
        return kInvalidFileAttributes;
    }
    return standin::fileAttributes(host, info);
}

bool StandInFiles::setFileAttributes(const std::wstring& path, std::uint32_t attributes) {
    const std::string host = hostPath(path);
    struct stat info;
    if (lstat(host.c_str(), &info) != 0) {
        setLastError(standin::win32ErrorFromErrno(errno, host));
        return false;
    }
    const mode_t mode = (attributes & kFileAttributeReadOnly) != 0
                            ? info.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                            : info.st_mode | S_IWUSR;
    if (!S_ISLNK(info.st_mode) && chmod(host.c_str(), mode & 07777) != 0) {
        setLastError(standin::win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool StandInFiles::createDirectory(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (mkdir(host.c_str(), 0755) != 0) {
        setLastError(standin::win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool StandInFiles::removeDirectory(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (rmdir(host.c_str()) != 0) {
        // A file is not a folder: 267, where POSIX says a component is not one.
        const int error = errno;
        struct stat info;
        const bool file =
            error == ENOTDIR && lstat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        setLastError(file ? kErrorDirectory : standin::win32ErrorFromErrno(error, host));
        return false;
    }
    return true;
}

bool StandInFiles::deleteFile(const std::wstring& path) {
    const std::string host = hostPath(path);
    if (standin::refusedAsReadOnly(host)) {
        return false;
    }
    if (unlink(host.c_str()) != 0) {
        setLastError(standin::win32ErrorFromErrno(errno, host));
        return false;
    }
    return true;
}

bool StandInFiles::moveFileReplacing(const std::wstring& source, const std::wstring& target) {
    const std::string from = hostPath(source);
    const std::string to = hostPath(target);
    if (standin::refusedAsReadOnly(to)) {
        return false;
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        // With the source there, what is missing is the target's folder.
        const int error = errno;
        struct stat info;
        const bool sourceThere = error == ENOENT && lstat(from.c_str(), &info) == 0;
        setLastError(sourceThere ? kErrorPathNotFound : standin::win32ErrorFromErrno(error, from));
        return false;
    }
    return true;
}

std::unique_ptr<FindHandle> StandInFiles::findFirstFile(const std::wstring& pattern,
                                                        FindData& data) {
    std::vector<FindData> entries;
    if (!standin::listFolder(view_, pattern, entries)) {
        return nullptr;
    }
    auto handle = std::make_unique<ListedFindHandle>(std::move(entries));
    handle->findNext(data);
    return handle;
}

bool StandInFiles::getTempPath(std::wstring& path) {
    path = standin::kSystemTempPath;
    return true;
}

bool StandInFiles::getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                   std::wstring& path) {
    return standin::makeTempFileName(view_, folder, prefix, path);
}

}  // namespace korin
