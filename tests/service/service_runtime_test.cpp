// The service runtime against the synchronous fake dispatcher: the reports
// and log entries of each kind of run, a stop in the middle of the cycle,
// and reports racing between the control thread and the service thread.

#include "service/service_runtime.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/service_control.h"
#include "platform/error_codes.h"
#include "service/entry.h"
#include "service/service_info.h"
#include "support/log.h"
#include "ground/text.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using Entries = std::vector<std::wstring>;

using testing::kSettingsFolder;
using testing::kSettingsPath;

// "state checkPoint waitHint controlsAccepted" of each report; the fields
// that never change are checked on the way.
std::vector<std::string> describe(const std::vector<ServiceStatus>& reports) {
    std::vector<std::string> lines;
    for (const ServiceStatus& status : reports) {
        EXPECT_EQ(status.serviceType, kServiceWin32OwnProcess);
        EXPECT_EQ(status.win32ExitCode, 0u);
        EXPECT_EQ(status.serviceSpecificExitCode, 0u);
        lines.push_back(std::to_string(status.currentState) + " " +
                        std::to_string(status.checkPoint) + " " + std::to_string(status.waitHint) +
                        " " + std::to_string(status.controlsAccepted));
    }
    return lines;
}

// The entries of the runtime and the cycle's begin and end.
Entries runtimeEntries(const FakePlatform& fake) {
    return fake.logEntriesWithCodes({1618, 1619, 1620, 1451, 1240, 1241, 1622, 1623, 1608, 1612});
}

const std::string kStartPending = "2 1 3000 0";
const std::string kRunning = "4 0 0 1";
const std::string kStopped = "1 0 0 1";

