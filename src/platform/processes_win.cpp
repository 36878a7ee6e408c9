#include "platform/adapters_win.h"

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
    void adopt(const PROCESS_INFORMATION& info) {
        process_.reset(info.hProcess);
        thread_.reset(info.hThread);
        id_ = info.dwProcessId;
    }
    std::uint32_t processId() const override { return id_; }

  private:
    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD id_ = 0;
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
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(applicationName.empty() ? nullptr : applicationName.c_str(), buffer.data(),
                        nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                        &info)) {
        return nullptr;
    }
    created->adopt(info);
    // The call may only shorten the line (a NUL after the program name):
    // copied back in place, without an allocation.
    const std::size_t length = std::wcslen(buffer.data());
    std::copy_n(buffer.data(), std::min(length, commandLine.size()), commandLine.begin());
    commandLine.resize(std::min(length, commandLine.size()));
    return created;
}

}  // namespace korin
