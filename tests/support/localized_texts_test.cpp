#include "support/localized_texts_table.h"
#include "support/string_table.h"
#include "ground/text.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace korin {
namespace {

const std::wstring kEnglish110 =
    L"This task keeps your Vemra Korin Player installation up to date with the latest "
    L"enhancements and security fixes. If this task is disabled or removed, Vemra Korin Player "
    L"will be unable to automatically secure your machine with the latest security fixes.";
const std::wstring kEnglish120 =
    L"This service keeps your Vemra Korin Player installation up to date with the latest "
    L"enhancements and security fixes.";

TEST(LocalizedTexts, SixteenLanguagesEachWithBothTexts) {
    const std::set<std::uint16_t> expected = {29,   1028, 1029, 1031, 1033, 1036, 1040, 1041,
                                              1042, 1043, 1045, 1046, 1049, 1055, 2052, 3082};
    std::map<std::uint16_t, std::set<std::uint32_t>> ids;
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        ids[kLocalizedTexts[i].language].insert(kLocalizedTexts[i].id);
        EXPECT_NE(std::wstring(kLocalizedTexts[i].text).find(L"Korin Player"), std::wstring::npos)
            << kLocalizedTexts[i].language << "/" << kLocalizedTexts[i].id;
    }
    std::set<std::uint16_t> languages;
    for (const auto& [language, textIds] : ids) {
        languages.insert(language);
        EXPECT_EQ(textIds, (std::set<std::uint32_t>{110, 120})) << language;
    }
    EXPECT_EQ(languages, expected);
}

TEST(LocalizedTexts, EnglishIsExactAndFrench110IsTheLongest) {
    EXPECT_EQ(findLocalizedText(1033, 110), kEnglish110);
    EXPECT_EQ(findLocalizedText(1033, 120), kEnglish120);
    EXPECT_EQ(utf16Length(kEnglish110), 252u);
    const std::wstring french = findLocalizedText(1036, 110);
    EXPECT_EQ(utf16Length(french), 338u);
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        if (kLocalizedTexts[i].language != 1036 || kLocalizedTexts[i].id != 110) {
            EXPECT_LT(utf16Length(kLocalizedTexts[i].text), 338u);
        }
    }
}

TEST(ChooseTextLanguage, FollowsThePlatformFallback) {
    struct Case {
        std::uint16_t ui;
        std::uint16_t chosen;
    };
    const Case cases[] = {
        {0x0409, 0x0409},  // English (United States)
        {0x040C, 0x040C},  // French
        {0x0C0C, 0x040C},  // French (Canada): same primary language
        {0x041D, 0x001D},  // Swedish: its neutral form
        {0x081D, 0x001D},  // Swedish (Finland)
        {0x0816, 0x0416},  // Portuguese (Portugal): Brazil's table
        {0x0809, 0x0409},  // English (United Kingdom)
        {0x0401, 0x0409},  // Arabic: not present, English
        {0x0000, 0x0409},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseTextLanguage(c.ui), c.chosen) << std::hex << c.ui;
    }
}

TEST(LoadLocalizedText, MissingTextGivesTheMarker) {
    testing::FakeStringTable strings;
    strings.texts[110] = L"task text";
    EXPECT_EQ(loadLocalizedText(strings, 110), L"task text");
    for (std::uint32_t id : {0u, 120u, 111u, 65535u}) {
        EXPECT_EQ(loadLocalizedText(strings, id), L"MISSING LOCALIZATION") << id;
    }
}

}  // namespace
}  // namespace korin
