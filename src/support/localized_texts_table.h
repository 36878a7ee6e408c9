#pragma once

// The localised texts' table, generated from localized_texts.tsv.

#include <cstddef>
#include <cstdint>

namespace korin {

// The string table of every language, generated from localized_texts.tsv.
struct LocalizedTextEntry {
    std::uint16_t language;
    std::uint32_t id;
    const wchar_t* text;
};

extern const LocalizedTextEntry kLocalizedTexts[];
extern const std::size_t kLocalizedTextCount;

// The language whose table a lookup in the given user-interface language
// uses: that language, else its neutral form, else another of the same
// primary language, else English (United States); 0 when none is present.
std::uint16_t chooseTextLanguage(std::uint16_t uiLanguage);
// The text of id in exactly that language, or null.
const wchar_t* findLocalizedText(std::uint16_t language, std::uint32_t id);

}  // namespace korin
