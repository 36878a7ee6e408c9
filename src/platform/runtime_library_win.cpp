// rand_s is declared only for those who ask for it, before the C library's
// headers are first read.
#define _CRT_RAND_S

#include "platform/runtime_library_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace korin {

bool WinSecureRandom::draw(std::uint32_t& value) {
    unsigned int drawn = 0;
    if (rand_s(&drawn) != 0) {
        return false;
    }
    value = drawn;
    return true;
}

bool WinConsoleOutput::write(const std::wstring& text) {
    // printf's narrow text in the ANSI code page; the stream turns "\n" into
    // CRLF.
    std::string narrow;
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
        if (size <= 0) {
            return false;
        }
        narrow.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                            size, nullptr, nullptr);
    }
    return std::fputs(narrow.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
}

}  // namespace korin
