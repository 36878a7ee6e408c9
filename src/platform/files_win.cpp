#include "platform/files_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <vector>

namespace korin {

namespace {

// The longest path the system can name, in UTF-16 units.
constexpr std::size_t kMaxModulePathUnits = 32768;

class WinFileHandle final : public FileHandle {
  public:
    explicit WinFileHandle(UniqueFileHandle file) : file_(std::move(file)) {}

    bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        DWORD got = 0;
        const bool ok = ReadFile(file_.get(), buffer, size, &got, nullptr) != FALSE;
        bytesRead = got;
        return ok;
    }

    bool write(const void* data, std::uint32_t size) override {
        DWORD put = 0;
        return WriteFile(file_.get(), data, size, &put, nullptr) != FALSE && put == size;
    }

    bool getFileSize(std::uint64_t& size) override {
        LARGE_INTEGER value{};
        if (GetFileSizeEx(file_.get(), &value) == FALSE) {
            return false;
        }
        size = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }

    bool flush() override { return FlushFileBuffers(file_.get()) != FALSE; }

    bool close() override { return CloseHandle(file_.release()) != FALSE; }

  private:
    UniqueFileHandle file_;
};

std::uint64_t fileTimeNumber(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void copyFindData(const WIN32_FIND_DATAW& found, FindData& data) {
    data.attributes = found.dwFileAttributes;
    data.lastWriteTime = fileTimeNumber(found.ftLastWriteTime);
    data.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    data.name = found.cFileName;
}

class WinFindHandle final : public FindHandle {
  public:
    explicit WinFindHandle(UniqueFindHandle find) : find_(std::move(find)) {}

    bool findNext(FindData& data) override {
        WIN32_FIND_DATAW found{};
        if (!FindNextFileW(find_.get(), &found)) {
            return false;
        }
        copyFindData(found, data);
        return true;
    }

  private:
    UniqueFindHandle find_;
};

}  // namespace

std::unique_ptr<FileHandle> WinFiles::openFile(const std::wstring& path, FileOpenMode mode) {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (mode == FileOpenMode::ReadSharingRead) {
        share = FILE_SHARE_READ;
    } else if (mode == FileOpenMode::CreateAlways) {
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    } else if (mode == FileOpenMode::CreateUnshared) {
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        share = 0;
    } else if (mode == FileOpenMode::CreateNew) {
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
    } else if (mode == FileOpenMode::AppendAlways) {
        // Append-only access: every write lands at the then current end.
        access = FILE_APPEND_DATA;
        disposition = OPEN_ALWAYS;
    }
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (mode == FileOpenMode::DeleteOnClose) {
        access = DELETE;
        share = 0;
        flags = FILE_FLAG_DELETE_ON_CLOSE;
    }
    UniqueFileHandle file(
        CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
    if (!file) {
        return nullptr;
    }
    return std::make_unique<WinFileHandle>(std::move(file));
}

bool WinFiles::getFullPathName(const std::wstring& path, std::wstring& fullPath) {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        // Longer than MAX_PATH: take the whole path rather than a cut one.
        buffer.resize(length);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                                  nullptr);
    }
    if (length == 0 || length >= buffer.size()) {
        return false;
    }
    fullPath.assign(buffer.data(), length);
    return true;
}

bool WinFiles::getModuleFileName(std::wstring& path) {
    // A truncated result fills the buffer exactly (with 122 since Vista, with
    // no error on XP): grow it until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return false;
        }
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            return true;
        }
        if (buffer.size() >= kMaxModulePathUnits) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::uint32_t WinFiles::getFileAttributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

bool WinFiles::setFileAttributes(const std::wstring& path, std::uint32_t attributes) {
    return SetFileAttributesW(path.c_str(), attributes) != FALSE;
}

bool WinFiles::createDirectory(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool WinFiles::removeDirectory(const std::wstring& path) {
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool WinFiles::deleteFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

bool WinFiles::moveFileReplacing(const std::wstring& source, const std::wstring& target) {
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::unique_ptr<FindHandle> WinFiles::findFirstFile(const std::wstring& pattern, FindData& data) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &found));
    if (!find) {
        return nullptr;
    }
    copyFindData(found, data);
    return std::make_unique<WinFindHandle>(std::move(find));
}

bool WinFiles::getTempPath(std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length >= buffer.size()) {
        return false;
    }
    path.assign(buffer.data(), length);
    return true;
}

bool WinFiles::getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                               std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, buffer) == 0) {
        return false;
    }
    path = buffer;
    return true;
}

}  // namespace korin
