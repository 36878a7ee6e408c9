#include "ground/text.h"

#include <cstdint>

namespace korin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

template <typename Emit>
void decodeWide(const std::wstring& text, Emit emit) {
    if constexpr (sizeof(wchar_t) == 2) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t unit = static_cast<char16_t>(text[i]);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
                char32_t low = static_cast<char16_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    emit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
            emit(unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
        }
    } else {
        for (wchar_t c : text) {
            auto cp = static_cast<char32_t>(c);
            emit(cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? kReplacement : cp);
        }
    }
}

void appendWide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

}  // namespace

std::u16string utf16FromWide(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    decodeWide(text, [&out](char32_t cp) { appendUtf16(out, cp); });
    return out;
}

std::u16string utf16UnitsOf(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const auto cp = static_cast<char32_t>(c);
        appendUtf16(out, cp > 0x10FFFF ? kReplacement : cp);
    }
    return out;
}

std::wstring wideFromUtf16(const std::u16string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendWide(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendWide(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
        }
    }
    return out;
}

std::size_t utf16Length(const std::wstring& text) {
    std::size_t length = 0;
    decodeWide(text, [&length](char32_t cp) { length += cp >= 0x10000 ? 2 : 1; });
    return length;
}

std::string utf8FromWide(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    decodeWide(text, [&out](char32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    });
    return out;
}

std::wstring wideFromUtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        }
        std::size_t taken = 1;
        bool valid = length != 0;
        while (valid && taken < length) {
            if (i + taken >= size || (bytes[i + taken] & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (bytes[i + taken] & 0x3F);
            ++taken;
        }
        if (valid && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            appendWide(out, cp);
            i += length;
        } else {
            out.push_back(static_cast<wchar_t>(kReplacement));
            i += taken;
        }
    }
    return out;
}

std::wstring asciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

bool equalsIgnoreCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

}  // namespace korin
