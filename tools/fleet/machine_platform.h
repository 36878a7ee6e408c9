#pragma once

// One simulated machine's ports for the forecast: the registry and the files
// in memory, a clock the simulator sets, the machine's seeded random source,
// HTTP answered from the published tree in memory, and installer launches
// that succeed as the simulator decides. Cheap to reset, so one bundle per
// thread serves machine after machine.

#include "published_tree.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/guid_posix.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/runtime_library.h"
#include "platform/shell.h"
#include "platform/standin/seeded_random.h"
#include "platform/system_info.h"
#include "net/http.h"
#include "trust/crypto_libraries_posix.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korin::fleet {

// Registry values as the program reads them, in memory: both hives, both
// views; key paths and value names without regard to case.
class MemoryRegistry final : public Registry {
  public:
    struct Value {
        std::wstring name;  // lower case
        std::uint32_t type = 0;
        std::string data;
    };
    struct Key {
        int view = 32;      // 32 or 64; 0 for the user hive
        std::wstring path;  // lower case
        std::vector<Value> values;
    };

    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;

    void clear() { keys_.clear(); }
    // A value set directly, as an installer or an administrator would.
    void set(int view, const std::wstring& path, const std::wstring& name, std::uint32_t type,
             const std::string& data);
    // The value's data, or null.
    const std::string* get(int view, const std::wstring& path, const std::wstring& name) const;
    const std::vector<Key>& keys() const { return keys_; }

  private:
    Key* find(int view, const std::wstring& lowerPath);
    Key& findOrAdd(int view, const std::wstring& lowerPath);
    friend class MemoryRegistryKey;
    std::vector<Key> keys_;
};

// The clock the simulator sets: the machine's own time, standing still
// during a cycle.
class MachineClock final : public Clock {
  public:
    std::uint64_t now = 0;
    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override { return now; }
    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now / 10000); }
};

// The machine's random source: the seeded draws of its stand-in twin.
class SeededSecureRandom final : public SecureRandom {
  public:
    explicit SeededSecureRandom(std::uint64_t seed) : random_(seed) {}
    void reseed(std::uint64_t seed) { random_ = standin::SeededRandom(seed); }
    bool draw(std::uint32_t& value) override {
        value = random_.next();
        return true;
    }

  private:
    standin::SeededRandom random_;
};

// HTTP answered from the tree; every request's object noted in order.
class TreeHttp final : public Http {
  public:
    explicit TreeHttp(PublishedTree& tree) : tree_(tree) {}
    std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                      std::uint32_t accessType) override;
    std::vector<std::uint32_t> requests;

  private:
    PublishedTree& tree_;
};

// Installer launches: created or refused (5) as the simulator decided for
// this cycle; each creation noted.
class LaunchProcesses final : public Processes {
  public:
    bool succeeds = true;
    int launches = 0;
    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;
};

// Files in memory, below C:\ only; the service's log is not kept.
class MemoryFiles final : public Files {
  public:
    struct Node {
        bool folder = false;
        std::uint32_t attributes = 0;
        std::shared_ptr<std::string> data;
        // Held by each open handle: a deletion waits for none.
        std::shared_ptr<int> opens = std::make_shared<int>(0);
    };

    explicit MemoryFiles(std::wstring currentFolder);
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

    // Back to the machine's standing folders and nothing else.
    void reset();
    void putFile(const std::wstring& path, const std::string& content);
    bool written = false;  // a file was created or replaced since asked

  private:
    std::wstring full(const std::wstring& path) const;
    Node* node(const std::wstring& fullPath);
    bool parentIsFolder(const std::wstring& fullPath);
    std::wstring currentFolder_;
    std::map<std::wstring, Node> nodes_;          // by lower-case full path
    std::map<std::wstring, std::wstring> names_;  // lower case to as created
    unsigned temporaryNumber_ = 0;
};

// The Windows every machine of the fleet runs.
class FleetSystemInfo final : public SystemInfo {
  public:
    explicit FleetSystemInfo(const std::string& windows);
    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override { return is64Bit_ ? 1 : 0; }
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;
    bool is64Bit() const { return is64Bit_; }

  private:
    OsVersionInfo version_;
    bool is64Bit_ = true;
};

class FleetShell final : public Shell {
  public:
    int deletePath(const std::wstring&) override { return 0; }
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;
};

// The bundle of one machine's ports.
class MachinePlatform {
  public:
    MachinePlatform(PublishedTree& tree, const std::string& windows);
    MachinePlatform(const MachinePlatform&) = delete;
    MachinePlatform& operator=(const MachinePlatform&) = delete;

    const Platform& platform() const { return platform_; }
    // The 32-bit system folder, where the service works and its settings lie.
    const std::wstring& systemFolder32() const { return systemFolder32_; }

    MemoryRegistry registry;
    MachineClock clock;
    SeededSecureRandom random{0};
    TreeHttp http;
    LaunchProcesses processes;
    FleetSystemInfo system;
    MemoryFiles files;
    FleetShell shell;
    StandInGuids guids;
    StandInCryptoLibraries cryptoLibraries;

  private:
    std::wstring systemFolder32_;
    Platform platform_;
};

}  // namespace korin::fleet
