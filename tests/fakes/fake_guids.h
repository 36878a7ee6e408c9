#pragma once

// GUIDs counted up from 1, with per-call fault injection.

#include "fakes/fault_injector.h"
#include "platform/guid.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korin::testing {

// GUIDs counted up from 1. Operations: "createGuid" (the fault is the
// HRESULT), "guidToText" (the fault makes the call answer 0).
class FakeGuids final : public Guids {
  public:
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "createGuid", "guidToText",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::uint32_t next = 1;
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

}  // namespace korin::testing
