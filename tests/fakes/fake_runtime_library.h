#pragma once

// The C runtime's pieces the core calls: secure random draws and the console.

#include "platform/runtime_library.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace korin::testing {

// Each draw takes the next from the queue: a value, or nullopt for a failing
// draw; an empty queue fails.
class FakeSecureRandom final : public SecureRandom {
  public:
    std::deque<std::optional<std::uint32_t>> draws;
    bool draw(std::uint32_t& value) override;
};

class FakeConsoleOutput final : public ConsoleOutput {
  public:
    std::wstring text;
    bool write(const std::wstring& written) override {
        text += written;
        return true;
    }
};

}  // namespace korin::testing
