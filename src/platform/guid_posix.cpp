#include "platform/guid_posix.h"

#include <sys/random.h>

#include <cwchar>

namespace korin {

namespace {
constexpr int kGuidTextUnits = 39;  // 38 characters and the zero
}  // namespace

std::int32_t StandInGuids::createGuid(Guid& guid) {
    std::uint8_t bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        return kEFail;
    }
    // A version 4 (random) GUID of the RFC 4122 variant, as CoCreateGuid makes.
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    guid.data1 =
        static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) {
        guid.data4[i] = bytes[8 + i];
    }
    return kSOk;
}

int StandInGuids::guidToText(const Guid& guid, std::wstring& text, int bufferSize) {
    if (bufferSize < kGuidTextUnits) {
        text.clear();
        return 0;
    }
    wchar_t buffer[kGuidTextUnits + 1];
    std::swprintf(buffer, kGuidTextUnits + 1, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                  guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    text = buffer;
    return kGuidTextUnits;
}

}  // namespace korin
