#pragma once

// The files port: files, folders, listings and temporary names.

#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korin {

// How a file is opened; every mode but ReadSharingRead shares read, write and
// delete with other openers, as the system's files are opened.
enum class FileOpenMode {
    ReadExisting,     // read; fails when missing
    ReadSharingRead,  // read; fails when missing; others may only read meanwhile
    CreateAlways,     // write; created or truncated
    AppendAlways,     // write at the end; created when missing
    CreateNew,        // write; fails with 80 (ERROR_FILE_EXISTS) when the file exists
    CreateUnshared,   // write; created or truncated; nobody else may open it meanwhile
    // Delete access to an existing file, sharing nothing; the file goes when
    // the handle closes. 32 (ERROR_SHARING_VIOLATION) while another handle is
    // open on it, whoever holds that.
    DeleteOnClose,
};

// One open file. Closing happens on destruction.
class FileHandle {
  public:
    virtual ~FileHandle() = default;
    // Reads up to size bytes; bytesRead 0 with true means the end of the file.
    virtual bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) = 0;
    // Writes all size bytes or fails.
    virtual bool write(const void* data, std::uint32_t size) = 0;
    // GetFileSizeEx: the file's size in bytes.
    virtual bool getFileSize(std::uint64_t& size) = 0;
    // FlushFileBuffers: what was written is on the disk.
    virtual bool flush() = 0;
    // CloseHandle now, so that its failure can be seen; destruction then
    // closes nothing more.
    virtual bool close() = 0;
};

// MAX_PATH: the units of a path buffer, the terminating zero included.
inline constexpr std::size_t kMaxPath = 260;

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// The fields of WIN32_FIND_DATAW that the system reads.
struct FindData {
    std::uint32_t attributes = 0;
    std::uint64_t lastWriteTime = 0;  // FILETIME as one number
    std::uint64_t size = 0;
    std::wstring name;
};

// An enumeration begun by findFirstFile; FindClose on destruction.
class FindHandle {
  public:
    virtual ~FindHandle() = default;
    // FindNextFileW: false with 18 (ERROR_NO_MORE_FILES) after the last entry.
    virtual bool findNext(FindData& data) = 0;
};

// A listing made whole beforehand, handed out one entry at a time, for the
// adapters that list a folder in one go.
class ListedFindHandle final : public FindHandle {
  public:
    explicit ListedFindHandle(std::vector<FindData> entries) : entries_(std::move(entries)) {}

    bool findNext(FindData& data) override {
        if (next_ >= entries_.size()) {
            setLastError(kErrorNoMoreFiles);
            return false;
        }
        data = entries_[next_++];
        return true;
    }

  private:
    std::vector<FindData> entries_;
    std::size_t next_ = 0;
};

// Files and folders by Windows path. Failures return false, null or
// kInvalidFileAttributes and set the thread's last error.
class Files {
  public:
    virtual ~Files() = default;
    virtual std::unique_ptr<FileHandle> openFile(const std::wstring& path, FileOpenMode mode) = 0;
    // GetFullPathNameW: the absolute form of path; the whole path, however long.
    virtual bool getFullPathName(const std::wstring& path, std::wstring& fullPath) = 0;
    // GetModuleFileNameW(NULL): the running executable's full path, however
    // long; false with the call's error when it fails.
    virtual bool getModuleFileName(std::wstring& path) = 0;
    virtual std::uint32_t getFileAttributes(const std::wstring& path) = 0;
    // SetFileAttributesW: read-only (kFileAttributeReadOnly) or normal. A
    // read-only file is not replaced, deleted or opened for writing (5).
    virtual bool setFileAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
    virtual bool createDirectory(const std::wstring& path) = 0;
    virtual bool removeDirectory(const std::wstring& path) = 0;
    virtual bool deleteFile(const std::wstring& path) = 0;
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING: replaces target in one step.
    virtual bool moveFileReplacing(const std::wstring& source, const std::wstring& target) = 0;
    // FindFirstFileW: the first entry matching pattern (folder\* lists a
    // folder, "." and ".." included except at a drive's root).
    virtual std::unique_ptr<FindHandle> findFirstFile(const std::wstring& pattern,
                                                      FindData& data) = 0;
    // GetTempPathW: the temporary folder, ending with a backslash; the whole
    // path, however long (the caller decides what is too long).
    virtual bool getTempPath(std::wstring& path) = 0;
    // GetTempFileNameW with unique number 0: creates an empty file of a new
    // name "<folder>\<prefix><hex>.tmp" and hands back its path.
    virtual bool getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                 std::wstring& path) = 0;
};

}  // namespace korin
