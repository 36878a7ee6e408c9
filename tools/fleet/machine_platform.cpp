#include "machine_platform.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"
#include "platform/standin/network.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace korin::fleet {

namespace {

// Names are compared without regard to case; nearly all are ASCII.
std::wstring lower(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
        } else if (c >= 0x80) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
    }
    return out;
}

}  // namespace

class MemoryRegistryKey final : public RegistryKey {
  public:
    MemoryRegistryKey(MemoryRegistry& registry, int view, std::wstring path, std::uint32_t access)
        : registry_(registry), view_(view), path_(std::move(path)), access_(access) {}

    long queryValue(const std::wstring& name, std::uint32_t* type, void* data,
                    std::uint32_t* size) override {
        if ((access_ & kKeyQueryValue) == 0) {
            return kErrorAccessDenied;
        }
        MemoryRegistry::Key* key = registry_.find(view_, path_);
        if (key == nullptr) {
            return kErrorFileNotFound;
        }
        const std::wstring wanted = lower(name);
        for (const MemoryRegistry::Value& value : key->values) {
            if (value.name != wanted) {
                continue;
            }
            if (type != nullptr) {
                *type = value.type;
            }
            const auto needed = static_cast<std::uint32_t>(value.data.size());
            if (data == nullptr) {
                if (size != nullptr) {
                    *size = needed;
                }
                return 0;
            }
            if (size == nullptr || *size < needed) {
                if (size != nullptr) {
                    *size = needed;
                }
                return kErrorMoreData;
            }
            std::memcpy(data, value.data.data(), needed);
            *size = needed;
            return 0;
        }
        return kErrorFileNotFound;
    }

    long setValue(const std::wstring& name, std::uint32_t type, const void* data,
                  std::uint32_t size) override {
        if ((access_ & kKeySetValue) == 0) {
            return kErrorAccessDenied;
        }
        registry_.set(view_, path_, name, type, std::string(static_cast<const char*>(data), size));
        return 0;
    }

    long deleteValue(const std::wstring& name) override {
        if ((access_ & kKeySetValue) == 0) {
            return kErrorAccessDenied;
        }
        MemoryRegistry::Key* key = registry_.find(view_, path_);
        if (key == nullptr) {
            return kErrorFileNotFound;
        }
        const std::wstring wanted = lower(name);
        const auto found =
            std::find_if(key->values.begin(), key->values.end(),
                         [&](const MemoryRegistry::Value& value) { return value.name == wanted; });
        if (found == key->values.end()) {
            return kErrorFileNotFound;
        }
        key->values.erase(found);
        return 0;
    }

    long deleteSubKey(const std::wstring& subKey) override {
        const std::wstring path = path_ + L"\\" + lower(subKey);
        auto& keys = registry_.keys_;
        const auto found = std::find_if(keys.begin(), keys.end(), [&](const auto& key) {
            return key.view == view_ && key.path == path;
        });
        if (found == keys.end()) {
            return kErrorFileNotFound;
        }
        // RegDeleteKeyW leaves a key with subkeys alone.
        for (const auto& key : keys) {
            if (key.view == view_ && key.path.rfind(path + L"\\", 0) == 0) {
                return kErrorAccessDenied;
            }
        }
        keys.erase(found);
        return 0;
    }

  private:
    MemoryRegistry& registry_;
    int view_;
    std::wstring path_;
    std::uint32_t access_;
};

namespace {

int viewOf(RegistryRoot root, std::uint32_t access) {
    if (root == RegistryRoot::CurrentUser) {
        return 0;
    }
    // The service is a 32-bit program: the 32-bit view unless asked otherwise.
    return (access & kKeyWow64_64Key) != 0 ? 64 : 32;
}

}  // namespace

MemoryRegistry::Key* MemoryRegistry::find(int view, const std::wstring& lowerPath) {
    for (Key& key : keys_) {
        if (key.view == view && key.path == lowerPath) {
            return &key;
        }
    }
    return nullptr;
}

