#pragma once

// GUIDs counted up from 1, with per-call fault injection.

#include "fakes/fault_injector.h"
#include "platform/guid.h"

#include <cstdint>
#include <string>

namespace korin::testing {

// GUIDs counted up from 1. Operations: "createGuid" (the fault is the
// HRESULT), "guidToText" (the fault makes the call answer 0).
class FakeGuids final : public Guids {
  public:
    FaultInjector faults;
    std::uint32_t next = 1;
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

}  // namespace korin::testing
