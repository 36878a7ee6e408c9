#include "support/string_table_posix.h"

#include "support/localized_texts_table.h"

namespace korin {

StandInStringTable::StandInStringTable(std::uint16_t uiLanguage)
    : language_(chooseTextLanguage(uiLanguage)) {}

std::wstring_view StandInStringTable::loadString(std::uint32_t id) {
    const wchar_t* text = findLocalizedText(language_, id);
    return text != nullptr ? std::wstring_view(text) : std::wstring_view();
}

}  // namespace korin
