#pragma once

// Special folders and shell deletions over the fake files.

#include "fakes/fake_files.h"
#include "fakes/fault_injector.h"
#include "platform/shell.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

// Special folders by CSIDL and deletions in a FakeFiles. Operations:
// "deletePath" (the fault is the result), "getFolderPath" (the fault is the
// HRESULT).
class FakeShell final : public Shell {
  public:
    explicit FakeShell(FakeFiles& files) : files_(files) {}
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "deletePath", "getFolderPath",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::map<int, std::wstring> folders = {
        {kCsidlAppData, L"C:\\Users\\Tester\\AppData\\Roaming"},
        {kCsidlLocalAppData, L"C:\\Users\\Tester\\AppData\\Local"},
        {kCsidlSystem, L"C:\\Windows\\system32"},
    };
    std::vector<int> folderRequests;    // every CSIDL asked for, flags included
    std::vector<std::wstring> deletes;  // every path handed to deletePath

    int deletePath(const std::wstring& path) override;
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;

  private:
    FakeFiles& files_;
};

}  // namespace korin::testing
