#pragma once

// The stand-in C runtime adapters: secure random draws and console output.

#include "platform/runtime_library.h"

namespace korin {

// The kernel's random source (getrandom), as rand_s draws from the system's.
class StandInSecureRandom final : public SecureRandom {
  public:
    bool draw(std::uint32_t& value) override;
};

// Standard output, UTF-8.
class StandInConsoleOutput final : public ConsoleOutput {
  public:
    bool write(const std::wstring& text) override;
};

}  // namespace korin
