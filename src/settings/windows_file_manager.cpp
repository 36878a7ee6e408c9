#include "settings/windows_file_manager.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/error_codes.h"
#include "settings/settings_file.h"
#include "ground/text.h"

#include <limits>
#include <mutex>
#include <new>

namespace VOZA {

namespace {

using korin::FindData;
using korin::Platform;

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Longest value of the shell-folder fallback, in characters.
constexpr std::uint32_t kMaxFolderChars = 260;

// The shell's delete results that mean the path is gone.
bool deleteSucceeded(int result) {
    return result == 0 || result == 2 || result == 124 || result == 1026;
}

// One per-user folder, learnt once per process.
struct FolderCache {
    std::mutex mutex;
    std::string assetCache;
    std::string cache;
    std::string playerData;
    std::string privateData;
};

FolderCache& folderCache() {
    static FolderCache cache;
    return cache;
}

bool isDotEntry(const std::wstring& name) {
    return name == L"." || name == L"..";
}

std::wstring childPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        return folder + name;
    }
    return folder + L"\\" + name;
}

bool isFolder(std::uint32_t attributes) {
    return (attributes & korin::kFileAttributeDirectory) != 0;
}

// A reparse point (junction, symbolic link) is never followed: it may lead
// out of the tree, or back into it.
bool isLinkedFolder(std::uint32_t attributes) {
    return isFolder(attributes) && (attributes & korin::kFileAttributeReparsePoint) != 0;
}

std::uint64_t secondsToTicks(std::uint64_t seconds) {
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    return seconds > most / kTicksPerSecond ? most : seconds * kTicksPerSecond;
}

enum class Pruned { NotListed, Kept, Removed, NotRemoved };

Pruned pruneFolder(const Platform& platform, const std::wstring& folder, std::uint64_t now,
                   std::uint64_t minimumTicks, std::uint64_t maximumTicks) {
    FindData entry;
    auto find = platform.files->findFirstFile(childPath(folder, L"*"), entry);
    if (!find) {
        return Pruned::NotListed;
    }
    bool everythingRemoved = true;
    do {
        if (isDotEntry(entry.name)) {
            continue;
        }
        const std::wstring path = childPath(folder, entry.name);
        if (isLinkedFolder(entry.attributes)) {
            everythingRemoved = false;
        } else if (isFolder(entry.attributes)) {
            if (pruneFolder(platform, path, now, minimumTicks, maximumTicks) != Pruned::Removed) {
                everythingRemoved = false;
            }
        } else {
            // A file dated in the future is new, not ancient.
            const std::uint64_t age = now > entry.lastWriteTime ? now - entry.lastWriteTime : 0;
            if (!(age > minimumTicks && age < maximumTicks && platform.files->deleteFile(path))) {
                everythingRemoved = false;
            }
        }
    } while (find->findNext(entry));
    if (korin::lastError() != korin::kErrorNoMoreFiles) {
        return Pruned::NotListed;
    }
    find.reset();
    if (!everythingRemoved) {
        return Pruned::Kept;
    }
    return platform.files->removeDirectory(folder) ? Pruned::Removed : Pruned::NotRemoved;
}

std::uint64_t sizeOf(const Platform& platform, const std::wstring& path) {
    const std::uint32_t attributes = platform.files->getFileAttributes(path);
    if (attributes == korin::kInvalidFileAttributes || isLinkedFolder(attributes)) {
        return 0;
    }
    if (!isFolder(attributes)) {
        auto file = platform.files->openFile(path, korin::FileOpenMode::ReadSharingRead);
        std::uint64_t size = 0;
        return file && file->getFileSize(size) ? size : 0;
    }
    FindData entry;
    auto find = platform.files->findFirstFile(childPath(path, L"*"), entry);
    if (!find) {
        return 0;
    }
    std::uint64_t total = 0;
    do {
        if (!isDotEntry(entry.name)) {
            total += sizeOf(platform, childPath(path, entry.name));
        }
    } while (find->findNext(entry));
    return total;
}

