#pragma once

// The Win32 string table adapter: LoadStringW.

#include "support/string_table.h"

namespace korin {

// The string table of the running executable, in the thread's UI language.
class WinStringTable final : public StringTable {
  public:
    std::wstring_view loadString(std::uint32_t id) override;
};

}  // namespace korin