TEST(ServiceRuntime, EachKindOfRunReportsAndLogsItsOwnSequence) {
    struct Case {
        const char* name;
        std::function<void(FakePlatform&)> arrange;
        std::vector<std::string> reports;
        Entries log;
        int stopsSignalled;
    };
    const Case cases[] = {
        {"normal run",
         [](FakePlatform&) {},
         {kStartPending, kRunning, kStopped},
         {L"[info] 1618", L"[info] 1608", L"[info] 1612", L"[info] 1620"},
         0},
        // The cycle's first request: the stop is logged and reported at
        // once, the cycle still runs to its end before stopped.
        {"stop during the cycle",
         [](FakePlatform& fake) {
             fake.serviceDispatcher.deliverControlAt(fake.http.faults, "open", 1,
                                                     kServiceControlStop);
         },
         {kStartPending, kRunning, "3 2 0 1", "3 3 0 1", kStopped},
         {L"[info] 1618", L"[info] 1608", L"[info] 1622 1", L"[info] 1623", L"[info] 1612",
          L"[info] 1620"},
         1},
        // The worker reports running between the stop's two reports: the
        // second carries the state the runtime holds by then.
        {"stop as the worker reports running",
         [](FakePlatform& fake) {
             fake.http.faults.beforeCall("open", [&fake] {
                 // The second file opened from here: the log, for the stop's 1623.
                 fake.files.faults.beforeCall(
                     "openFile", [] { reportServiceStatus(kServiceRunning, 0); }, 1);
                 fake.serviceDispatcher.deliverControl(kServiceControlStop);
             });
         },
         {kStartPending, kRunning, "3 2 0 1", kRunning, kRunning, kStopped},
         {L"[info] 1618", L"[info] 1608", L"[info] 1622 1", L"[info] 1623", L"[info] 1612",
          L"[info] 1620"},
         1},
        {"pause and interrogate",
         [](FakePlatform& fake) {
             fake.serviceDispatcher.deliverControlAt(fake.registry.faults, "openKey", 1,
                                                     kServiceControlPause);
             fake.serviceDispatcher.deliverControlAt(fake.http.faults, "open", 1,
                                                     kServiceControlInterrogate);
         },
         {kStartPending, kRunning, kStopped},
         {L"[info] 1618", L"[info] 1608", L"[info] 1622 2", L"[info] 1622 4", L"[info] 1612",
          L"[info] 1620"},
         0},
        {"handler not registered",
         [](FakePlatform& fake) {
             fake.serviceDispatcher.faults.failNext("registerHandler", 1083);
         },
         {},
         {L"[info] 1618", L"[error] 1240 1083", L"[info] 1620"},
         0},
        {"no stop event",
         [](FakePlatform& fake) {
             fake.serviceDispatcher.faults.failNext("createStopEvent", kErrorNotEnoughMemory);
         },
         {kStartPending, kStopped},
         {L"[info] 1618", L"[info] 1620"},
         0},
        {"not started by the Service Control Manager",
         [](FakePlatform& fake) {
             fake.serviceDispatcher.faults.failNext("startDispatcher",
                                                    kErrorFailedServiceControllerConnect);
         },
         {},
         {L"[info] 1618", L"[info] 1619 1063"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        // The settings allow silent updates and a check is due, so the cycle
        // reaches the server.
        fake.clock.fileTime = 134116992000000000ull;
        fake.files.addFolder(kSettingsFolder);
        fake.files.putFile(kSettingsPath,
                           "SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\n");
        c.arrange(fake);
        const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe"};
        EXPECT_EQ(runProgram(fake.platform(), 1, argv), 0);
        EXPECT_EQ(describe(fake.serviceDispatcher.reports()), c.reports);
        EXPECT_EQ(runtimeEntries(fake), c.log);
        EXPECT_EQ(fake.serviceDispatcher.stopEventsSignalled(), c.stopsSignalled);
        EXPECT_EQ(fake.serviceDispatcher.openStopEvents(), 0);
        EXPECT_EQ(serviceContext(), nullptr);
    }
}

TEST(ServiceRuntime, RegistersTheServiceByItsName) {
    FakePlatform fake;
    const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe"};
    runProgram(fake.platform(), 1, argv);
    EXPECT_EQ(fake.serviceDispatcher.dispatchedName(), kServiceName);
    EXPECT_EQ(fake.serviceDispatcher.registeredName(), kServiceName);
}

TEST(ServiceRuntime, WithoutAServiceContextTheWorkerRunsNoCycle) {
    FakePlatform fake;
    logOptions().verbose = true;
    setLastError(0);
    EXPECT_TRUE(runServiceDispatcher(fake.platform()));
    EXPECT_EQ(describe(fake.serviceDispatcher.reports()),
              (std::vector<std::string>{kStartPending, kRunning, kStopped}));
    EXPECT_EQ(runtimeEntries(fake), (Entries{L"[info] 1618", L"[error] 1241 0", L"[info] 1620"}));
}

TEST(ServiceRuntime, NoMemoryForTheDispatchTableStartsNoDispatcher) {
    // Verbose logging off, so that no info entry's line is the allocation
    // that fails; the error entry is written all the same.
    FakePlatform fake;
    {
        // The table's entry: the service name and the service main.
        testing::AllocationFault fault(sizeof(std::wstring) + sizeof(ServiceMainFunction));
        EXPECT_FALSE(runServiceDispatcher(fake.platform()));
        EXPECT_TRUE(fault.happened());
    }
    EXPECT_EQ(fake.serviceDispatcher.faults.calls("startDispatcher"), 0);
    EXPECT_EQ(runtimeEntries(fake), (Entries{L"[error] 1451 8"}));
}

// Each start begins from a fresh record: the second run of one process
// reports from check point 1 again, not where the first run stopped.
TEST(ServiceRuntime, ASecondStartInOneProcessStartsClean) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        FakePlatform fake;
        fake.serviceDispatcher.faults.beforeCall("createStopEvent", [&fake] {
            fake.serviceDispatcher.deliverControl(kServiceControlStop);
        });
        EXPECT_TRUE(runServiceDispatcher(fake.platform()));
        EXPECT_EQ(
            describe(fake.serviceDispatcher.reports()),
            (std::vector<std::string>{kStartPending, "3 2 0 1", "3 3 0 1", kRunning, kStopped}));
    }
}

