#pragma once

// The Win32 adapter of the GUIDs port.

#include "platform/guid.h"

namespace korin {

class WinGuids final : public Guids {
  public:
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

}  // namespace korin
