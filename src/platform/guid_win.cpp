#include "platform/adapters_win.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace korin {

static_assert(sizeof(Guid) == sizeof(GUID));

std::int32_t WinGuids::createGuid(Guid& guid) {
    GUID created{};
    const HRESULT result = CoCreateGuid(&created);
    if (SUCCEEDED(result)) {
        std::memcpy(&guid, &created, sizeof created);
    }
    return result;
}

int WinGuids::guidToText(const Guid& guid, std::wstring& text, int bufferSize) {
    GUID value{};
    std::memcpy(&value, &guid, sizeof value);
    std::vector<wchar_t> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 1);
    const int written = StringFromGUID2(value, buffer.data(), bufferSize);
    text = written > 0 ? std::wstring(buffer.data()) : std::wstring();
    return written;
}

}  // namespace korin
