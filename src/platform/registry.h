#pragma once

// The registry port: keys and values of both hives and views.

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

// The two hives the system touches.
enum class RegistryRoot { LocalMachine, CurrentUser };

// Access rights and view flags, with the platform's values.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// An open registry key; closed on destruction. Every call returns the
// platform's status code (0 for success), like the Reg* functions.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // RegQueryValueExW: data may be null to ask for the size; type may be null.
    // A buffer too small gives 234 (ERROR_MORE_DATA) and the needed size.
    virtual long queryValue(const std::wstring& name, std::uint32_t* type, void* data,
                            std::uint32_t* size) = 0;
    virtual long setValue(const std::wstring& name, std::uint32_t type, const void* data,
                          std::uint32_t size) = 0;
    virtual long deleteValue(const std::wstring& name) = 0;
    // RegDeleteKeyW: removes a subkey that has no subkeys of its own.
    virtual long deleteSubKey(const std::wstring& subKey) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // RegOpenKeyExW: a missing key gives 2 (ERROR_FILE_NOT_FOUND).
    virtual long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                         std::unique_ptr<RegistryKey>& key) = 0;
    // RegCreateKeyExW (non-volatile, no class, default security): creates the
    // key and any missing parents.
    virtual long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                           std::unique_ptr<RegistryKey>& key) = 0;
};

}  // namespace korin
