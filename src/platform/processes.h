#pragma once

// The processes port: starting a program.

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

inline constexpr std::uint32_t kDetachedProcess = 0x00000008;
inline constexpr std::uint32_t kCreateDefaultErrorMode = 0x04000000;

// The process and thread handles of a created process; both are closed on
// destruction. The process runs on regardless.
class CreatedProcess {
  public:
    virtual ~CreatedProcess() = default;
    virtual std::uint32_t processId() const = 0;
};

// Process creation (kernel32). Failures return null and set the thread's
// last error.
class Processes {
  public:
    virtual ~Processes() = default;
    // CreateProcessW with no security attributes, no inherited handles, the
    // caller's environment and current directory and a zero-filled
    // STARTUPINFOW. An empty applicationName passes none, so the command
    // line's first token is searched for. commandLine is the writable buffer
    // the call may change. Nothing is allocated once the process exists: a
    // created process is never reported as a failure, nor thrown away.
    virtual std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                          std::wstring& commandLine,
                                                          std::uint32_t creationFlags) = 0;
};

}  // namespace korin
