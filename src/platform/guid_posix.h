#pragma once

// The stand-in machine's adapter of the GUIDs port.

#include "platform/guid.h"

namespace korin {

// GUIDs from the kernel's random source.
class StandInGuids final : public Guids {
  public:
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

}  // namespace korin
