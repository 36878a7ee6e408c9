#pragma once

// The stand-in machine's adapter of the system facts port.

#include "platform/system_info.h"
#include "platform/standin/machine.h"

namespace korin {

class StandInSystemInfo final : public SystemInfo {
  public:
    explicit StandInSystemInfo(const standin::MachineFacts& facts) : facts_(facts) {}

    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override;
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;

  private:
    standin::MachineFacts facts_;
};

}  // namespace korin
