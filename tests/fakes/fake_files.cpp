#include "fakes/fake_files.h"

#include "ground/text.h"
#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace korin::testing {

std::wstring parentOf(const std::wstring& path) {
    const auto slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

class FakeFileHandle final : public FileHandle {
  public:
    FakeFileHandle(FakeFiles& files, std::wstring key, bool append)
        : files_(files), key_(std::move(key)), append_(append) {
        ++files_.openHandles_[key_];
    }
    ~FakeFileHandle() override { --files_.openHandles_[key_]; }

    bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        if (files_.failOnFile("read", key_)) {
            return false;
        }
        const std::string& content = files_.files_[key_];
        const std::size_t available = content.size() > offset_ ? content.size() - offset_ : 0;
        bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(available, size));
        std::memcpy(buffer, content.data() + offset_, bytesRead);
        offset_ += bytesRead;
        return true;
    }

    bool write(const void* data, std::uint32_t size) override {
        if (files_.failOnFile("write", key_)) {
            return false;
        }
        std::string& content = files_.files_[key_];
        const char* bytes = static_cast<const char*>(data);
        if (append_) {
            content.append(bytes, size);
        } else {
            if (content.size() < offset_ + size) {
                content.resize(offset_ + size);
            }
            std::memcpy(content.data() + offset_, bytes, size);
            offset_ += size;
        }
        return true;
    }

    bool getFileSize(std::uint64_t& size) override {
        if (files_.failOnFile("getFileSize", key_)) {
            return false;
        }
        size = files_.files_[key_].size();
        return true;
    }

    bool flush() override { return !files_.failOnFile("flush", key_); }

    bool close() override { return !files_.failOnFile("closeFile", key_); }

  private:
    FakeFiles& files_;
    std::wstring key_;
    bool append_;
    std::size_t offset_ = 0;
};

// The platform's listing handle, with the fault injector before each step.
class FakeFindHandle final : public FindHandle {
  public:
    FakeFindHandle(FakeFiles& files, std::vector<FindData> entries)
        : files_(files), listed_(std::move(entries)) {}

    bool findNext(FindData& data) override {
        return !files_.fail("findNextFile") && listed_.findNext(data);
    }

  private:
    FakeFiles& files_;
    ListedFindHandle listed_;
};

bool FakeFiles::fail(const std::string& operation) {
    if (auto error = faults.check(operation)) {
        setLastError(*error);
        return true;
    }
    return false;
}

bool FakeFiles::failOnFile(const std::string& operation, const std::wstring& fileKey) {
    return (faultPath.empty() || key(faultPath) == fileKey) && fail(operation);
}

std::wstring FakeFiles::spelledPath(const std::wstring& path) const {
    std::wstring full = path;
    for (wchar_t& c : full) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (!(full.size() >= 2 && full[1] == L':')) {
        full = currentDirectory + L"\\" + full;
    }
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    return full;
}

std::wstring FakeFiles::key(const std::wstring& path) const {
    return asciiLower(spelledPath(path));
}

bool FakeFiles::folderExists(const std::wstring& k) const {
    // A drive's root always exists.
    return folders_.count(k) != 0 || (k.size() == 2 && k[1] == L':') ||
           (k.size() == 3 && k[1] == L':' && k[2] == L'\\');
}

void FakeFiles::remember(const std::wstring& path) {
    const std::wstring spelled = spelledPath(path);
    const auto slash = spelled.rfind(L'\\');
    spelling_[asciiLower(spelled)] =
        slash == std::wstring::npos ? spelled : spelled.substr(slash + 1);
}

void FakeFiles::addFolder(const std::wstring& path) {
    for (std::wstring folder = spelledPath(path); folder.size() > 2; folder = parentOf(folder)) {
        if (folders_.insert(asciiLower(folder)).second) {
            remember(folder);
        }
    }
}

void FakeFiles::putFile(const std::wstring& path, const std::string& content) {
    addFolder(parentOf(key(path)));
    files_[key(path)] = content;
    remember(path);
}

void FakeFiles::setWriteTime(const std::wstring& path, std::uint64_t fileTime) {
    writeTimes_[key(path)] = fileTime;
}

bool FakeFiles::removeTree(const std::wstring& path) {
    const std::wstring k = key(path);
    if (files_.erase(k) != 0) {
        return true;
    }
    if (folders_.count(k) == 0) {
        return false;
    }
    const std::wstring prefix = k + L"\\";
    std::erase_if(files_, [&prefix](const auto& file) {
        return file.first.compare(0, prefix.size(), prefix) == 0;
    });
    std::erase_if(folders_, [&prefix, &k](const std::wstring& folder) {
        return folder == k || folder.compare(0, prefix.size(), prefix) == 0;
    });
    return true;
}

std::vector<std::wstring> FakeFiles::filePaths() const {
    std::vector<std::wstring> paths;
    for (const auto& [path, content] : files_) {
        paths.push_back(path);
    }
    return paths;
}

