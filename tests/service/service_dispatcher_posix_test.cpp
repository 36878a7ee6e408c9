// The stand-in dispatcher in one process: the test plays the start that
// spawned it, and a controller hammering it while the service reports.

#include "fixtures/temporary_machine_posix.h"
#include "platform/last_error.h"
#include "platform/standin/control_channel.h"
#include "platform/error_codes.h"
#include "service/service_dispatcher_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace korin {
namespace {

constexpr wchar_t kName[] = L"HammerSvc";
constexpr std::uint32_t kReports = 2000;
constexpr int kControls = 200;

StandInServiceDispatcher* dispatcher = nullptr;
ServiceStatusHandle handle = 0;
std::thread::id dispatcherThread;
std::atomic<bool> handlerOffThread{false};
std::atomic<bool> stopRequested{false};

// Each record the service sends carries its number in both the check point
// and the wait hint, so a torn record shows.
void report(std::uint32_t state, std::uint32_t number) {
    ServiceStatus status{kServiceWin32OwnProcess, state, kServiceAcceptStop, 0, 0, number, number};
    dispatcher->setStatus(handle, status);
}

void handler(std::uint32_t control) {
    handlerOffThread = handlerOffThread || std::this_thread::get_id() != dispatcherThread;
    if (control == kServiceControlStop) {
        report(kServiceStopPending, 1);
        stopRequested = true;
    }
}

void serviceMain() {
    handle = dispatcher->registerHandler(L"hammersvc", handler);  // names ignore case
    for (std::uint32_t i = 0; i < kReports || !stopRequested; ++i) {
        report(kServiceRunning, i);
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    report(kServiceStopped, 0);
}

// A fresh machine, its registry and the dispatcher under test.
class StandInDispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string text;
        ASSERT_TRUE(folder_.create("dispatcher", text)) << text;
        machine_ = standin::Machine(folder_.root());
        registry_ = standin::RegistryDb::open(machine_.registryFile(), text);
        ASSERT_TRUE(registry_) << text;
        subject_ = std::make_unique<StandInServiceDispatcher>(machine_, *registry_);
        dispatcher = subject_.get();
    }
    // Plays the start of a process: its channel, handed over in this
    // process's environment.
    std::unique_ptr<standin::StartChannel> openStart() {
        std::uint32_t error = 0;
        auto start = standin::StartChannel::open(machine_, kName, error);
        for (const std::string& entry :
             start ? std::vector{start->channelEntry(), start->tokenEntry()}
                   : std::vector<std::string>{}) {
            const auto equals = entry.find('=');
            setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
        }
        return start;
    }

    testing::TemporaryMachine folder_;
    standin::Machine machine_{""};
    std::unique_ptr<standin::RegistryDb> registry_;
    std::unique_ptr<StandInServiceDispatcher> subject_;
};

TEST_F(StandInDispatcher, ControlsRunOnTheDispatcherThreadAndAnswerWholeRecords) {
    const standin::Machine& machine = machine_;
    StandInServiceDispatcher& subject = *subject_;
    dispatcherThread = std::this_thread::get_id();
    auto start = openStart();
    ASSERT_TRUE(start);
    const auto self = static_cast<std::uint32_t>(getpid());
    std::atomic<std::uint32_t> connected{1};
    std::thread manager(
        [&] { connected = start->awaitDispatcher(self, standin::processStartTime(self), 5000); });
    std::atomic<int> torn{0};
    std::atomic<int> answered{0};
    std::thread controller([&] {
        while (standin::readServiceRuntime(machine, kName).status.currentState != kServiceRunning) {
            std::this_thread::yield();
        }
        for (int i = 0; i <= kControls; ++i) {
            ServiceStatus status;
            const std::uint32_t code =
                i == kControls ? kServiceControlStop : kServiceControlInterrogate;
            if (standin::sendServiceControl(machine, kName, self, code, 5000, status) == 0) {
                ++answered;
                torn += status.checkPoint != status.waitHint ? 1 : 0;
            }
        }
    });

    EXPECT_TRUE(subject.startDispatcher(kName, serviceMain)) << lastError();
    controller.join();
    manager.join();
    EXPECT_EQ(connected, 0u);
    EXPECT_EQ(answered, kControls + 1);
    EXPECT_EQ(torn, 0);
    EXPECT_FALSE(handlerOffThread);
    const standin::ServiceRuntime runtime = standin::readServiceRuntime(machine, kName);
    EXPECT_EQ(runtime.status.currentState, kServiceStopped);
    EXPECT_EQ(runtime.status.win32ExitCode, 0u);
    EXPECT_EQ(runtime.processId, self);
    // The channel was taken out of the environment; once stopped, the handle is dead.
    EXPECT_EQ(std::getenv(standin::kServiceChannelVariable), nullptr);
    EXPECT_FALSE(subject.setStatus(handle, ServiceStatus{}));
    EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

TEST_F(StandInDispatcher, WithoutAManagerBehindItNothingConnects) {
    StandInServiceDispatcher& subject = *subject_;
    unsetenv(standin::kServiceChannelVariable);
    EXPECT_FALSE(subject.startDispatcher(kName, serviceMain));
    EXPECT_EQ(lastError(), kErrorFailedServiceControllerConnect);
    EXPECT_EQ(subject.registerHandler(kName, handler), 0u);
    EXPECT_EQ(lastError(), kErrorServiceNotInExe);
    // A process other than the one a start spawned is turned away, even
    // with the start's own token.
    auto start = openStart();
    ASSERT_TRUE(start);
    const pid_t spawned = fork();
    if (spawned == 0) {
        pause();
        _exit(0);
    }
    std::atomic<std::uint32_t> awaited{0};
    std::thread manager([&] {
        const auto pid = static_cast<std::uint32_t>(spawned);
        awaited = start->awaitDispatcher(pid, standin::processStartTime(pid), 1000);
    });
    EXPECT_FALSE(subject.startDispatcher(kName, serviceMain));
    EXPECT_EQ(lastError(), kErrorFailedServiceControllerConnect);
    manager.join();
    kill(spawned, SIGKILL);
    waitpid(spawned, nullptr, 0);
    EXPECT_EQ(awaited, kErrorServiceRequestTimeout);

    // The stop event is a manual-reset one: once set, it stays set.
    auto event = subject.createStopEvent();
    auto* stop = static_cast<StandInServiceStopEvent*>(event.get());
    EXPECT_FALSE(stop->waitFor(10));
    EXPECT_TRUE(event->set());
    EXPECT_TRUE(stop->waitFor(0));
    EXPECT_TRUE(stop->waitFor(0));
}

}  // namespace
}  // namespace korin
