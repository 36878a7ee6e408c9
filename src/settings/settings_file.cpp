#include "settings/settings_file.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/system_info.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace korin {

namespace {

std::mutex pathMutex;
std::string cachedPath;

// The file's bytes one by one, read in blocks; the bytes handed back with
// pushBack come first.
class ByteReader {
  public:
    explicit ByteReader(FileHandle& file) : file_(file) {}

    // The next byte, or -1 at the end of the file or after a read error.
    int next() {
        if (pushedNext_ < pushed_.size()) {
            return static_cast<unsigned char>(pushed_[pushedNext_++]);
        }
        if (position_ == length_) {
            if (ended_) {
                return -1;
            }
            std::uint32_t got = 0;
            if (!file_.read(block_, sizeof block_, got)) {
                failure_ = lastError();
                got = 0;
            }
            if (got == 0) {
                ended_ = true;
                return -1;
            }
            position_ = 0;
            length_ = got;
        }
        return static_cast<unsigned char>(block_[position_++]);
    }

    void pushBack(std::string bytes) {
        pushed_ = std::move(bytes);
        pushedNext_ = 0;
    }

    // The error of a failed read; 0 when the file was read to its end.
    std::uint32_t failure() const { return failure_; }

  private:
    FileHandle& file_;
    char block_[16384];
    std::uint32_t position_ = 0;
    std::uint32_t length_ = 0;
    bool ended_ = false;
    std::uint32_t failure_ = 0;
    std::string pushed_;
    std::size_t pushedNext_ = 0;
};

// Blank for the settings file is every byte that, read as a signed char, is
// at most 32: the controls, the space and every byte from 0x80 up.
bool isBlank(char byte) {
    return static_cast<signed char>(byte) <= 32;
}

std::string trimmed(const char* text, std::size_t length) {
    std::size_t begin = 0;
    while (begin < length && isBlank(text[begin])) {
        ++begin;
    }
    while (length > begin && isBlank(text[length - 1])) {
        --length;
    }
    return std::string(text + begin, length - begin);
}

// A name beside target for the new content, unique among concurrent writers.
std::wstring siblingName(const std::wstring& target, std::uint64_t stamp, std::uint32_t attempt) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring suffix;
    for (int shift = 60; shift >= 0; shift -= 4) {
        suffix.push_back(kDigits[(stamp >> shift) & 0xF]);
    }
    suffix += L"-";
    for (int shift = 28; shift >= 0; shift -= 4) {
        suffix.push_back(kDigits[(attempt >> shift) & 0xF]);
    }
    return target + L"." + suffix + L".tmp";
}

// Whether name is one that siblingName gives for a target named base.
bool isSiblingName(const std::wstring& name, const std::wstring& base) {
    constexpr std::size_t kStampDigits = 16;
    constexpr std::size_t kAttemptDigits = 8;
    const std::wstring suffix = L".tmp";
    const std::size_t stamp = base.size() + 1;
    const std::size_t attempt = stamp + kStampDigits + 1;
    if (name.size() != attempt + kAttemptDigits + suffix.size() ||
        !equalsIgnoreCase(name.substr(0, base.size()), base) || name[base.size()] != L'.' ||
        name[attempt - 1] != L'-' ||
        name.compare(attempt + kAttemptDigits, suffix.size(), suffix) != 0) {
        return false;
    }
    const auto hex = [&](std::size_t from, std::size_t count) {
        return name.find_first_not_of(L"0123456789abcdef", from) >= from + count;
    };
    return hex(stamp, kStampDigits) && hex(attempt, kAttemptDigits);
}

// Removes what earlier saves left beside target when they were cut off
// between writing their file and moving it; a file still open (a save of
// another process at work) is left alone. Nothing here changes the result.
void removeLeftovers(Files& files, const std::wstring& target) noexcept try {
    const std::size_t slash = target.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring base = target.substr(folder.size());
    FindData data;
    auto find = files.findFirstFile(folder + L"*", data);
    std::vector<std::wstring> leftovers;
    for (bool more = find != nullptr; more; more = find->findNext(data)) {
        if ((data.attributes & kFileAttributeDirectory) == 0 && isSiblingName(data.name, base)) {
            leftovers.push_back(folder + data.name);
        }
    }
    find.reset();
    for (const std::wstring& leftover : leftovers) {
        files.openFile(leftover, FileOpenMode::DeleteOnClose);
    }
} catch (const std::bad_alloc&) {
    // Left for the next save.
}

