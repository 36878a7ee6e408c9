#pragma once

// The GUIDs port: new GUIDs and their text.

#include "platform/shell.h"  // the HRESULTs

#include <cstdint>
#include <string>

namespace korin {

// The platform's GUID.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

// New GUIDs and their text (ole32).
class Guids {
  public:
    virtual ~Guids() = default;
    // CoCreateGuid: an HRESULT, negative on failure.
    virtual std::int32_t createGuid(Guid& guid) = 0;
    // StringFromGUID2 into a buffer of bufferSize units: the braced form
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and the units written with
    // the terminating zero, or 0 when the buffer is too small.
    virtual int guidToText(const Guid& guid, std::wstring& text, int bufferSize) = 0;
};

}  // namespace korin
