#include "platform/processes_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <vector>

namespace korin {

namespace {

class WinCreatedProcess final : public CreatedProcess {
  public:
    // The process's handles, written by CreateProcessW.
    PROCESS_INFORMATION* put() { return info_.put(); }
    std::uint32_t processId() const override { return info_.get().dwProcessId; }

  private:
    UniqueProcessInformation info_;
};

}  // namespace

std::unique_ptr<CreatedProcess> WinProcesses::createProcess(const std::wstring& applicationName,
                                                            std::wstring& commandLine,
                                                            std::uint32_t creationFlags) {
    // Everything is allocated first: once the process runs, its result must
    // not be lost to a failed allocation.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    auto created = std::unique_ptr<WinCreatedProcess>(new (std::nothrow) WinCreatedProcess);
    if (!created) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(applicationName.empty() ? nullptr : applicationName.c_str(), buffer.data(),
                        nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                        created->put())) {
        return nullptr;
    }
    // The call may only shorten the line (a NUL after the program name):
    // copied back in place, without an allocation.
    const std::size_t length = std::wcslen(buffer.data());
    std::copy_n(buffer.data(), std::min(length, commandLine.size()), commandLine.begin());
    commandLine.resize(std::min(length, commandLine.size()));
    return created;
}

}  // namespace korin