constexpr std::uint32_t kMaxSaveAttempts = 64;
constexpr std::uint32_t kWriteBlock = 1u << 20;

}  // namespace

std::string settingsFilePath(const Platform& platform) {
    std::lock_guard<std::mutex> lock(pathMutex);
    if (!cachedPath.empty()) {
        return cachedPath;
    }
    std::wstring folder;
    if (!platform.system->getSystemWow64Directory(folder) &&
        !platform.system->getSystemDirectory(folder)) {
        return std::string();
    }
    // The whole path, however long: a cut one would name another file.
    cachedPath = utf8FromWide(folder + kSettingsFileRelativePath);
    return cachedPath;
}

void clearSettingsFilePathCache() {
    std::lock_guard<std::mutex> lock(pathMutex);
    cachedPath.clear();
}

bool settingIsTrue(const std::string& value) {
    std::string lower = value;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (lower == "true" || lower == "t" || lower == "yes" || lower == "y") {
        return true;
    }
    // A decimal number at the start, as atoi reads it; beyond 32 bits it
    // saturates, so it is never 0 again.
    std::size_t i = 0;
    while (i < lower.size() && (lower[i] == ' ' || (lower[i] >= '\t' && lower[i] <= '\r'))) {
        ++i;
    }
    if (i < lower.size() && (lower[i] == '+' || lower[i] == '-')) {
        ++i;
    }
    std::int64_t number = 0;
    for (; i < lower.size() && lower[i] >= '0' && lower[i] <= '9'; ++i) {
        number = number * 10 + (lower[i] - '0');
        if (number > INT_MAX) {
            return true;
        }
    }
    return number != 0;
}

SettingsFile::SettingsFile(const Platform& platform, std::string path)
    : platform_(platform), path_(std::move(path)) {
    load();
}

void SettingsFile::clear() {
    index_.clear();
    entries_.clear();
    readFailure_ = 0;
}