bool FakeFiles::hasFile(const std::wstring& path) const {
    return files_.count(key(path)) != 0;
}

bool FakeFiles::hasFolder(const std::wstring& path) const {
    return folders_.count(key(path)) != 0;
}

std::string FakeFiles::content(const std::wstring& path) const {
    auto found = files_.find(key(path));
    return found == files_.end() ? std::string() : found->second;
}

std::unique_ptr<FileHandle> FakeFiles::openFile(const std::wstring& path, FileOpenMode mode) {
    if (onOpen) {
        onOpen(path);
    }
    const std::wstring k = key(path);
    if (failOnFile("openFile", k)) {
        return nullptr;
    }
    if (folders_.count(k) != 0) {
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    if (mode != FileOpenMode::ReadExisting && mode != FileOpenMode::ReadSharingRead &&
        readOnly_.count(k) != 0) {
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    if (mode == FileOpenMode::DeleteOnClose) {
        if (files_.count(k) == 0) {
            setLastError(folderExists(parentOf(k)) ? kErrorFileNotFound : kErrorPathNotFound);
        } else if (openHandles_[k] > 0) {
            setLastError(kErrorSharingViolation);
        } else {
            files_.erase(k);  // no reader can tell the close from the open
            return std::make_unique<FakeFileHandle>(*this, k, false);
        }
        return nullptr;
    }
    if (mode == FileOpenMode::ReadExisting || mode == FileOpenMode::ReadSharingRead) {
        if (files_.count(k) == 0) {
            setLastError(folderExists(parentOf(k)) ? kErrorFileNotFound : kErrorPathNotFound);
            return nullptr;
        }
    } else {
        if (!folderExists(parentOf(k))) {
            setLastError(kErrorPathNotFound);
            return nullptr;
        }
        if (mode == FileOpenMode::CreateNew && files_.count(k) != 0) {
            setLastError(kErrorFileExists);
            return nullptr;
        }
        if (files_.count(k) == 0) {
            remember(path);
        }
        if (mode != FileOpenMode::AppendAlways || files_.count(k) == 0) {
            files_[k].clear();
        }
    }
    return std::make_unique<FakeFileHandle>(*this, k, mode == FileOpenMode::AppendAlways);
}

bool FakeFiles::getFullPathName(const std::wstring& path, std::wstring& fullPath) {
    if (fail("getFullPathName")) {
        return false;
    }
    fullPath = path.size() >= 2 && path[1] == L':' ? path : currentDirectory + L"\\" + path;
    return true;
}

bool FakeFiles::getModuleFileName(std::wstring& path) {
    if (fail("getModuleFileName")) {
        return false;
    }
    path = modulePath;
    return true;
}

std::uint32_t FakeFiles::getFileAttributes(const std::wstring& path) {
    if (fail("getFileAttributes")) {
        return kInvalidFileAttributes;
    }
    const std::wstring k = key(path);
    if (folders_.count(k) != 0) {
        return kFileAttributeDirectory;
    }
    if (files_.count(k) != 0) {
        return readOnly_.count(k) != 0 ? kFileAttributeReadOnly : kFileAttributeNormal;
    }
    setLastError(folders_.count(parentOf(k)) ? kErrorFileNotFound : kErrorPathNotFound);
    return kInvalidFileAttributes;
}

bool FakeFiles::createDirectory(const std::wstring& path) {
    if (fail("createDirectory")) {
        return false;
    }
    const std::wstring k = key(path);
    if (folders_.count(k) != 0 || files_.count(k) != 0) {
        setLastError(kErrorAlreadyExists);
        return false;
    }
    if (!folderExists(parentOf(k))) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    folders_.insert(k);
    remember(path);
    return true;
}

bool FakeFiles::removeDirectory(const std::wstring& path) {
    if (fail("removeDirectory")) {
        return false;
    }
    const std::wstring k = key(path);
    if (folders_.count(k) == 0) {
        setLastError(files_.count(k) != 0        ? kErrorDirectory
                     : folderExists(parentOf(k)) ? kErrorFileNotFound
                                                 : kErrorPathNotFound);
        return false;
    }
    const std::wstring prefix = k + L"\\";
    for (const auto& [file, content] : files_) {
        if (file.compare(0, prefix.size(), prefix) == 0) {
            setLastError(kErrorDirNotEmpty);
            return false;
        }
    }
    for (const auto& folder : folders_) {
        if (folder.compare(0, prefix.size(), prefix) == 0) {
            setLastError(kErrorDirNotEmpty);
            return false;
        }
    }
    folders_.erase(k);
    return true;
}

bool FakeFiles::setFileAttributes(const std::wstring& path, std::uint32_t attributes) {
    if (fail("setFileAttributes")) {
        return false;
    }
    const std::wstring k = key(path);
    if (files_.count(k) == 0 && folders_.count(k) == 0) {
        setLastError(folderExists(parentOf(k)) ? kErrorFileNotFound : kErrorPathNotFound);
        return false;
    }
    if ((attributes & kFileAttributeReadOnly) != 0 && files_.count(k) != 0) {
        readOnly_.insert(k);
    } else {
        readOnly_.erase(k);
    }
    return true;
}

bool FakeFiles::deleteFile(const std::wstring& path) {
    if (fail("deleteFile")) {
        return false;
    }
    if (readOnly_.count(key(path)) != 0) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    if (files_.erase(key(path)) == 0) {
        const std::wstring k = key(path);
        setLastError(folders_.count(k) != 0      ? kErrorAccessDenied
                     : folderExists(parentOf(k)) ? kErrorFileNotFound
                                                 : kErrorPathNotFound);
        return false;
    }
    return true;
}

bool FakeFiles::moveFileReplacing(const std::wstring& source, const std::wstring& target) {
    if (fail("moveFileReplacing")) {
        return false;
    }
    auto found = files_.find(key(source));
    if (found == files_.end()) {
        setLastError(kErrorFileNotFound);
        return false;
    }
    if (!folderExists(parentOf(key(target)))) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    if (folders_.count(key(target)) != 0 || readOnly_.count(key(target)) != 0) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    std::string content = std::move(found->second);
    files_.erase(found);
    if (files_.count(key(target)) == 0) {
        remember(target);
    }
    files_[key(target)] = std::move(content);
    return true;
}

std::unique_ptr<FindHandle> FakeFiles::findFirstFile(const std::wstring& pattern, FindData& data) {
    if (fail("findFirstFile")) {
        return nullptr;
    }
    const std::wstring k = key(pattern);
    const std::wstring folder = parentOf(k);
    const std::wstring name = k.substr(folder.size() + 1);
    const auto entryOf = [this](const std::wstring& path, const std::wstring& shown) {
        FindData entry;
        entry.name = shown;
        if (folders_.count(path) != 0 || shown == L"." || shown == L"..") {
            entry.attributes = kFileAttributeDirectory;
        } else {
            entry.attributes = kFileAttributeNormal;
            entry.size = files_.at(path).size();
        }
        auto time = writeTimes_.find(path);
        entry.lastWriteTime = time == writeTimes_.end() ? 0 : time->second;
        return entry;
    };
    if (!folderExists(folder)) {
        setLastError(files_.count(folder) != 0 ? kErrorDirectory : kErrorPathNotFound);
        return nullptr;
    }
    std::vector<FindData> entries;
    if (name != L"*") {
        if (files_.count(k) == 0 && folders_.count(k) == 0) {
            setLastError(kErrorFileNotFound);
            return nullptr;
        }
        entries.push_back(entryOf(k, spelling_.count(k) ? spelling_.at(k) : name));
    } else {
        const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L"\\";
        std::set<std::wstring> children;
        for (const auto& [path, content] : files_) {
            if (path.compare(0, prefix.size(), prefix) == 0 &&
                path.find(L'\\', prefix.size()) == std::wstring::npos) {
                children.insert(path);
            }
        }
        for (const auto& path : folders_) {
            if (path.compare(0, prefix.size(), prefix) == 0 &&
                path.find(L'\\', prefix.size()) == std::wstring::npos) {
                children.insert(path);
            }
        }
        for (const auto& path : children) {
            auto spelled = spelling_.find(path);
            entries.push_back(entryOf(
                path, spelled != spelling_.end() ? spelled->second : path.substr(prefix.size())));
        }
        // A drive's root has neither "." nor "..".
        const bool root = folder.size() <= 3;
        if (!root) {
            const std::vector<FindData> dots = {entryOf(folder, L"."), entryOf(folder, L"..")};
            entries.insert(dotEntriesLast ? entries.end() : entries.begin(), dots.begin(),
                           dots.end());
        }
    }
    if (entries.empty()) {
        setLastError(kErrorFileNotFound);
        return nullptr;
    }
    data = entries.front();
    entries.erase(entries.begin());
    return std::make_unique<FakeFindHandle>(*this, std::move(entries));
}

bool FakeFiles::getTempPath(std::wstring& path) {
    if (fail("getTempPath")) {
        return false;
    }
    path = tempPath;
    return true;
}

bool FakeFiles::getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                std::wstring& path) {
    if (fail("getTempFileName")) {
        return false;
    }
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') {
        base += L'\\';
    }
    if (!folderExists(key(base))) {
        setLastError(kErrorDirectory);
        return false;
    }
    for (unsigned unique = 1;; ++unique) {
        wchar_t hex[8];
        std::swprintf(hex, 8, L"%X", unique);
        const std::wstring candidate = base + prefix.substr(0, 3) + hex + L".tmp";
        if (!hasFile(candidate) && !hasFolder(candidate)) {
            putFile(candidate, "");
            path = candidate;
            return true;
        }
    }
}

}  // namespace korin::testing
