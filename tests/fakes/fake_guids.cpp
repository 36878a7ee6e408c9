#include "fakes/fake_guids.h"

#include "platform/error_codes.h"

#include <cwchar>

namespace korin::testing {

std::int32_t FakeGuids::createGuid(Guid& guid) {
    if (auto error = faults.check("createGuid")) {
        return static_cast<std::int32_t>(*error);
    }
    guid = Guid{};
    guid.data1 = next++;
    return kSOk;
}

int FakeGuids::guidToText(const Guid& guid, std::wstring& text, int bufferSize) {
    if (faults.check("guidToText") || bufferSize < 39) {
        text.clear();
        return 0;
    }
    wchar_t buffer[40];
    std::swprintf(buffer, 40, L"{%08X-0000-0000-0000-000000000000}", guid.data1);
    text = buffer;
    return 39;
}

}  // namespace korin::testing
