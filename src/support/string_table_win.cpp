#include "support/string_table_win.h"

#include <windows.h>

namespace korin {

std::wstring_view WinStringTable::loadString(std::uint32_t id) {
    const wchar_t* text = nullptr;
    // A zero buffer length hands back a pointer into the resource itself.
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return {text, static_cast<std::size_t>(length)};
}

}  // namespace korin
