#include "korin_log/system_error_text.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

namespace korin {

namespace {

struct LocalTextTraits {
    static constexpr wchar_t* invalid() { return nullptr; }
    static void close(wchar_t* text) { LocalFree(text); }
};
using UniqueLocalText = UniqueResource<wchar_t*, LocalTextTraits>;

std::string utf8Of(const wchar_t* text, int units) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, result.data(), bytes, nullptr, nullptr);
    return result;
}

}  // namespace

std::string systemErrorText(std::uint32_t code) {
    // WinHTTP's texts live in its own module, not in the system's table.
    UniqueHModule winhttp;
    if (code >= 12000 && code < 13000) {
        winhttp.reset(LoadLibraryExW(L"winhttp.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    const DWORD source =
        winhttp.get() != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    wchar_t* buffer = nullptr;
    const DWORD units =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
                       winhttp.get(), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueLocalText owned(buffer);
    if (units == 0 || buffer == nullptr) {
        return systemErrorTableText(code);  // Wine, for one, lacks many texts
    }
    int length = static_cast<int>(units);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                          buffer[length - 1] == L' ' || buffer[length - 1] == L'.')) {
        --length;
    }
    for (int i = 0; i < length; ++i) {
        if (buffer[i] == L'\r' || buffer[i] == L'\n') {
            buffer[i] = L' ';
        }
    }
    return utf8Of(buffer, length);
}

}  // namespace korin
