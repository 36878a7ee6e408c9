#pragma once

// The stand-in C runtime adapters: secure random draws and console output.

#include "platform/runtime_library.h"
#include "platform/standin/machine.h"

namespace korin {

// The kernel's random source (getrandom), as rand_s draws from the system's;
// a machine given a seed (`korin-machine random seed`) draws from that
// instead, continuing its sequence from run to run.
class StandInSecureRandom final : public SecureRandom {
  public:
    explicit StandInSecureRandom(const standin::Machine& machine) : machine_(machine) {}

    bool draw(std::uint32_t& value) override;

  private:
    const standin::Machine& machine_;
};

// Standard output, UTF-8.
class StandInConsoleOutput final : public ConsoleOutput {
  public:
    bool write(const std::wstring& text) override;
};

}  // namespace korin
