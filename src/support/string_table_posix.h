#pragma once

// The stand-in string table adapter: the generated table.

#include "support/string_table.h"

#include <cstdint>

namespace korin {

// The generated table, in the stand-in machine's user-interface language.
class StandInStringTable final : public StringTable {
  public:
    explicit StandInStringTable(std::uint16_t uiLanguage);
    std::wstring_view loadString(std::uint32_t id) override;

  private:
    std::uint16_t language_;
};

}  // namespace korin
