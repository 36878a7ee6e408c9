#pragma once

// The Win32 adapter of the processes port.

#include "platform/processes.h"

namespace korin {

class WinProcesses final : public Processes {
  public:
    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;
};

}  // namespace korin
