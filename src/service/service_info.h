#pragma once

// The service's names and what the administrative actions know of it.

#include <string>

namespace korin {

inline constexpr wchar_t kServiceName[] = L"VemraKorinPlayerUpdateSvc";
inline constexpr wchar_t kServiceDisplayName[] = L"Vemra Korin Player Update Service";

// What the administrative actions know of the service; built once at start.
struct ServiceInfo {
    std::wstring modulePath;
    std::wstring serviceName;
    std::wstring displayName;
};

}  // namespace korin
