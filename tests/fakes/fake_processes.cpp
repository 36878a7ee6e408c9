#include "fakes/fake_processes.h"

#include "platform/error_codes.h"
#include "platform/last_error.h"

namespace korin::testing {

namespace {

class FakeCreatedProcess final : public CreatedProcess {
  public:
    explicit FakeCreatedProcess(int& openHandles) : openHandles_(openHandles) { ++openHandles_; }
    ~FakeCreatedProcess() override { --openHandles_; }
    FakeCreatedProcess(const FakeCreatedProcess&) = delete;
    FakeCreatedProcess& operator=(const FakeCreatedProcess&) = delete;
    std::uint32_t processId() const override { return 4242; }

  private:
    int& openHandles_;
};

}  // namespace

std::unique_ptr<CreatedProcess> FakeProcesses::createProcess(const std::wstring& applicationName,
                                                             std::wstring& commandLine,
                                                             std::uint32_t creationFlags) {
    if (auto error = faults.check("createProcess")) {
        setLastError(*error);
        return nullptr;
    }
    std::wstring program = applicationName;
    if (program.empty()) {
        program = commandLine.substr(0, commandLine.find(L' '));
    }
    if (!files_.hasFile(program)) {
        setLastError(kErrorFileNotFound);
        return nullptr;
    }
    const std::string image = files_.content(program);
    if (image.compare(0, 2, "MZ") != 0) {
        setLastError(kErrorBadExeFormat);
        return nullptr;
    }
    // As the adapters: the owner first, nothing allocated once it "runs".
    auto process = std::make_unique<FakeCreatedProcess>(openHandles);
    created.push_back({applicationName, commandLine, creationFlags, image});
    return process;
}

}  // namespace korin::testing