// Each allocation of a service run (with an interrogate and a stop on the
// way) fails in turn: nothing leaves the runtime, the stop is still
// reported, and the service still ends stopped.
TEST(ServiceRuntime, RunningOutOfMemoryNeverLosesAReport) {
    logOptions().verbose = true;
    int n = 1;
    for (bool reached = true; reached && n < 20'000; ++n) {
        FakePlatform fake;
        fake.serviceDispatcher.faults.beforeCall("createStopEvent", [&fake] {
            fake.serviceDispatcher.deliverControl(kServiceControlInterrogate);
            fake.serviceDispatcher.deliverControl(kServiceControlStop);
        });
        const auto run =
            testing::runWithNthAllocationFailing(n, [&] { runServiceDispatcher(fake.platform()); });
        reached = run.reached;
        SCOPED_TRACE(n);
        ASSERT_FALSE(run.thrown);
        const std::vector<std::string> reports = describe(fake.serviceDispatcher.reports());
        if (fake.serviceDispatcher.registeredName().empty()) {
            EXPECT_TRUE(reports.empty());  // no dispatch table, no service
            continue;
        }
        EXPECT_EQ(reports, (std::vector<std::string>{kStartPending, "3 2 0 1", "3 3 0 1", kRunning,
                                                     kStopped}));
    }
    EXPECT_GT(n, 5);
    EXPECT_LT(n, 20'000);
}

// Controls hammered from the dispatcher's thread while the service thread
// reports: every report is one whole record and a check point is never used
// twice. Verbose logging stays off, so the two threads spend their time in
// the reports.
TEST(ServiceRuntime, ReportsRacingWithControlsStayWholeRecords) {
    FakePlatform fake;
    constexpr int kRounds = 1000;
    std::atomic<bool> controlsStarted{false};
    std::atomic<bool> controlsDone{false};
    std::size_t serviceReports = 0;
    // Once the handler is registered and start-pending reported, before the
    // stop event exists: the race runs inside the service main, the worker's
    // reports for as long as the controls come.
    fake.serviceDispatcher.faults.beforeCall("createStopEvent", [&] {
        std::thread controls([&] {
            controlsStarted = true;
            for (int i = 0; i < kRounds; ++i) {
                for (std::uint32_t control :
                     {kServiceControlStop, kServiceControlInterrogate, kServiceControlPause}) {
                    fake.serviceDispatcher.deliverControl(control);
                }
            }
            controlsDone = true;
        });
        while (!controlsStarted) {
            std::this_thread::yield();
        }
        while (!controlsDone) {
            reportServiceStatus(kServiceStartPending, kStartPendingWaitHint);
            reportServiceStatus(kServiceRunning, 0);
            serviceReports += 2;
        }
        controls.join();
    });
    EXPECT_TRUE(runServiceDispatcher(fake.platform()));

    const std::vector<ServiceStatus> reports = fake.serviceDispatcher.reports();
    // Start-pending, the race's own and the stops' two each, then the
    // worker's running and stopped.
    ASSERT_EQ(reports.size(), 1u + serviceReports + 2u * kRounds + 2u);
    std::uint32_t lastCheckPoint = 0;
    for (const ServiceStatus& status : reports) {
        EXPECT_EQ(status.serviceType, kServiceWin32OwnProcess);
        const bool pending = status.currentState == kServiceStartPending ||
                             status.currentState == kServiceStopPending;
        EXPECT_EQ(status.controlsAccepted, status.currentState == kServiceStartPending ? 0u : 1u);
        // A stop's second report repeats whatever state the record holds,
        // with no wait hint: start-pending here, in the race.
        if (status.currentState != kServiceStartPending) {
            EXPECT_EQ(status.waitHint, 0u);
        }
        if (pending) {
            EXPECT_GT(status.checkPoint, lastCheckPoint);
            lastCheckPoint = status.checkPoint;
        } else {
            EXPECT_EQ(status.checkPoint, 0u);
        }
    }
    // Nothing logged but the worker's missing context.
    EXPECT_EQ(runtimeEntries(fake).size(), 1u);
}

}  // namespace
}  // namespace korin
