#pragma once

// The string table port: the localised texts by identifier.

#include <cstdint>
#include <string_view>

namespace korin {

// The executable's string table (LoadStringW with a zero buffer length: a
// read-only view of the text in the chosen language). An empty view when the
// text is missing.
class StringTable {
  public:
    virtual ~StringTable() = default;
    virtual std::wstring_view loadString(std::uint32_t id) = 0;
};

inline constexpr wchar_t kMissingLocalization[] = L"MISSING LOCALIZATION";

// Text ids of the string table.
inline constexpr std::uint32_t kTaskDescriptionText = 110;
inline constexpr std::uint32_t kServiceDescriptionText = 120;

// The text of the thread's user-interface language, or the marker. Valid for
// the life of the process.
std::wstring_view loadLocalizedText(StringTable& strings, std::uint32_t id);

}  // namespace korin
