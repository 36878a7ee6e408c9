#pragma once

// The stand-in machine's adapter of the registry port.

#include "platform/registry.h"
#include "platform/standin/program_view.h"
#include "platform/standin/registry_db.h"

#include <utility>

namespace korin {

// The machine's registry as a 32-bit program sees it.
class StandInRegistry final : public Registry {
  public:
    StandInRegistry(standin::RegistryDb& db, standin::ProgramView view)
        : db_(db), view_(std::move(view)) {}

    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;

    // The stored path a 32-bit program reaches with this access.
    std::wstring keyPath(RegistryRoot root, const std::wstring& subKey, std::uint32_t access) const;

  private:
    standin::RegistryDb& db_;
    standin::ProgramView view_;
};

}  // namespace korin
