#include "platform/adapters_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <new>
#include <utility>
#include <vector>

namespace korin {

namespace {

class WinCreatedProcess final : public CreatedProcess {
  public:
    explicit WinCreatedProcess(UniqueProcessInformation info) : info_(std::move(info)) {}
    std::uint32_t processId() const override { return info_.get().dwProcessId; }

  private:
    UniqueProcessInformation info_;
};

}  // namespace

std::unique_ptr<CreatedProcess> WinProcesses::createProcess(const std::wstring& applicationName,
                                                            std::wstring& commandLine,
                                                            std::uint32_t creationFlags) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation info;
    if (!CreateProcessW(applicationName.empty() ? nullptr : applicationName.c_str(), buffer.data(),
                        nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                        info.put())) {
        return nullptr;
    }
    commandLine.assign(buffer.data());
    // Without room for the object, the handles close on the way out.
    auto created =
        std::unique_ptr<CreatedProcess>(new (std::nothrow) WinCreatedProcess(std::move(info)));
    if (!created) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return created;
}

}  // namespace korin
