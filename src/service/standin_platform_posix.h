#pragma once

// Every stand-in adapter of one machine, handed out as one Platform: the
// composition of the host programs (the service and the host tools). It sits
// beside the entry, not in platform/, since it binds the HTTP and crypto
// adapters of net/ and trust/ as well.

#include "net/http_posix.h"
#include "platform/clock_posix.h"
#include "platform/files_posix.h"
#include "platform/registry_posix.h"
#include "platform/shell_posix.h"
#include "platform/system_info_posix.h"
#include "platform/guid_posix.h"
#include "platform/processes_posix.h"
#include "platform/com_runtime_posix.h"
#include "platform/platform.h"
#include "platform/service_control_posix.h"
#include "service/service_dispatcher_posix.h"
#include "platform/runtime_library_posix.h"
#include "platform/standin/machine_setup.h"
#include "support/string_table_posix.h"
#include "task/task_scheduler_posix.h"
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
    StandInClock clock_;
    StandInFiles files_;
    StandInRegistry registry_;
    StandInSystemInfo system_;
    StandInStringTable strings_;
    StandInShell shell_;
    StandInHttp http_;
    StandInCryptoLibraries cryptoLibraries_;
    StandInGuids guids_;
    StandInProcesses processes_;
    StandInServiceControl serviceControl_;
    StandInServiceDispatcher serviceDispatcher_;
    StandInComRuntime com_;
    StandInTaskScheduling taskScheduling_;
    StandInSecureRandom random_;
    StandInConsoleOutput console_;
    Platform platform_;
};

}  // namespace korin
