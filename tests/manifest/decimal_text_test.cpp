#include "manifest/decimal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace korin {
namespace {

struct Case {
    const char* text;
    std::int32_t asSigned;
    std::uint32_t asUnsigned;
};

const Case kCases[] = {
    {"", 0, 0},
    {"abc", 0, 0},
    {"32", 32, 32},
    {"  \t\n32x", 32, 32},
    {"+7", 7, 7},
    {"-1", -1, 4294967295u},
    {"-5", -5, 4294967291u},
    {"- 5", 0, 0},
    {"0012", 12, 12},
    {"465.7", 465, 465},
    {"2147483647", 2147483647, 2147483647u},
    {"2147483648", 2147483647, 2147483648u},
    {"-2147483648", -2147483647 - 1, 2147483648u},
    {"-2147483649", -2147483647 - 1, 2147483647u},
    {"4294967295", 2147483647, 4294967295u},
    {"4294967296", 2147483647, 4294967295u},
    {"-4294967296", -2147483647 - 1, 4294967295u},
    {"99999999999999999999999", 2147483647, 4294967295u},
    {"-99999999999999999999999", -2147483647 - 1, 4294967295u},
};

TEST(DecimalText, NarrowTextFollowsBothRules) {
    for (const Case& c : kCases) {
        EXPECT_EQ(signedDecimal(std::string_view(c.text)), c.asSigned) << c.text;
        EXPECT_EQ(unsignedDecimal(std::string_view(c.text)), c.asUnsigned) << c.text;
    }
}

TEST(DecimalText, WideTextReadsLikeNarrowText) {
    for (const Case& c : kCases) {
        const std::string narrow = c.text;
        const std::wstring wide(narrow.begin(), narrow.end());
        EXPECT_EQ(signedDecimal(std::wstring_view(wide)), c.asSigned) << c.text;
        EXPECT_EQ(unsignedDecimal(std::wstring_view(wide)), c.asUnsigned) << c.text;
    }
}

TEST(DecimalText, StopsAtTheEndOfTheViewNotAtItsZero) {
    const std::string_view digits("12345", 3);
    EXPECT_EQ(signedDecimal(digits), 123);
    EXPECT_EQ(unsignedDecimal(digits), 123u);
}

}  // namespace
}  // namespace korin
