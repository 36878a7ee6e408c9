#pragma once

// OS facts a test sets, each call able to fail.

#include "platform/system_info.h"

#include <string>

namespace korin::testing {

class FakeSystemInfo final : public SystemInfo {
  public:
    OsVersionInfo version{10, 0, 19045, 2};
    bool versionCallFails = false;
    int wow64 = 1;
    std::wstring wow64Directory = L"C:\\Windows\\SysWOW64";   // empty: the call fails
    std::wstring systemDirectory = L"C:\\Windows\\system32";  // empty: the call fails

    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override { return wow64; }
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;
};

}  // namespace korin::testing
