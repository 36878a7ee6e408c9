#include "support/localized_texts_table.h"

namespace korin {

namespace {

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

bool hasLanguage(std::uint16_t language) {
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        if (kLocalizedTexts[i].language == language) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::uint16_t chooseTextLanguage(std::uint16_t uiLanguage) {
    if (hasLanguage(uiLanguage)) {
        return uiLanguage;
    }
    const std::uint16_t primary = uiLanguage & 0x3FF;
    if (hasLanguage(primary)) {
        return primary;  // the neutral form: sublanguage 0
    }
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        if ((kLocalizedTexts[i].language & 0x3FF) == primary) {
            return kLocalizedTexts[i].language;
        }
    }
    return hasLanguage(kEnglishUnitedStates) ? kEnglishUnitedStates : 0;
}

const wchar_t* findLocalizedText(std::uint16_t language, std::uint32_t id) {
    for (std::size_t i = 0; i < kLocalizedTextCount; ++i) {
        if (kLocalizedTexts[i].language == language && kLocalizedTexts[i].id == id) {
            return kLocalizedTexts[i].text;
        }
    }
    return nullptr;
}

}  // namespace korin
