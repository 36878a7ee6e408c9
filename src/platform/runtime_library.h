#pragma once

// The ports of the C runtime's two services the system uses: the secure
// random source (rand_s) and formatted output to standard output.

#include <cstdint>
#include <string>

namespace korin {

class SecureRandom {
  public:
    virtual ~SecureRandom() = default;
    // rand_s: false when the source reports failure (a nonzero errno_t); the
    // thread's last error is not touched, and value is then unspecified.
    virtual bool draw(std::uint32_t& value) = 0;
};

class ConsoleOutput {
  public:
    virtual ~ConsoleOutput() = default;
    // The finished text to standard output, as the runtime's printf writes it
    // (the caller formats); false when the stream refuses it.
    virtual bool write(const std::wstring& text) = 0;
};

}  // namespace korin