// A new key comes with any missing parents, as RegCreateKeyExW makes them.
MemoryRegistry::Key& MemoryRegistry::findOrAdd(int view, const std::wstring& lowerPath) {
    if (Key* key = find(view, lowerPath)) {
        return *key;
    }
    const std::size_t slash = lowerPath.rfind(L'\\');
    if (slash != std::wstring::npos) {
        findOrAdd(view, lowerPath.substr(0, slash));
    }
    keys_.push_back({view, lowerPath, {}});
    return keys_.back();
}

long MemoryRegistry::openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                             std::unique_ptr<RegistryKey>& key) {
    const int view = viewOf(root, access);
    std::wstring path = lower(subKey);
    if (find(view, path) == nullptr) {
        return kErrorFileNotFound;
    }
    key = std::make_unique<MemoryRegistryKey>(*this, view, std::move(path), access);
    return 0;
}

long MemoryRegistry::createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                               std::unique_ptr<RegistryKey>& key) {
    const int view = viewOf(root, access);
    std::wstring path = lower(subKey);
    findOrAdd(view, path);
    key = std::make_unique<MemoryRegistryKey>(*this, view, std::move(path), access);
    return 0;
}

void MemoryRegistry::set(int view, const std::wstring& path, const std::wstring& name,
                         std::uint32_t type, const std::string& data) {
    Key& key = findOrAdd(view, lower(path));
    const std::wstring wanted = lower(name);
    for (Value& value : key.values) {
        if (value.name == wanted) {
            value.type = type;
            value.data = data;
            return;
        }
    }
    key.values.push_back({wanted, type, data});
}

const std::string* MemoryRegistry::get(int view, const std::wstring& path,
                                       const std::wstring& name) const {
    const std::wstring lowerPath = lower(path);
    const std::wstring wanted = lower(name);
    for (const Key& key : keys_) {
        if (key.view == view && key.path == lowerPath) {
            for (const Value& value : key.values) {
                if (value.name == wanted) {
                    return &value.data;
                }
            }
        }
    }
    return nullptr;
}

// ---- clock

SystemTime MachineClock::systemTime() {
    const std::uint64_t totalMs = now / 10000;
    std::int64_t days = static_cast<std::int64_t>(totalMs / 86400000);
    const std::uint64_t msOfDay = totalMs % 86400000;
    SystemTime time;
    time.dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);
    // Civil date from days since 1601-01-01 (days from civil, inverted).
    const std::int64_t z = days - 134774 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    time.year = static_cast<std::uint16_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    time.month = static_cast<std::uint16_t>(month);
    time.day = static_cast<std::uint16_t>(day);
    time.hour = static_cast<std::uint16_t>(msOfDay / 3600000);
    time.minute = static_cast<std::uint16_t>(msOfDay / 60000 % 60);
    time.second = static_cast<std::uint16_t>(msOfDay / 1000 % 60);
    time.milliseconds = static_cast<std::uint16_t>(msOfDay % 1000);
    return time;
}

// ---- HTTP

namespace {

class TreeRequest final : public HttpRequest {
  public:
    TreeRequest(PublishedTree& tree, std::vector<std::uint32_t>& log, std::uint32_t id)
        : tree_(tree), log_(log), id_(id) {}
    bool sendRequest() override {
        log_.push_back(id_);
        return true;
    }
    bool receiveResponse() override { return true; }
    bool queryDataAvailable(std::uint32_t& size) override {
        const std::string& body = tree_.object(id_).body;
        size = static_cast<std::uint32_t>(std::min<std::size_t>(body.size() - offset_, kChunk));
        return true;
    }
    bool readData(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        const std::string& body = tree_.object(id_).body;
        bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(body.size() - offset_, size));
        std::memcpy(buffer, body.data() + offset_, bytesRead);
        offset_ += bytesRead;
        return true;
    }

  private:
    // What one WinHTTP read hands over at most.
    static constexpr std::size_t kChunk = 64 * 1024;
    PublishedTree& tree_;
    std::vector<std::uint32_t>& log_;
    std::uint32_t id_;
    std::size_t offset_ = 0;
};

