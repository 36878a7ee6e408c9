#pragma once

// Every Win32 adapter, handed out as one Platform: the composition of the
// product.

#include "net/http_win.h"
#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/registry_win.h"
#include "platform/shell_win.h"
#include "platform/system_info_win.h"
#include "platform/guid_win.h"
#include "platform/processes_win.h"
#include "platform/com_runtime_win.h"
#include "platform/runtime_library_win.h"
#include "platform/platform.h"
#include "service/service_dispatcher_win.h"
#include "platform/service_control_win.h"
#include "support/string_table_win.h"
#include "task/task_scheduler_win.h"
#include "trust/crypto_libraries_win.h"

namespace korin {

class WinPlatform {
  public:
    WinPlatform();
    // The platform points into the object itself.
    WinPlatform(const WinPlatform&) = delete;
    WinPlatform& operator=(const WinPlatform&) = delete;

    const Platform& platform() const { return platform_; }
    // True when every port is filled; the entry asks once, before the run.
    bool checkComplete() const { return missingPort(platform_) == nullptr; }

  private:
    WinClock clock_;
    WinFiles files_;
    WinRegistry registry_;
    WinSystemInfo system_;
    WinStringTable strings_;
    WinShell shell_;
    WinHttp http_;
    WinCryptoLibraries cryptoLibraries_;
    WinGuids guids_;
    WinProcesses processes_;
    WinServiceDispatcher serviceDispatcher_;
    WinServiceControl serviceControl_;
    WinComRuntime com_;
    WinTaskScheduling taskScheduling_;
    WinSecureRandom random_;
    WinConsoleOutput console_;
    Platform platform_;
};

}  // namespace korin
