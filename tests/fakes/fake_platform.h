#pragma once

// The fakes of every port, and the bundle that hands them to the core as a
// Platform.

#include "fakes/fake_clock.h"
#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_files.h"
#include "fakes/fake_guids.h"
#include "fakes/fake_http.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_runtime_library.h"
#include "fakes/fake_service_control.h"
#include "fakes/fake_service_dispatcher.h"
#include "fakes/fake_shell.h"
#include "fakes/fake_string_table.h"
#include "fakes/fake_system_info.h"
#include "fakes/fake_task_scheduler.h"
#include "fakes/fault_injector.h"
#include "platform/platform.h"

#include <set>
#include <string>
#include <vector>

namespace korin::testing {

// A log file's lines (UTF-16LE decoded, without line ends), and its entries
// as "[level] message" (the time stamp cut).
std::vector<std::wstring> logLinesOf(const std::string& bytes);
std::vector<std::wstring> logEntriesOf(const std::string& bytes);

// All fakes, handed to the core as one Platform with every port filled.
// Resets the process-wide run-time configuration, the log's options and the
// cached settings path and per-user folders, so every test starts from the
// initial values (the service runtime starts afresh with each dispatcher).
class FakePlatform {
  public:
    FakePlatform();
    FakeClock clock;
    FakeFiles files;
    FakeRegistry registry;
    FakeSystemInfo system;
    FakeStringTable strings;
    FakeShell shell{files};
    FakeHttp http;
    FakeGuids guids;
    FakeProcesses processes{files};
    // A test that scripts its own libraries makes them after the platform.
    FakeCryptoLibraries cryptoLibraries;
    FakeServiceDispatcher serviceDispatcher;
    FakeServiceControl serviceControl;
    FakeTaskScheduling taskScheduling;
    FakeComRuntime com{taskScheduling};
    FakeSecureRandom random;
    FakeConsoleOutput console;
    const Platform& platform() const { return platform_; }
    // True when every port is filled.
    bool checkComplete() const { return missingPort(platform_) == nullptr; }

    // The log file's lines as written (UTF-16LE decoded), without line ends.
    std::vector<std::wstring> logLines() const;
    // The entries of the log, each as "[level] message" (the time stamp cut).
    std::vector<std::wstring> logEntries() const;
    // The entries, as logEntries gives them, whose code is one of codes.
    std::vector<std::wstring> logEntriesWithCodes(const std::set<int>& codes) const;
    // The folder of the log file below the working folder; made by default.
    static constexpr wchar_t kLogFolder[] = L"C:\\Windows\\System32\\Tervalon\\Korin";

  private:
    Platform platform_;
};

}  // namespace korin::testing