class TreeConnection final : public HttpConnection {
  public:
    TreeConnection(PublishedTree& tree, std::vector<std::uint32_t>& log) : tree_(tree), log_(log) {}
    std::unique_ptr<HttpRequest> openRequest(const std::wstring&, const std::wstring& object,
                                             std::uint32_t) override {
        return std::make_unique<TreeRequest>(tree_, log_,
                                             tree_.intern(standin::requestTarget(object)));
    }

  private:
    PublishedTree& tree_;
    std::vector<std::uint32_t>& log_;
};

class TreeSession final : public HttpSession {
  public:
    TreeSession(PublishedTree& tree, std::vector<std::uint32_t>& log) : tree_(tree), log_(log) {}
    std::unique_ptr<HttpConnection> connect(const std::wstring&, std::uint16_t) override {
        return std::make_unique<TreeConnection>(tree_, log_);
    }

  private:
    PublishedTree& tree_;
    std::vector<std::uint32_t>& log_;
};

class LaunchedProcess final : public CreatedProcess {
  public:
    std::uint32_t processId() const override { return 4242; }
};

}  // namespace

std::unique_ptr<HttpSession> TreeHttp::open(const std::wstring&, std::uint32_t) {
    return std::make_unique<TreeSession>(tree_, requests);
}

