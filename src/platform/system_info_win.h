#pragma once

// The Win32 adapter of the system facts port.

#include "platform/system_info.h"

namespace korin {

class WinSystemInfo final : public SystemInfo {
  public:
    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override;
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;
};

}  // namespace korin
