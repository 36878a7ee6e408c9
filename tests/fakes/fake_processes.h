#pragma once

// Process creation recorded, and checked against the fake files.

#include "fakes/fake_files.h"
#include "fakes/fault_injector.h"
#include "platform/processes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

// Records every process creation; "createProcess" can fail. A program is
// found only under its full path (or, without one, the command line's first
// token in the current folder) among FakeFiles' files.
class FakeProcesses final : public Processes {
  public:
    explicit FakeProcesses(FakeFiles& files) : files_(files) {}
    struct Created {
        std::wstring applicationName;
        std::wstring commandLine;
        std::uint32_t flags = 0;
        std::string image;  // the program file's content when it started
    };
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "createProcess",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::vector<Created> created;
    int openHandles = 0;  // process handles not yet closed
    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;

  private:
    FakeFiles& files_;
};

}  // namespace korin::testing
