#include "platform/standin/file_system.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"
#include "platform/standin/host_errors.h"
#include "platform/standin/machine_sources.h"
#include "ground/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cwchar>

namespace korin::standin {

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

FindData findDataOf(const std::string& hostPath, const std::string& name) {
    FindData data;
    data.name = wideFromUtf8(name);
    struct stat info;
    if (lstat(hostPath.c_str(), &info) != 0) {
        data.attributes = kFileAttributeNormal;
        return data;
    }
    data.attributes = fileAttributes(hostPath, info);
    if (!S_ISLNK(info.st_mode) && !S_ISDIR(info.st_mode)) {
        data.size = static_cast<std::uint64_t>(info.st_size);
    }
    data.lastWriteTime = kUnixEpochAsFileTime +
                         static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 10000000ull +
                         static_cast<std::uint64_t>(info.st_mtim.tv_nsec) / 100;
    return data;
}

}  // namespace

void stampWithMachineClock(const Machine& machine, int fd) {
    const std::optional<std::uint64_t> set = setClockTime(machine);
    if (!set || *set < kUnixEpochAsFileTime) {
        return;
    }
    const std::uint64_t sinceEpoch = *set - kUnixEpochAsFileTime;
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(sinceEpoch / 10000000);
    times[1].tv_nsec = static_cast<long>(sinceEpoch % 10000000 * 100);
    futimens(fd, times);  // on failure the host's stamp stands: only the file's age is off
}

bool isReadOnly(const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::uint32_t fileAttributes(const std::string& hostPath, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) {
        struct stat target;
        const bool folder = stat(hostPath.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        return kFileAttributeReparsePoint | (folder ? kFileAttributeDirectory : 0);
    }
    if (S_ISDIR(info.st_mode)) {
        return kFileAttributeDirectory;
    }
    return isReadOnly(info) ? kFileAttributeReadOnly : kFileAttributeNormal;
}

bool refusedAsReadOnly(const std::string& hostPath) {
    struct stat info;
    if (lstat(hostPath.c_str(), &info) == 0 && isReadOnly(info)) {
        setLastError(kErrorAccessDenied);
        return true;
    }
    return false;
}

bool listFolder(const ProgramView& view, const std::wstring& pattern,
                std::vector<FindData>& entries) {
    const auto slash = pattern.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : pattern.substr(0, slash + 1);
    const std::string wanted =
        utf8FromWide(pattern.substr(slash == std::wstring::npos ? 0 : slash + 1));
    if (wanted.empty()) {
        setLastError(kErrorFileNotFound);
        return false;
    }
    const std::string hostFolder = view.hostPath(folder);
    if (wanted.find_first_of("*?") == std::string::npos) {
        // A plain name: that one entry.
        const std::string host = view.hostPath(pattern);
        struct stat info;
        if (lstat(host.c_str(), &info) != 0) {
            setLastError(win32ErrorFromErrno(errno, host));
            return false;
        }
        entries.push_back(findDataOf(host, host.substr(host.rfind('/') + 1)));
    } else {
        DIR* dir = opendir(hostFolder.c_str());
        if (dir == nullptr) {
            setLastError(errno == ENOENT || errno == ENOTDIR
                             ? kErrorPathNotFound
                             : win32ErrorFromErrno(errno, hostFolder));
            return false;
        }
        // "*.*" matches every name, as on Windows.
        const std::string glob = wanted == "*.*" ? std::string("*") : wanted;
        const bool driveRoot = view.machine().fullPath(folder).size() <= 3;
        std::vector<std::string> names;
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            if (fnmatch(glob.c_str(), name.c_str(), FNM_CASEFOLD) == 0) {
                names.push_back(name);
            }
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        // NTFS lists "." and ".." first, except at a drive's root.
        if (!driveRoot && fnmatch(glob.c_str(), ".", 0) == 0) {
            entries.push_back(findDataOf(hostFolder, "."));
            entries.push_back(findDataOf(hostFolder + "/..", ".."));
        }
        for (const std::string& name : names) {
            entries.push_back(findDataOf(hostFolder + "/" + name, name));
        }
    }
    if (entries.empty()) {
        setLastError(kErrorFileNotFound);
        return false;
    }
    return true;
}

bool makeTempFileName(const ProgramView& view, const std::wstring& folder,
                      const std::wstring& prefix, std::wstring& path) {
    // As the platform does: at most three units of the prefix, a hex number
    // from the clock, counted up until a new file can be made.
    if (folder.size() > kMaxPath - 14) {
        setLastError(kErrorBufferOverflow);
        return false;
    }
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') {
        base += L'\\';
    }
    // A folder that is not there (or is a file) is refused before any name.
    struct stat info;
    if (stat(view.hostPath(base).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        setLastError(kErrorDirectory);
        return false;
    }
    base += prefix.substr(0, 3);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    auto unique = static_cast<unsigned>((now.tv_nsec / 1000) & 0xFFFF);
    for (int attempt = 0; attempt < 0x10000; ++attempt, unique = (unique + 1) & 0xFFFF) {
        if (unique == 0) {
            continue;
        }
        wchar_t hex[8];
        std::swprintf(hex, 8, L"%X", unique);
        const std::wstring candidate = base + hex + L".tmp";
        const std::string host = view.hostPath(candidate);
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            path = candidate;
            return true;
        }
        if (errno != EEXIST) {
            setLastError(win32ErrorFromErrno(errno, host));
            return false;
        }
    }
    setLastError(kErrorFileExists);
    return false;
}

}  // namespace korin::standin