std::unique_ptr<CreatedProcess> LaunchProcesses::createProcess(const std::wstring&, std::wstring&,
                                                               std::uint32_t) {
    if (!succeeds) {
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    ++launches;
    return std::make_unique<LaunchedProcess>();
}

// ---- files

namespace {

class MemoryFile final : public FileHandle {
  public:
    MemoryFile(std::shared_ptr<std::string> data, std::shared_ptr<int> opens, bool append,
               bool* written)
        : data_(std::move(data)),
          opens_(std::move(opens)),
          offset_(append ? data_->size() : 0),
          written_(written) {
        ++*opens_;
    }
    ~MemoryFile() override { --*opens_; }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    bool read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        bytesRead = static_cast<std::uint32_t>(
            std::min<std::size_t>(data_->size() - std::min(offset_, data_->size()), size));
        std::memcpy(buffer, data_->data() + offset_, bytesRead);
        offset_ += bytesRead;
        return true;
    }
    bool write(const void* data, std::uint32_t size) override {
        if (data_->size() < offset_ + size) {
            data_->resize(offset_ + size);
        }
        std::memcpy(data_->data() + offset_, data, size);
        offset_ += size;
        *written_ = true;
        return true;
    }
    bool getFileSize(std::uint64_t& size) override {
        size = data_->size();
        return true;
    }
    bool flush() override { return true; }
    bool close() override { return true; }

  private:
    std::shared_ptr<std::string> data_;
    std::shared_ptr<int> opens_;
    std::size_t offset_;
    bool* written_;
};

// The service's log: written entries go nowhere.
class DiscardingFile final : public FileHandle {
  public:
    bool read(void*, std::uint32_t, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        return true;
    }
    bool write(const void*, std::uint32_t) override { return true; }
    bool getFileSize(std::uint64_t& size) override {
        size = 0;
        return true;
    }
    bool flush() override { return true; }
    bool close() override { return true; }
};

bool endsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A name against a pattern of FindFirstFileW ("*" any run, "?" one unit),
// both in lower case.
bool matches(const std::wstring& pattern, const std::wstring& name) {
    std::size_t p = 0, n = 0, star = std::wstring::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

std::wstring parentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

MemoryFiles::MemoryFiles(std::wstring currentFolder) : currentFolder_(std::move(currentFolder)) {
    reset();
}

void MemoryFiles::reset() {
    nodes_.clear();
    names_.clear();
    const std::wstring folders[] = {L"C:",
                                    L"C:\\Windows",
                                    L"C:\\Windows\\Temp",
                                    L"C:\\Windows\\System32",
                                    L"C:\\Windows\\SysWOW64",
                                    L"C:\\Program Files",
                                    L"C:\\Program Files\\Korin",
                                    L"C:\\Korin",
                                    currentFolder_ + L"\\Tervalon",
                                    currentFolder_ + L"\\Tervalon\\Korin"};
    for (const std::wstring& folder : folders) {
        nodes_[lower(folder)] = {true, kFileAttributeDirectory, nullptr};
        names_[lower(folder)] = folder;
    }
    written = false;
}

void MemoryFiles::putFile(const std::wstring& path, const std::string& content) {
    const std::wstring key = lower(full(path));
    nodes_[key] = {false, kFileAttributeNormal, std::make_shared<std::string>(content)};
    names_[key] = full(path);
}

std::wstring MemoryFiles::full(const std::wstring& path) const {
    std::wstring result =
        path.size() >= 2 && path[1] == L':' ? path : currentFolder_ + L"\\" + path;
    std::replace(result.begin(), result.end(), L'/', L'\\');
    while (result.size() > 2 && result.back() == L'\\') {
        result.pop_back();
    }
    return result;
}

MemoryFiles::Node* MemoryFiles::node(const std::wstring& fullPath) {
    const auto found = nodes_.find(lower(fullPath));
    return found == nodes_.end() ? nullptr : &found->second;
}

bool MemoryFiles::parentIsFolder(const std::wstring& fullPath) {
    const Node* parent = node(parentOf(fullPath));
    return parent != nullptr && parent->folder;
}

std::unique_ptr<FileHandle> MemoryFiles::openFile(const std::wstring& path, FileOpenMode mode) {
    const std::wstring target = full(path);
    if (endsWith(lower(target), L"\\korininstall32.log")) {
        return std::make_unique<DiscardingFile>();
    }
    Node* existing = node(target);
    if (existing != nullptr && existing->folder) {
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    const bool reading = mode == FileOpenMode::ReadExisting ||
                         mode == FileOpenMode::ReadSharingRead ||
                         mode == FileOpenMode::DeleteOnClose;
    if (reading) {
        if (existing == nullptr) {
            setLastError(parentIsFolder(target) ? kErrorFileNotFound : kErrorPathNotFound);
            return nullptr;
        }
        if (mode == FileOpenMode::DeleteOnClose) {
            if (*existing->opens > 0) {
                setLastError(kErrorSharingViolation);
                return nullptr;
            }
            if ((existing->attributes & kFileAttributeReadOnly) != 0) {
                setLastError(kErrorAccessDenied);
                return nullptr;
            }
            // Gone at once: nobody else may open it meanwhile anyway.
            const Node gone = *existing;
            nodes_.erase(lower(target));
            names_.erase(lower(target));
            return std::make_unique<MemoryFile>(gone.data, gone.opens, false, &written);
        }
        return std::make_unique<MemoryFile>(existing->data, existing->opens, false, &written);
    }
    if (existing != nullptr && mode == FileOpenMode::CreateNew) {
        setLastError(kErrorFileExists);
        return nullptr;
    }
    if (existing != nullptr && (existing->attributes & kFileAttributeReadOnly) != 0) {
        setLastError(kErrorAccessDenied);
        return nullptr;
    }
    if (existing == nullptr && !parentIsFolder(target)) {
        setLastError(kErrorPathNotFound);
        return nullptr;
    }
    if (existing == nullptr || mode != FileOpenMode::AppendAlways) {
        nodes_[lower(target)] = {false, kFileAttributeNormal, std::make_shared<std::string>()};
        names_[lower(target)] = target;
    }
    written = true;
    Node* opened = node(target);
    return std::make_unique<MemoryFile>(opened->data, opened->opens,
                                        mode == FileOpenMode::AppendAlways, &written);
}

bool MemoryFiles::getFullPathName(const std::wstring& path, std::wstring& fullPath) {
    fullPath = full(path);
    return true;
}

bool MemoryFiles::getModuleFileName(std::wstring& path) {
    path = L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe";
    return true;
}

std::uint32_t MemoryFiles::getFileAttributes(const std::wstring& path) {
    const Node* found = node(full(path));
    if (found == nullptr) {
        setLastError(parentIsFolder(full(path)) ? kErrorFileNotFound : kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    return found->attributes;
}

bool MemoryFiles::setFileAttributes(const std::wstring& path, std::uint32_t attributes) {
    Node* found = node(full(path));
    if (found == nullptr) {
        setLastError(kErrorFileNotFound);
        return false;
    }
    found->attributes =
        (found->folder ? kFileAttributeDirectory : 0) |
        (attributes & kFileAttributeReadOnly ? kFileAttributeReadOnly
                                             : (found->folder ? 0 : kFileAttributeNormal));
    return true;
}

bool MemoryFiles::createDirectory(const std::wstring& path) {
    const std::wstring target = full(path);
    if (node(target) != nullptr) {
        setLastError(kErrorAlreadyExists);
        return false;
    }
    if (!parentIsFolder(target)) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    nodes_[lower(target)] = {true, kFileAttributeDirectory, nullptr};
    names_[lower(target)] = target;
    return true;
}

bool MemoryFiles::removeDirectory(const std::wstring& path) {
    const std::wstring key = lower(full(path));
    const auto found = nodes_.find(key);
    if (found == nodes_.end() || !found->second.folder) {
        setLastError(found != nodes_.end()        ? kErrorDirectory
                     : parentIsFolder(full(path)) ? kErrorFileNotFound
                                                  : kErrorPathNotFound);
        return false;
    }
    const auto next = std::next(found);
    if (next != nodes_.end() && next->first.rfind(key + L"\\", 0) == 0) {
        setLastError(kErrorDirNotEmpty);
        return false;
    }
    nodes_.erase(found);
    names_.erase(key);
    return true;
}

bool MemoryFiles::deleteFile(const std::wstring& path) {
    const std::wstring key = lower(full(path));
    const auto found = nodes_.find(key);
    if (found == nodes_.end() || found->second.folder) {
        setLastError(found != nodes_.end()        ? kErrorAccessDenied
                     : parentIsFolder(full(path)) ? kErrorFileNotFound
                                                  : kErrorPathNotFound);
        return false;
    }
    if ((found->second.attributes & kFileAttributeReadOnly) != 0) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    nodes_.erase(found);
    names_.erase(key);
    return true;
}

bool MemoryFiles::moveFileReplacing(const std::wstring& source, const std::wstring& target) {
    const std::wstring from = lower(full(source));
    const auto found = nodes_.find(from);
    if (found == nodes_.end()) {
        setLastError(kErrorFileNotFound);
        return false;
    }
    if (!parentIsFolder(full(target))) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    const Node* replaced = node(full(target));
    if (replaced != nullptr && (replaced->attributes & kFileAttributeReadOnly) != 0) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    Node moved = found->second;
    nodes_.erase(found);
    names_.erase(from);
    nodes_[lower(full(target))] = moved;
    names_[lower(full(target))] = full(target);
    written = true;
    return true;
}

std::unique_ptr<FindHandle> MemoryFiles::findFirstFile(const std::wstring& pattern,
                                                       FindData& data) {
    const std::wstring folder = parentOf(full(pattern));
    const std::wstring wanted = lower(full(pattern).substr(folder.size() + 1));
    const Node* listed = node(folder);
    if (listed == nullptr || !listed->folder) {
        setLastError(listed == nullptr ? kErrorPathNotFound : kErrorFileNotFound);
        return nullptr;
    }
    std::vector<FindData> entries;
    if (folder.size() > 2 && wanted == L"*") {
        entries.push_back({kFileAttributeDirectory, 0, 0, L"."});
        entries.push_back({kFileAttributeDirectory, 0, 0, L".."});
    }
    const std::wstring prefix = lower(folder) + L"\\";
    for (auto it = nodes_.lower_bound(prefix);
         it != nodes_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
        if (it->first.find(L'\\', prefix.size()) != std::wstring::npos ||
            !matches(wanted, it->first.substr(prefix.size()))) {
            continue;
        }
        const std::wstring& name = names_[it->first];
        entries.push_back({it->second.attributes, 0, it->second.data ? it->second.data->size() : 0,
                           name.substr(name.find_last_of(L'\\') + 1)});
    }
    if (entries.empty()) {
        setLastError(kErrorFileNotFound);
        return nullptr;
    }
    auto handle = std::make_unique<ListedFindHandle>(std::move(entries));
    handle->findNext(data);
    return handle;
}

bool MemoryFiles::getTempPath(std::wstring& path) {
    path = L"C:\\Windows\\Temp\\";
    return true;
}

bool MemoryFiles::getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                  std::wstring& path) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    for (;;) {
        std::wstring number;
        for (unsigned n = ++temporaryNumber_ & 0xFFFF; n != 0 || number.empty(); n >>= 4) {
            number.insert(number.begin(), kHex[n & 0xF]);
        }
        std::wstring base = folder;
        if (!base.empty() && base.back() != L'\\') {
            base += L'\\';
        }
        path = base + prefix.substr(0, 3) + number + L".tmp";
        if (node(full(path)) == nullptr) {
            break;
        }
    }
    if (!parentIsFolder(full(path))) {
        setLastError(kErrorDirectory);
        return false;
    }
    putFile(path, std::string());
    return true;
}

// ---- system facts

FleetSystemInfo::FleetSystemInfo(const std::string& windows) {
    version_.platformId = 2;
    if (windows == "10") {
        version_.majorVersion = 10;
        version_.buildNumber = 19045;
    } else if (windows == "5.1") {
        version_.majorVersion = 5;
        version_.minorVersion = 1;
        version_.buildNumber = 2600;
        is64Bit_ = false;
    } else {
        version_.majorVersion = 6;
        version_.minorVersion = 1;
        version_.buildNumber = 7601;
        is64Bit_ = windows != "6.1-32";
    }
}

bool FleetSystemInfo::getVersionEx(OsVersionInfo& info) {
    info = version_;
    return true;
}

bool FleetSystemInfo::getSystemWow64Directory(std::wstring& path) {
    if (!is64Bit_) {
        setLastError(kErrorCallNotImplemented);
        return false;
    }
    path = L"C:\\Windows\\SysWOW64";
    return true;
}

bool FleetSystemInfo::getSystemDirectory(std::wstring& path) {
    path = L"C:\\Windows\\system32";
    return true;
}

std::int32_t FleetShell::getFolderPath(int csidl, std::wstring& path) {
    switch (csidl & ~kCsidlFlagCreate) {
        case kCsidlAppData:
            path = L"C:\\Windows\\System32\\config\\systemprofile\\AppData\\Roaming";
            return 0;
        case kCsidlLocalAppData:
            path = L"C:\\Windows\\System32\\config\\systemprofile\\AppData\\Local";
            return 0;
        case kCsidlSystem:
            path = L"C:\\Windows\\system32";
            return 0;
        default:
            return kEFail;
    }
}

// ---- the bundle

namespace {

std::wstring systemFolder32Of(const std::string& windows) {
    return FleetSystemInfo(windows).is64Bit() ? L"C:\\Windows\\SysWOW64" : L"C:\\Windows\\System32";
}

}  // namespace

MachinePlatform::MachinePlatform(PublishedTree& tree, const std::string& windows)
    : http(tree),
      system(windows),
      files(systemFolder32Of(windows)),
      cryptoLibraries(system.is64Bit()),
      systemFolder32_(systemFolder32Of(windows)) {
    platform_.clock = &clock;
    platform_.files = &files;
    platform_.registry = &registry;
    platform_.system = &system;
    platform_.shell = &shell;
    platform_.http = &http;
    platform_.cryptoLibraries = &cryptoLibraries;
    platform_.guids = &guids;
    platform_.processes = &processes;
    platform_.random = &random;
}

}  // namespace korin::fleet
