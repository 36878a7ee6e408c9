#pragma once

// In-memory files and folders by Windows path, with per-call fault injection.

#include "fakes/fault_injector.h"
#include "platform/files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

// The folder of a Windows path or registry key: all before its last
// backslash; empty without one.
std::wstring parentOf(const std::wstring& path);

// Files by their Windows path, compared without regard to case. Folders are
// known by name; a file can be created only in a known folder.
class FakeFiles final : public Files {
  public:
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "openFile", "read", "write", "getFileSize", "flush", "closeFile", "getFullPathName",
        "getModuleFileName", "getFileAttributes", "setFileAttributes", "createDirectory",
        "removeDirectory", "deleteFile", "moveFileReplacing", "findFirstFile", "findNextFile",
        "getTempPath", "getTempFileName",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::wstring currentDirectory = L"C:\\Windows\\System32";
    // What getModuleFileName answers: the running program's path.
    std::wstring modulePath = L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe";
    std::wstring tempPath = L"C:\\Windows\\Temp\\";
    // Listings give "." and ".." first (as NTFS does below a drive's root);
    // true puts them last.
    bool dotEntriesLast = false;
    // Called with the path of every openFile, before it is served.
    std::function<void(const std::wstring&)> onOpen;
    // When set, faults of openFile and of the file handle operations apply to
    // (and count calls of) this one file only.
    std::wstring faultPath;

    void addFolder(const std::wstring& path);
    void putFile(const std::wstring& path, const std::string& content);
    bool hasFile(const std::wstring& path) const;
    bool hasFolder(const std::wstring& path) const;
    std::string content(const std::wstring& path) const;
    void setWriteTime(const std::wstring& path, std::uint64_t fileTime);
    // Removes a file or a folder with everything below it; false when missing.
    bool removeTree(const std::wstring& path);
    // Every file path (case-folded), in order.
    std::vector<std::wstring> filePaths() const;
    // The absolute, case-folded key of a path.
    std::wstring key(const std::wstring& path) const;
    // The absolute path with its spelling kept.
    std::wstring spelledPath(const std::wstring& path) const;

    std::unique_ptr<FileHandle> openFile(const std::wstring& path, FileOpenMode mode) override;
    bool getFullPathName(const std::wstring& path, std::wstring& fullPath) override;
    bool getModuleFileName(std::wstring& path) override;
    std::uint32_t getFileAttributes(const std::wstring& path) override;
    bool setFileAttributes(const std::wstring& path, std::uint32_t attributes) override;
    bool createDirectory(const std::wstring& path) override;
    bool removeDirectory(const std::wstring& path) override;
    bool deleteFile(const std::wstring& path) override;
    bool moveFileReplacing(const std::wstring& source, const std::wstring& target) override;
    std::unique_ptr<FindHandle> findFirstFile(const std::wstring& pattern, FindData& data) override;
    bool getTempPath(std::wstring& path) override;
    bool getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                         std::wstring& path) override;

  private:
    friend class FakeFileHandle;
    friend class FakeFindHandle;
    bool fail(const std::string& operation);
    bool failOnFile(const std::string& operation, const std::wstring& fileKey);
    bool folderExists(const std::wstring& key) const;
    void remember(const std::wstring& path);
    std::map<std::wstring, std::string> files_;
    std::set<std::wstring> folders_;
    std::map<std::wstring, std::uint64_t> writeTimes_;
    std::map<std::wstring, std::wstring> spelling_;  // key -> name as created
    std::map<std::wstring, int> openHandles_;        // key -> handles open on it
    std::set<std::wstring> readOnly_;
};

}  // namespace korin::testing
