#include "platform/processes_posix.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <new>

namespace korin {

namespace {

class StandInCreatedProcess final : public CreatedProcess {
  public:
    std::uint32_t processId() const override { return processId_; }
    std::uint32_t processId_ = 0;
};

}  // namespace

std::unique_ptr<CreatedProcess> StandInProcesses::createProcess(const std::wstring& applicationName,
                                                                std::wstring& commandLine,
                                                                std::uint32_t /*creationFlags*/) {
    // Allocated first: once the process runs, its result must not be lost.
    auto process = std::unique_ptr<StandInCreatedProcess>(new (std::nothrow) StandInCreatedProcess);
    if (!process) {
        setLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
    if (const std::uint32_t error =
            launcher_.start(applicationName, commandLine, {}, {}, process->processId_);
        error != 0) {
        setLastError(error);
        return nullptr;
    }
    return process;
}

}  // namespace korin
