#pragma once

#include <string>

namespace korin::testing {

// The UTF-16LE bytes of a text, as the log file holds them.
inline std::string utf16le(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace korin::testing
