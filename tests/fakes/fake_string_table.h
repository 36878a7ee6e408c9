#pragma once

// A string table the test fills.

#include "support/string_table.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace korin::testing {

class FakeStringTable final : public StringTable {
  public:
    std::map<std::uint32_t, std::wstring> texts;
    std::wstring_view loadString(std::uint32_t id) override {
        auto found = texts.find(id);
        return found == texts.end() ? std::wstring_view() : std::wstring_view(found->second);
    }
};

}  // namespace korin::testing