// A REG_SZ value's text: UTF-16LE up to its terminator.
std::wstring registryText(const unsigned char* data, std::uint32_t size) {
    std::u16string units;
    for (std::uint32_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    return korin::wideFromUtf16(units);
}

// The folder Explorer records for the user under valueName.
std::wstring shellFolderFromRegistry(const Platform& platform, const wchar_t* valueName) {
    std::unique_ptr<korin::RegistryKey> key;
    if (platform.registry->openKey(korin::RegistryRoot::CurrentUser, kShellFoldersKey,
                                   korin::kKeyRead, key) != 0) {
        return std::wstring();
    }
    unsigned char data[kMaxFolderChars * 2] = {};
    std::uint32_t size = sizeof data;
    if (key->queryValue(valueName, nullptr, data, &size) != 0) {
        return std::wstring();
    }
    std::wstring folder = registryText(data, size);
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

// The per-user folder for csidl followed by relative; empty when the shell
// does not know it and fallbackValue (when given) is not in the registry.
std::string userFolder(const Platform& platform, std::string& cached, int csidl,
                       const wchar_t* relative, const wchar_t* fallbackValue) {
    std::lock_guard<std::mutex> lock(folderCache().mutex);
    if (!cached.empty()) {
        return cached;
    }
    try {
        std::wstring base;
        if (platform.shell->getFolderPath(csidl, base) < 0) {
            base = fallbackValue != nullptr ? shellFolderFromRegistry(platform, fallbackValue)
                                            : std::wstring();
        }
        // Without a base the result would name a folder off the drive's root.
        if (!base.empty()) {
            cached = korin::utf8FromWide(base + relative);
        }
    } catch (const std::bad_alloc&) {
        korin::setLastError(korin::kErrorNotEnoughMemory);
    }
    return cached;
}

bool isNumber(const std::string& name) {
    for (char c : name) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Compares two names of digits by their value, however long.
int compareNumbers(const std::string& a, const std::string& b) {
    const std::size_t aStart = std::min(a.find_first_not_of('0'), a.size());
    const std::size_t bStart = std::min(b.find_first_not_of('0'), b.size());
    const std::size_t aDigits = a.size() - aStart;
    const std::size_t bDigits = b.size() - bStart;
    if (aDigits != bDigits) {
        return aDigits < bDigits ? -1 : 1;
    }
    return a.compare(aStart, aDigits, b, bStart, bDigits);
}

}  // namespace

WindowsFileManager::WindowsFileManager(const Platform& platform) : platform_(platform) {
    korin::SettingsFile settings(platform, korin::settingsFilePath(platform));
    useLocalAppData_ = korin::settingIsTrue(settings.get(korin::kKeyEnableLocalAppData));
}

bool WindowsFileManager::deletePath(const std::string& path) {
    if (path.empty()) {
        korin::setLastError(korin::kErrorInvalidParameter);
        return false;
    }
    return deleteSucceeded(platform_.shell->deletePath(korin::wideFromUtf8(path)));
}

bool WindowsFileManager::deleteFilesByAge(const std::string& folder, std::uint64_t minimumAge,
                                          std::uint64_t maximumAge) {
    try {
        const std::uint64_t now = platform_.clock->systemTimeAsFileTime();
        const Pruned result = pruneFolder(platform_, korin::wideFromUtf8(folder), now,
                                          secondsToTicks(minimumAge), secondsToTicks(maximumAge));
        return result == Pruned::Kept || result == Pruned::Removed;
    } catch (const std::bad_alloc&) {
        korin::setLastError(korin::kErrorNotEnoughMemory);
        return false;
    }
}

std::uint64_t WindowsFileManager::pathSize(const std::string& path) {
    try {
        return sizeOf(platform_, korin::wideFromUtf8(path));
    } catch (const std::bad_alloc&) {
        korin::setLastError(korin::kErrorNotEnoughMemory);
        return 0;
    }
}

bool WindowsFileManager::createFolder(const std::string& parent, const std::string& name) {
    try {
        const std::wstring parentPath = korin::wideFromUtf8(parent);
        // Every folder on the parent path, from the top down; those that
        // exist stay as they are.
        for (std::size_t end = parentPath.find_first_of(L"\\/");;
             end = parentPath.find_first_of(L"\\/", end + 1)) {
            const std::wstring level =
                end == std::wstring::npos ? parentPath : parentPath.substr(0, end);
            const bool isDriveOrEmpty = level.empty() || (level.size() == 2 && level[1] == L':');
            if (!isDriveOrEmpty &&
                platform_.files->getFileAttributes(level) == korin::kInvalidFileAttributes) {
                platform_.files->createDirectory(level);
            }
            if (end == std::wstring::npos) {
                break;
            }
        }
        const std::wstring target = childPath(parentPath, korin::wideFromUtf8(name));
        if (platform_.files->createDirectory(target)) {
            return true;
        }
        // Already there counts only when it is a folder, not a file.
        if (korin::lastError() != korin::kErrorAlreadyExists) {
            return false;
        }
        const std::uint32_t attributes = platform_.files->getFileAttributes(target);
        return attributes != korin::kInvalidFileAttributes && isFolder(attributes);
    } catch (const std::bad_alloc&) {
        korin::setLastError(korin::kErrorNotEnoughMemory);
        return false;
    }
}

std::string WindowsFileManager::pathSeparator() {
    return "\\";
}

std::string WindowsFileManager::assetCacheFolder() {
    return userFolder(platform_, folderCache().assetCache, korin::kCsidlAppData,
                      L"\\Vemra\\Korin Player\\AssetCache", nullptr);
}

std::string WindowsFileManager::cacheFolder() {
    return userFolder(platform_, folderCache().cache, korin::kCsidlAppData,
                      L"\\Vemra\\Korin Player\\VKCache", nullptr);
}

std::string WindowsFileManager::playerDataFolder() {
    const int csidl = (useLocalAppData_ ? korin::kCsidlLocalAppData : korin::kCsidlAppData) |
                      korin::kCsidlFlagCreate;
    return userFolder(platform_, folderCache().playerData, csidl, L"\\Tervalonix\\Korin Player",
                      useLocalAppData_ ? L"Local AppData" : L"AppData");
}

std::string WindowsFileManager::privateDataFolder() {
    return userFolder(platform_, folderCache().privateData, korin::kCsidlAppData,
                      L"\\Vemra\\Korin Player\\VPSPrivateData2", nullptr);
}

std::unique_ptr<StringVector> WindowsFileManager::listFolder(const std::string& path) {
    try {
        auto names = std::make_unique<StringVector>();
        FindData entry;
        auto find =
            platform_.files->findFirstFile(childPath(korin::wideFromUtf8(path), L"*"), entry);
        if (!find) {
            // A folder without entries lists as empty; one that cannot be
            // listed is a failure.
            return korin::lastError() == korin::kErrorFileNotFound ? std::move(names) : nullptr;
        }
        do {
            // "." and ".." are skipped by name: a drive's root has neither.
            if (!isDotEntry(entry.name) && !names->add(korin::utf8FromWide(entry.name))) {
                korin::setLastError(korin::kErrorNotEnoughMemory);
                return nullptr;
            }
        } while (find->findNext(entry));
        if (korin::lastError() != korin::kErrorNoMoreFiles) {
            return nullptr;
        }
        names->sort(&WindowsFileManager::listsBefore);
        return names;
    } catch (const std::bad_alloc&) {
        korin::setLastError(korin::kErrorNotEnoughMemory);
        return nullptr;
    }
}

bool WindowsFileManager::listsBefore(const std::string& a, const std::string& b) {
    const bool aNumber = isNumber(a);
    const bool bNumber = isNumber(b);
    if (aNumber != bNumber) {
        return bNumber;
    }
    if (aNumber) {
        const int byValue = compareNumbers(a, b);
        if (byValue != 0) {
            return byValue < 0;
        }
    }
    // Byte by byte as unsigned bytes (char_traits<char> compares so); equal
    // numbers ("7", "07") the same way.
    return a < b;
}

void WindowsFileManager::clearFolderCaches() {
    FolderCache& cache = folderCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.assetCache.clear();
    cache.cache.clear();
    cache.playerData.clear();
    cache.privateData.clear();
}

}  // namespace VOZA
