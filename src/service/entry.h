#pragma once

// The process entry: the switches and the service run.

#include "service/service_info.h"
#include "support/log_codes.h"

#include <string>

namespace korin {

struct Platform;

// The object of a service run; its construction fills the run-time
// configuration.
class ServiceContext {
  public:
    ServiceContext(const Platform& platform, std::wstring modulePath);
    const std::wstring& modulePath() const { return modulePath_; }

  private:
    std::wstring modulePath_;
};

// The one ServiceContext of the process: set exactly while the service
// dispatcher runs.
ServiceContext* serviceContext();

// Start-up log codes and exit codes.
inline constexpr int kLogStartup = logCode(1617);
inline constexpr int kLogNoMemoryForServiceInfo = logCode(1239);
inline constexpr int kExitSilentAutoUpdateEnabled = 1001;
inline constexpr int kExitNoMemory = -1;
// A bundle with a null port: a fault of the build, never of a machine; tests
// hold every bundle complete.
inline constexpr int kExitIncompletePlatform = -1;

// One switch of the command line and what it runs; the result is the exit
// code.
struct CommandSwitch {
    const wchar_t* name;
    int (*action)(const Platform& platform, const ServiceInfo& info);
};

// The switches in the order they are matched.
const CommandSwitch* commandSwitches(std::size_t& count);
// The switch that an argument names: exact, case-sensitive, whole-text
// comparison in table order; null for none.
const CommandSwitch* findSwitch(const std::wstring& argument);

// The process entry behind wmain.
int runProgram(const Platform& platform, int argc, const wchar_t* const* argv);

}  // namespace korin
