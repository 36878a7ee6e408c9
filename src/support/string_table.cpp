#include "support/string_table.h"

namespace korin {

std::wstring_view loadLocalizedText(StringTable& strings, std::uint32_t id) {
    std::wstring_view text = strings.loadString(id);
    if (!text.empty()) {
        return text;
    }
    return kMissingLocalization;
}

}  // namespace korin
