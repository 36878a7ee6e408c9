#pragma once

// The stand-in machine's adapter of the processes port.

#include "platform/processes.h"
#include "platform/standin/process_launcher.h"
#include "platform/standin/program_view.h"

#include <utility>

namespace korin {

// Host programs of the machine, started by its launcher
// (platform/standin/process_launcher.h).
class StandInProcesses final : public Processes {
  public:
    explicit StandInProcesses(standin::ProgramView view) : launcher_(std::move(view)) {}

    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;

  private:
    standin::ProcessLauncher launcher_;
};

}  // namespace korin
