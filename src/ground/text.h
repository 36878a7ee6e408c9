#pragma once

#include <cstddef>
#include <string>

namespace korin {

// Wide text is UTF-16 on Windows and UTF-32 on Linux; these give the same
// UTF-16 code units and UTF-8 bytes on both builds.

// The UTF-16 code units of a wide text; an unpaired surrogate becomes U+FFFD.
std::u16string utf16FromWide(const std::wstring& text);
// The UTF-16 code units of a wide text as they stand: an unpaired surrogate
// stays (on Linux a value D800-DFFF becomes that one unit); only a value no
// UTF-16 can hold (beyond U+10FFFF) becomes U+FFFD.
std::u16string utf16UnitsOf(const std::wstring& text);
std::wstring wideFromUtf16(const std::u16string& text);
// The number of UTF-16 code units of a wide text.
std::size_t utf16Length(const std::wstring& text);

// UTF-8 conversions as the UTF-8 code page converts: an ill-formed sequence
// becomes U+FFFD, never a failure.
std::string utf8FromWide(const std::wstring& text);
std::wstring wideFromUtf8(const std::string& text);

// ASCII-only case folding, as the file system and registry compare names.
std::wstring asciiLower(std::wstring text);
bool equalsIgnoreCase(const std::wstring& a, const std::wstring& b);

}  // namespace korin
