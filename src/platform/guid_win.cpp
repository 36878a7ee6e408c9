#include "platform/guid_win.h"

#include <objbase.h>
#include <windows.h>

#include <vector>

namespace korin {

std::int32_t WinGuids::createGuid(Guid& guid) {
    GUID created{};
    const HRESULT result = CoCreateGuid(&created);
    if (SUCCEEDED(result)) {
        guid.data1 = created.Data1;
        guid.data2 = created.Data2;
        guid.data3 = created.Data3;
        for (int i = 0; i < 8; ++i) {
            guid.data4[i] = created.Data4[i];
        }
    }
    return result;
}

int WinGuids::guidToText(const Guid& guid, std::wstring& text, int bufferSize) {
    GUID value{};
    value.Data1 = guid.data1;
    value.Data2 = guid.data2;
    value.Data3 = guid.data3;
    for (int i = 0; i < 8; ++i) {
        value.Data4[i] = guid.data4[i];
    }
    std::vector<wchar_t> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 1);
    const int written = StringFromGUID2(value, buffer.data(), bufferSize);
    text = written > 0 ? std::wstring(buffer.data()) : std::wstring();
    return written;
}

}  // namespace korin
