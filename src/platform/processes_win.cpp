#include "platform/adapters_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <new>
#include <vector>

namespace korin {

namespace {

class WinCreatedProcess final : public CreatedProcess {
  public:
    WinCreatedProcess(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread), id_(info.dwProcessId) {}
    std::uint32_t processId() const override { return id_; }

  private:
    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD id_;
};

}  // namespace

std::unique_ptr<CreatedProcess> WinProcesses::createProcess(const std::wstring& applicationName,
                                                            std::wstring& commandLine,
                                                            std::uint32_t creationFlags) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(applicationName.empty() ? nullptr : applicationName.c_str(), buffer.data(),
                        nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                        &info)) {
        return nullptr;
    }
    commandLine.assign(buffer.data());
    // The owner closes both handles at once if it cannot be made.
    auto created = std::unique_ptr<CreatedProcess>(new (std::nothrow) WinCreatedProcess(info));
    if (!created) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return created;
}

}  // namespace korin
