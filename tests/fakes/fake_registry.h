#pragma once

// An in-memory registry: keys and values by path, with per-call fault injection.

#include "fakes/fault_injector.h"
#include "platform/registry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

// Keys by root and path, without regard to case. An injected fault is
// returned as the status.
class FakeRegistry final : public Registry {
  public:
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "openKey", "createKey", "queryValue", "setValue", "deleteValue", "deleteSubKey",
    };
    // clang-format on
    FaultInjector faults{kOperations};

    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;

    // Direct access for arranging and checking state. Paths as
    // "HKLM\SOFTWARE\..." with the view already applied.
    void putValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                  const std::string& data);
    void putDword(const std::wstring& key, const std::wstring& name, std::uint32_t value);
    void putQword(const std::wstring& key, const std::wstring& name, std::uint64_t value);
    bool hasKey(const std::wstring& key) const;
    bool hasValue(const std::wstring& key, const std::wstring& name) const;
    std::optional<Value> value(const std::wstring& key, const std::wstring& name) const;
    std::optional<std::uint32_t> dword(const std::wstring& key, const std::wstring& name) const;
    std::optional<std::uint64_t> qword(const std::wstring& key, const std::wstring& name) const;
    // Accesses of every open and create, in order.
    std::vector<std::uint32_t> accesses;

  private:
    friend class FakeRegistryKey;
    static std::wstring fold(const std::wstring& path);
    std::set<std::wstring> keys_;                                   // folded paths
    std::map<std::wstring, std::map<std::wstring, Value>> values_;  // folded key, folded name
};

}  // namespace korin::testing
