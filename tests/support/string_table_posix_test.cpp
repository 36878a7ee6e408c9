#include "support/string_table_posix.h"

#include "support/localized_texts_table.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(StandInStringTable, TextOfTheMachinesLanguageWithFallback) {
    struct Case {
        std::uint16_t ui;
        std::uint16_t language;
    };
    const Case cases[] = {{0x0409, 0x0409}, {0x040C, 0x040C}, {0x0C0C, 0x040C},
                          {0x041D, 0x001D}, {0x0419, 0x0419}, {0x0401, 0x0409}};
    for (const Case& c : cases) {
        StandInStringTable strings(c.ui);
        EXPECT_EQ(loadLocalizedText(strings, 110), findLocalizedText(c.language, 110));
        EXPECT_EQ(loadLocalizedText(strings, 120), findLocalizedText(c.language, 120));
        EXPECT_EQ(loadLocalizedText(strings, 130), L"MISSING LOCALIZATION");
    }
}

}  // namespace
}  // namespace korin
