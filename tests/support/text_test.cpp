#include "support/text.h"

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

TEST(Text, CaseFoldingIsAsciiOnly) {
    EXPECT_EQ(asciiLower(L"C:\\Windows\\\u00C9"), L"c:\\windows\\\u00C9");
    EXPECT_TRUE(equalsIgnoreCase(L"SOFTWARE", L"software"));
    EXPECT_FALSE(equalsIgnoreCase(L"SOFTWARE", L"softwar"));
}

}  // namespace
}  // namespace korin