bool SettingsFile::load() {
    clear();
    if (path_.empty()) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    try {
        return loadLines();
    } catch (const std::bad_alloc&) {
        // Whether the file exists is not known: it is never rewritten.
        clear();
        readFailure_ = kErrorNotEnoughMemory;
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
}

bool SettingsFile::loadLines() {
    auto file = platform_.files->openFile(wideFromUtf8(path_), FileOpenMode::ReadExisting);
    if (!file) {
        const std::uint32_t error = lastError();
        if (error != kErrorFileNotFound && error != kErrorPathNotFound) {
            readFailure_ = error;
        }
        return false;
    }
    ByteReader reader(*file);
    std::string head;
    for (int i = 0; i < 4; ++i) {
        const int byte = reader.next();
        if (byte < 0) {
            readFailure_ = reader.failure();
            return false;
        }
        head.push_back(static_cast<char>(byte));
    }
    const auto lead = [&head](int i) { return static_cast<unsigned char>(head[i]); };
    if (lead(0) == 0xEF && lead(1) == 0xBB && lead(2) == 0xBF) {
        reader.pushBack(head.substr(3));
    } else if ((lead(0) == 0xFE && lead(1) == 0xFF) || (lead(0) == 0xFF && lead(1) == 0xFE)) {
        return false;  // UTF-16 is not read
    } else {
        reader.pushBack(head);
    }

    // Lines of any length; when memory for a longer line or another entry
    // runs out, reading stops and what was read stays to be read, but the
    // store is no longer the whole file.
    bool complete = true;
    std::vector<char> line;
    try {
        line.reserve(1024);
        for (int byte = reader.next();; byte = reader.next()) {
            if (byte < 0 || byte == '\n' || byte == '\r') {
                parseLine(line.data(), line.size());
                line.clear();
                if (byte < 0) {
                    break;
                }
                if (byte == '\r') {
                    reader.next();  // the LF of CR LF; after a lone CR, a lost byte
                }
                continue;
            }
            if (line.size() + 1 >= line.capacity()) {
                line.reserve(line.capacity() * 2);
            }
            line.push_back(static_cast<char>(byte));
        }
    } catch (const std::bad_alloc&) {
        complete = false;
    }
    if (const std::uint32_t failure = reader.failure(); failure != 0) {
        // A file read only in part is no basis for a rewrite.
        clear();
        readFailure_ = failure;
        setLastError(failure);
        return false;
    }
    if (!complete) {
        // Saving now would drop every entry after the line that stopped it.
        readFailure_ = kErrorNotEnoughMemory;
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
    return true;
}

void SettingsFile::parseLine(const char* line, std::size_t length) {
    // The line is text: a NUL byte ends it.
    for (std::size_t i = 0; i < length; ++i) {
        if (line[i] == '\0') {
            length = i;
            break;
        }
    }
    std::size_t equals = 0;
    while (equals < length && line[equals] != '=') {
        ++equals;
    }
    if (equals == length) {
        return;
    }
    std::string key = trimmed(line, equals);
    std::string value = trimmed(line + equals + 1, length - equals - 1);
    if (key.empty() || value.empty()) {
        return;
    }
    append(std::move(key), std::move(value));
}

void SettingsFile::append(std::string key, std::string value) {
    if (auto found = index_.find(key); found != index_.end()) {
        const Entries::iterator earlier = found->second;
        index_.erase(found);
        entries_.erase(earlier);
    }
    entries_.push_back(Entry{std::move(key), std::move(value)});
    const auto last = std::prev(entries_.end());
    try {
        index_.emplace(std::string_view(last->key), last);
    } catch (...) {
        entries_.pop_back();
        throw;
    }
}

std::string SettingsFile::get(const std::string& key) const {
    auto found = index_.find(key);
    return found == index_.end() ? std::string() : found->second->value;
}

bool SettingsFile::set(const std::string& key, const std::string& value) {
    try {
        if (auto found = index_.find(key); found != index_.end()) {
            found->second->value = value;
        } else {
            append(key, value);
        }
        return true;
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
}

std::vector<std::pair<std::string, std::string>> SettingsFile::entries() const {
    std::vector<std::pair<std::string, std::string>> list;
    for (const Entry& entry : entries_) {
        list.emplace_back(entry.key, entry.value);
    }
    return list;
}

bool SettingsFile::save() {
    if (path_.empty()) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    if (readFailure_ != 0) {
        setLastError(readFailure_);
        return false;
    }
    static std::atomic<std::uint32_t> saves{0};
    std::wstring target;
    std::string content;
    try {
        target = wideFromUtf8(path_);
        for (const Entry& entry : entries_) {
            content += entry.key;
            content += '=';
            content += entry.value;
            content += "\r\n";
        }
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
    removeLeftovers(*platform_.files, target);

    // The new content goes into a file of its own beside the old one; only a
    // complete file replaces it.
    const std::uint64_t stamp = platform_.clock->systemTimeAsFileTime();
    std::wstring temporary;
    std::unique_ptr<FileHandle> file;
    for (std::uint32_t attempt = 0; attempt < kMaxSaveAttempts && !file; ++attempt) {
        temporary = siblingName(target, stamp, saves.fetch_add(1) ^ (attempt << 24));
        file = platform_.files->openFile(temporary, FileOpenMode::CreateNew);
        if (!file && lastError() != kErrorFileExists) {
            return false;
        }
    }
    if (!file) {
        return false;
    }
    bool written = true;
    for (std::size_t offset = 0; written && offset < content.size(); offset += kWriteBlock) {
        const auto size =
            static_cast<std::uint32_t>(std::min<std::size_t>(kWriteBlock, content.size() - offset));
        written = file->write(content.data() + offset, size);
    }
    written = written && file->flush();
    file.reset();
    if (!written || !platform_.files->moveFileReplacing(temporary, target)) {
        const std::uint32_t error = lastError();
        platform_.files->deleteFile(temporary);
        setLastError(error);
        return false;
    }
    return true;
}

std::unique_ptr<SettingsFile> newSettingsFile(const Platform& platform) {
    try {
        return std::make_unique<SettingsFile>(platform, settingsFilePath(platform));
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
}

}  // namespace korin
