#pragma once

// The machine's service database: services are kept where Windows keeps
// them, one key each under HKLM\SYSTEM\CurrentControlSet\Services. Nothing
// under SYSTEM is redirected for 32-bit programs, so every view reads the
// same keys.

#include "platform/standin/registry_db.h"

#include <cstdint>
#include <string>

namespace korin::standin {

inline constexpr wchar_t kServicesKey[] = L"HKLM\\SYSTEM\\CurrentControlSet\\Services";
// ServicesPipeTimeout (REG_DWORD, milliseconds) lives here; 30 s without it.
inline constexpr wchar_t kServiceControlKey[] = L"HKLM\\SYSTEM\\CurrentControlSet\\Control";
inline constexpr std::uint32_t kDefaultServicesPipeTimeoutMs = 30000;
// SERVICE_NO_CHANGE: a number that stays as it is.
inline constexpr std::uint32_t kNoChange = 0xFFFFFFFFu;
inline constexpr std::uint32_t kStartDisabled = 4;

// What a service's key holds.
struct ServiceConfig {
    std::uint32_t type = 0x10;  // SERVICE_WIN32_OWN_PROCESS
    std::uint32_t start = 3;    // SERVICE_DEMAND_START
    std::uint32_t errorControl = 1;
    std::wstring imagePath;
    std::wstring displayName;
    std::wstring objectName = L"LocalSystem";
    std::wstring description;
    bool markedForDeletion = false;  // DeleteFlag 1
};

// Results are Win32 error codes, 0 for success.
class ServiceDb {
  public:
    explicit ServiceDb(RegistryDb& registry) : registry_(registry) {}

    // 123 for a name Windows refuses, 1072 when a service of that name is
    // marked for deletion, 1073 when it exists.
    std::uint32_t create(const std::wstring& name, const ServiceConfig& config);
    // 1060 when there is no such service.
    std::uint32_t read(const std::wstring& name, ServiceConfig& config);
    // kNoChange leaves a number, an empty text leaves a text.
    std::uint32_t changeConfig(const std::wstring& name, std::uint32_t type, std::uint32_t start,
                               std::uint32_t errorControl, const std::wstring& imagePath,
                               const std::wstring& displayName);
    std::uint32_t setDescription(const std::wstring& name, const std::wstring& description);
    // Sets DeleteFlag; 1072 when it is set already.
    std::uint32_t markForDeletion(const std::wstring& name);
    // Removes the key with everything below it.
    std::uint32_t remove(const std::wstring& name);
    // How long a started program has to connect its dispatcher.
    std::uint32_t servicesPipeTimeoutMs();

  private:
    std::uint32_t setNumber(const std::wstring& key, const wchar_t* name, std::uint32_t value);
    std::uint32_t setText(const std::wstring& key, const wchar_t* name, const std::wstring& text);
    RegistryDb& registry_;
};

// Whether Windows takes this as a service name: 1 to 256 characters, no
// slash or backslash.
bool validServiceName(const std::wstring& name);

}  // namespace korin::standin
