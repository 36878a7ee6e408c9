#include "korin_log/system_error_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

namespace korin {
namespace {

// Every code the program names (each has its one home in error_codes.h) has
// a text on the stand-in, so korin-log names it as Windows would.
TEST(SystemErrorText, EveryCodeOfTheProgramIsNamed) {
    std::ifstream header(KORIN_SOURCE_DIR "/src/platform/error_codes.h");
    ASSERT_TRUE(header) << "error_codes.h not found";
    const std::regex constant(
        R"(constexpr [\w:]+ (k\w+) = (?:static_cast<[\w:]+>\()?(0x[0-9A-Fa-f]+|\d+)u?\)?;)");
    std::string line;
    int codes = 0;
    while (std::getline(header, line)) {
        std::smatch match;
        if (!std::regex_search(line, match, constant)) {
            continue;
        }
        ++codes;
        const auto code = static_cast<std::uint32_t>(std::stoul(match[2].str(), nullptr, 0));
        if (code == 0) {
            continue;  // success and S_OK are never logged as a failure
        }
        EXPECT_FALSE(systemErrorText(code).empty()) << match[1] << " (" << code << ") has no text";
    }
    EXPECT_GT(codes, 60);
    EXPECT_EQ(systemErrorText(0x8009FFFFu), "");  // a code the program never meets
    EXPECT_EQ(systemErrorText(5), "Access is denied");
}

}  // namespace
}  // namespace korin
