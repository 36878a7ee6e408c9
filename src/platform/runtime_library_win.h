#pragma once

// The Win32 C runtime adapters: rand_s and console output.

#include "platform/runtime_library.h"

namespace korin {

// The C runtime's rand_s.
class WinSecureRandom final : public SecureRandom {
  public:
    bool draw(std::uint32_t& value) override;
};

// The process's standard output in text mode, as printf writes to it.
class WinConsoleOutput final : public ConsoleOutput {
  public:
    bool write(const std::wstring& text) override;
};

}  // namespace korin
