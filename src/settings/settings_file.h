#pragma once

// The settings file (zvs.cfg): keys, load and save.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korin {

struct Platform;

// The keys of the settings file that the service knows.
inline constexpr char kKeySilentAutoUpdateEnable[] = "SilentAutoUpdateEnable";
inline constexpr char kKeyAutoUpdateDisable[] = "AutoUpdateDisable";
inline constexpr char kKeyVerboseLogging[] = "SilentAutoUpdateVerboseLogging";
inline constexpr char kKeyServerDomain[] = "SilentAutoUpdateServerDomain";
inline constexpr char kKeyEnableLocalAppData[] = "EnableLocalAppData";

// Where the settings file lies below the 32-bit system folder.
inline constexpr wchar_t kSettingsFileRelativePath[] = L"\\Tervalon\\Korin\\zvs.cfg";

// The machine-wide settings file as UTF-8: the 32-bit system folder (the
// system folder on 32-bit Windows) followed by kSettingsFileRelativePath.
// Cached for the process once known; empty, and asked again next time, while
// neither folder can be learnt.
std::string settingsFilePath(const Platform& platform);
// Forgets the cached path, so that the next request asks again.
void clearSettingsFilePathCache();

// Whether a settings value counts as true: "true", "t", "yes" or "y" in any
// case, or a leading decimal number other than 0.
bool settingIsTrue(const std::string& value);

// The settings file as an ordered store of key=value entries. Keys are unique,
// case-sensitive bytes; each key stands where its last occurrence in the file
// stood. Loaded at construction; a file that cannot be read leaves it empty.
class SettingsFile {
  public:
    SettingsFile(const Platform& platform, std::string path);
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // Reads the file afresh. False for an empty path, a file that cannot be
    // opened or read, one shorter than 4 bytes, or a UTF-16 file; the store is
    // then empty. Also false (ERROR_NOT_ENOUGH_MEMORY) when memory ran out
    // part-way: what was read stays readable.
    bool load();
    // The value of key; empty when there is none.
    std::string get(const std::string& key) const;
    // Replaces the value of key in place, or appends the entry. False only
    // when memory runs out; the store is then unchanged.
    bool set(const std::string& key, const std::string& value);
    // Replaces the file with one "key=value" CR LF line per entry, in order,
    // without a byte-order mark. The new content is written beside the file
    // and then moved over it, so the file is always either the old one or the
    // new one, whole.
    bool save();

    const std::string& path() const { return path_; }
    std::vector<std::pair<std::string, std::string>> entries() const;

  private:
    struct Entry {
        std::string key;
        std::string value;
    };
    using Entries = std::list<Entry>;

    void clear();
    bool loadLines();
    void parseLine(const char* line, std::size_t length);
    // The last occurrence wins: an earlier entry with the key goes away.
    void append(std::string key, std::string value);

    const Platform& platform_;
    std::string path_;
    Entries entries_;
    // Keys (viewing into the entries) to their entry, for linear loading.
    std::unordered_map<std::string_view, Entries::iterator> index_;
    // Set when the file may exist but was not read whole (a read error, no
    // memory): a save would drop what was never read, so it is refused.
    std::uint32_t readFailure_ = 0;
};

// A SettingsFile on the machine's settings file, loaded; null, with the last
// error ERROR_NOT_ENOUGH_MEMORY, when memory for it cannot be obtained.
std::unique_ptr<SettingsFile> newSettingsFile(const Platform& platform);

}  // namespace korin
