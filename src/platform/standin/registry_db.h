#pragma once

// The stand-in registry's store (SQLite).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace korin::standin {

// One value of a key as stored: its type and raw bytes.
struct RegistryValue {
    std::wstring name;
    std::uint32_t type = 0;
    std::string data;
};

// The machine's registry in SQLite. Keys are full paths under "HKLM" or
// "HKCU" ("HKLM\SOFTWARE\Wow6432Node\..."); names compare without regard to
// ASCII case. Every change is one statement or one transaction, so values are
// never half-written and several processes may use the file at once. Results
// are Win32 status codes. Safe for two threads of one process: one mutex
// (recursive, as a tree removal calls the other operations) around every
// statement and transaction of the one connection.
class RegistryDb {
  public:
    static std::unique_ptr<RegistryDb> open(const std::string& file, std::string& error);
    ~RegistryDb();
    RegistryDb(const RegistryDb&) = delete;
    RegistryDb& operator=(const RegistryDb&) = delete;

    bool keyExists(const std::wstring& key);
    // Creates the key and every missing parent.
    long createKey(const std::wstring& key);
    long setValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                  const std::string& data);
    long queryValue(const std::wstring& key, const std::wstring& name, RegistryValue& value);
    long deleteValue(const std::wstring& key, const std::wstring& name);
    // Removes a key without subkeys, with its values.
    long deleteKey(const std::wstring& key);
    // Removes a key with all its subkeys and values.
    long deleteTree(const std::wstring& key);
    std::vector<std::wstring> subKeys(const std::wstring& key);
    std::vector<RegistryValue> values(const std::wstring& key);

  private:
    explicit RegistryDb(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::recursive_mutex mutex_;
};

// The stored path of a key: the root's short name and the subkey, with the
// 32-bit view of HKLM\SOFTWARE under Wow6432Node.
std::wstring canonicalKeyPath(bool localMachine, const std::wstring& subKey, bool view32);

}  // namespace korin::standin
