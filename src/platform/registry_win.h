#pragma once

// The Win32 adapter of the registry port.

#include "platform/registry.h"

namespace korin {

class WinRegistry final : public Registry {
  public:
    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;
};

}  // namespace korin
