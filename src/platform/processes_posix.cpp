#include "platform/adapters_posix.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"

#include <new>

namespace korin {

namespace {

class StandInCreatedProcess final : public CreatedProcess {
  public:
    explicit StandInCreatedProcess(std::uint32_t processId) : processId_(processId) {}
    std::uint32_t processId() const override { return processId_; }

  private:
    std::uint32_t processId_;
};

}  // namespace

std::unique_ptr<CreatedProcess> StandInProcesses::createProcess(const std::wstring& applicationName,
                                                                std::wstring& commandLine,
                                                                std::uint32_t /*creationFlags*/) {
    std::uint32_t processId = 0;
    if (const std::uint32_t error =
            launcher_.start(applicationName, commandLine, {}, {}, processId);
        error != 0) {
        setLastError(error);
        return nullptr;
    }
    auto process =
        std::unique_ptr<CreatedProcess>(new (std::nothrow) StandInCreatedProcess(processId));
    if (!process) {
        setLastError(kErrorNotEnoughMemory);
    }
    return process;
}

}  // namespace korin
