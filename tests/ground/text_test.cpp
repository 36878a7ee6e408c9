#include "ground/text.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(Text, Utf8RoundTripsAndCountsUtf16Units) {
    struct Case {
        std::string utf8;
        std::wstring wide;
        std::size_t utf16Units;
    };
    const Case cases[] = {
        {"", L"", 0},
        {"plain", L"plain", 5},
        {"Fran\xC3\xA7"
         "ais",
         L"Fran\u00e7ais", 8},
        {"\xE6\xAD\xA4", L"\u6b64", 1},
        {"\xF0\x9F\x98\x80", L"\U0001F600", 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wideFromUtf8(c.utf8), c.wide);
        EXPECT_EQ(utf8FromWide(c.wide), c.utf8);
        EXPECT_EQ(utf16Length(c.wide), c.utf16Units);
        EXPECT_EQ(wideFromUtf16(utf16FromWide(c.wide)), c.wide);
    }
}

TEST(Text, IllFormedUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"a\xFF"
         "b",
         L"a\uFFFDb"},
        {"\xC3", L"\uFFFD"},            // cut sequence
        {"\xC0\xAF", L"\uFFFD\uFFFD"},  // overlong form
        {"\xE6\xAD"
         "x",
         L"\uFFFDx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wideFromUtf8(c.utf8), c.wide) << c.utf8.size();
    }
}

TEST(Text, OverlongFormsSurrogatesAndValuesBeyondUnicodeAreRefused) {
    struct Case {
        const char* name;
        std::string utf8;
    };
    const Case cases[] = {
        {"U+0000 in two bytes", "\xC0\x80"},          {"U+007F in two bytes", "\xC1\xBF"},
        {"U+0080 in three bytes", "\xE0\x82\x80"},    {"U+07FF in three bytes", "\xE0\x9F\xBF"},
        {"U+0000 in three bytes", "\xE0\x80\x80"},    {"U+07FF in four bytes", "\xF0\x80\x9F\xBF"},
        {"U+FFFF in four bytes", "\xF0\x8F\xBF\xBF"}, {"a high surrogate", "\xED\xA0\x80"},
        {"a low surrogate", "\xED\xBF\xBF"},          {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
        {"a five-byte form", "\xF8\x88\x80\x80\x80"},
    };
    for (const Case& c : cases) {
        // Only replacement characters, and the text after them is read again.
        const std::wstring wide = wideFromUtf8(c.utf8 + "z");
        ASSERT_GE(wide.size(), 2u) << c.name;
        EXPECT_EQ(wide.back(), L'z') << c.name;
        EXPECT_EQ(wide.find_first_not_of(L'\uFFFD'), wide.size() - 1) << c.name;
    }
    // The shortest forms at each boundary are read.
    EXPECT_EQ(wideFromUtf8("\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"),
              L"\u0080\u07FF\u0800\uFFFF");
    EXPECT_EQ(wideFromUtf8("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), L"\U00010000\U0010FFFF");
}

TEST(Text, CaseFoldingIsAsciiOnly) {
    EXPECT_EQ(asciiLower(L"C:\\Windows\\\u00C9"), L"c:\\windows\\\u00C9");
    EXPECT_TRUE(equalsIgnoreCase(L"SOFTWARE", L"software"));
    EXPECT_FALSE(equalsIgnoreCase(L"SOFTWARE", L"softwar"));
}

}  // namespace
}  // namespace korin
