#pragma once

// Every stand-in adapter of one machine, handed out as one Platform: the
// composition of the host programs (the service and the host tools). It sits
// beside the entry, not in platform/, since it binds the HTTP and crypto
// adapters of net/ and trust/ as well.

#include "net/http_posix.h"
#include "platform/adapters_posix.h"
#include "platform/platform.h"
#include "platform/runtime_library_posix.h"
#include "service/unbuilt_ports.h"
#include "platform/standin/machine_setup.h"
#include "support/string_table_posix.h"
#include "trust/crypto_libraries_posix.h"

#include <memory>
#include <string>

namespace korin {

class StandInPlatform {
  public:
    // The machine that KORIN_MACHINE_ROOT names; null with the reason when
    // there is none.
    static std::unique_ptr<StandInPlatform> open(std::string& error);

    const Platform& platform() const { return platform_; }
    const standin::Machine& machine() const { return machine_; }
    const standin::MachineFacts& facts() const { return facts_; }
    // True when every port is filled; each program asks once, before its run.
    bool checkComplete() const { return missingPort(platform_) == nullptr; }

    StandInPlatform(standin::Machine machine, std::unique_ptr<standin::RegistryDb> database);
    // The platform points into the object itself.
    StandInPlatform(const StandInPlatform&) = delete;
    StandInPlatform& operator=(const StandInPlatform&) = delete;

  private:
    standin::Machine machine_;
    std::unique_ptr<standin::RegistryDb> database_;
    standin::MachineFacts facts_;
    PosixClock clock_;
    PosixFiles files_;
    PosixRegistry registry_;
    PosixSystemInfo system_;
    PosixStringTable strings_;
    PosixShell shell_;
    PosixHttp http_;
    PosixCryptoLibraries cryptoLibraries_;
    PosixGuids guids_;
    PosixProcesses processes_;
    PosixSecureRandom random_;
    PosixConsoleOutput console_;
    UnbuiltPorts unbuilt_;
    Platform platform_;
};

}  // namespace korin
