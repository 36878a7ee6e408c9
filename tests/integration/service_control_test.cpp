// The stand-in Service Control Manager as an administrator drives it with
// `korin-machine sc`, starting korin-test-service and small scripts.

#include "integration/machine_fixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace korin::integration {
namespace {

constexpr char kName[] = "KorinTestSvc";

class ServiceControlTest : public MachineFixture {
  protected:
    void SetUp() override {
        MachineFixture::SetUp();
        // Installed as a Windows program is, under a folder with a space.
        std::filesystem::create_directories(driveC("Program Files/Korin"));
        std::filesystem::copy_file(std::string(KORIN_BIN_DIR) + "/korin-test-service",
                                   driveC("Program Files/Korin/KorinTestService.exe"));
    }
    std::string testService(const std::string& arguments = "") const {
        return "\"C:\\Program Files\\Korin\\KorinTestService.exe\"" +
               (arguments.empty() ? "" : " " + arguments);
    }
    RunResult sc(std::vector<std::string> args) {
        args.insert(args.begin(), "sc");
        return machine(args);
    }
    RunResult create(const std::string& binaryPath, const std::string& name = kName) {
        return sc({"create", name, "binPath=", binaryPath, "DisplayName=", "Korin Test Service",
                   "start=", "demand"});
    }
    // Polls `sc query` until the state shows; the last output either way.
    std::string awaitState(const std::string& state, const std::string& name = kName) {
        std::string out;
        for (int i = 0; i < 200; ++i) {
            out = sc({"query", name}).out;
            if (out.find(state) != std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return out;
    }
    // A script on drive C: ("C:\name").
    std::string script(const std::string& name, const std::string& content) {
        std::ofstream(driveC(name)) << content;
        return "C:\\" + name;
    }
    std::string record() { return readFile(driveC("Windows/System32/test-service-record.txt")); }
};

// Linux keeps the low 8 bits of an exit code.
int exitOf(int code) {
    return code % 256;
}

TEST_F(ServiceControlTest, StartQueryAndStopShowTheStatesTheServiceReports) {
    ASSERT_EQ(create(testService("--start-ms 600 --stop-ms 600")).exitCode, 0);
    const RunResult qc = sc({"qc", kName});
    EXPECT_NE(qc.out.find("START_TYPE         : 3   DEMAND_START"), std::string::npos) << qc.out;
    EXPECT_NE(qc.out.find("BINARY_PATH_NAME   : " + testService("--start-ms 600 --stop-ms 600")),
              std::string::npos);
    EXPECT_NE(qc.out.find("DISPLAY_NAME       : Korin Test Service"), std::string::npos);
    EXPECT_NE(qc.out.find("SERVICE_START_NAME : LocalSystem"), std::string::npos);
    // Kept where Windows keeps it, the same key in the 32-bit view.
    const RunResult key =
        machine({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KorinTestSvc", "/v",
                 "ObjectName", "/reg:32"});
    EXPECT_NE(key.out.find("LocalSystem"), std::string::npos) << key.out << key.err;
    EXPECT_NE(sc({"query", kName}).out.find("STATE              : 1  STOPPED"), std::string::npos);

    const RunResult started = sc({"start", kName});
    ASSERT_EQ(started.exitCode, 0) << started.out;
    EXPECT_NE(started.out.find("STATE              : 2  START_PENDING"), std::string::npos)
        << started.out;
    EXPECT_EQ(exitOf(sc({"stop", kName}).exitCode), exitOf(1061));  // not while pending
    EXPECT_NE(awaitState("4  RUNNING").find("(STOPPABLE"), std::string::npos);

    const RunResult stopped = sc({"stop", kName});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.out;
    EXPECT_NE(stopped.out.find("STATE              : 3  STOP_PENDING"), std::string::npos)
        << stopped.out;
    EXPECT_NE(stopped.out.find("CHECKPOINT         : 0x2"), std::string::npos);
    const std::string final = awaitState("1  STOPPED");
    EXPECT_NE(final.find("WIN32_EXIT_CODE    : 0  (0x0)"), std::string::npos) << final;
    // Started in System32 without arguments of the manager's own; the
    // handler saw the stop; the dispatcher returned (written after the
    // stopped report, so it may come a moment later).
    for (int i = 0; i < 500 && record().find("dispatcher returned\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const char* line :
         {"folder C:\\Windows\\System32\n", "control 1\n", "dispatcher returned\n"}) {
        EXPECT_NE(record().find(line), std::string::npos) << record();
    }
}

TEST_F(ServiceControlTest, OfTwoStartsAtOnceTheSecondFindsTheServiceRunning) {
    ASSERT_EQ(create(testService("--start-ms 300")).exitCode, 0);
    // Each through a shell of its own, as run() keeps one output file.
    const std::string command = "KORIN_MACHINE_ROOT=" + root_ + " " + KORIN_BIN_DIR +
                                "/korin-machine sc start " + kName + " 2>&1";
    const auto startOnce = [&command] {
        RunResult result;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            result.out.append(buffer, got);
        }
        const int status = pipe ? pclose(pipe) : -1;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    };
    auto first = std::async(std::launch::async, startOnce);
    const RunResult second = startOnce();
    const RunResult one = first.get();
    EXPECT_EQ(exitOf(one.exitCode) + exitOf(second.exitCode), exitOf(1056))
        << one.out << second.out;
    EXPECT_NE((one.out + second.out).find("StartService FAILED 1056"), std::string::npos);
    awaitState("4  RUNNING");
    EXPECT_EQ(sc({"stop", kName}).exitCode, 0);
    awaitState("1  STOPPED");
    // Started again at once, while the last process may still be going.
    ASSERT_EQ(sc({"start", kName}).exitCode, 0);
    awaitState("4  RUNNING");
    EXPECT_EQ(sc({"stop", kName}).exitCode, 0);
    awaitState("1  STOPPED");
}

TEST_F(ServiceControlTest, AStopTheServiceDoesNotAcceptIsRefused) {
    ASSERT_EQ(create(testService("--accept 0 --run-ms 1000")).exitCode, 0);
    ASSERT_EQ(sc({"start", kName}).exitCode, 0);
    awaitState("4  RUNNING");
    const RunResult refused = sc({"stop", kName});
    EXPECT_EQ(exitOf(refused.exitCode), exitOf(1052));
    EXPECT_NE(refused.out.find("ControlService FAILED 1052"), std::string::npos) << refused.out;
    EXPECT_NE(awaitState("1  STOPPED").find("1  STOPPED"), std::string::npos);
    EXPECT_EQ(record().find("control "), std::string::npos);  // never reached the service
}

TEST_F(ServiceControlTest, AProgramTheManagerDidNotStartCannotConnect) {
    const RunResult result = run("korin-test-service", {});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("startDispatcher failed 1063"), std::string::npos) << result.err;
    // Nor with a channel and token that no start of the machine handed it.
    setenv("KORIN_SERVICE_CHANNEL", (root_ + "/services/korintestsvc.start").c_str(), 1);
    setenv("KORIN_SERVICE_TOKEN", "0123456789abcdef0123456789abcdef", 1);
    const RunResult forged = run("korin-test-service", {});
    unsetenv("KORIN_SERVICE_CHANNEL");
    unsetenv("KORIN_SERVICE_TOKEN");
    EXPECT_EQ(forged.exitCode, 1);
    EXPECT_NE(forged.err.find("startDispatcher failed 1063"), std::string::npos) << forged.err;
}

TEST_F(ServiceControlTest, StartsThatFailAnswerAsWindowsDoes) {
    // A program that never connects is given up after ServicesPipeTimeout.
    ASSERT_EQ(machine({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control", "/v",
                       "ServicesPipeTimeout", "/t", "REG_DWORD", "/d", "1500", "/f"})
                  .exitCode,
              0);
    struct Case {
        const char* what;
        std::string binaryPath;
        std::uint32_t error;
    };
    const std::vector<Case> cases = {
        {"never connects", script("sleeper.sh", "#!/bin/sh\nexec sleep 30\n"), 1053},
        {"ends at once", script("quitter.sh", "#!/bin/sh\nexit 0\n"), 1053},
        {"no such program", "C:\\missing.exe", 2},
        {"not a program", script("text.exe", "plain text\n"), 193},
        {"another service's program", testService("--name OtherSvc"), 1083},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(create(c.binaryPath).exitCode, 0);
        const auto before = std::chrono::steady_clock::now();
        const RunResult start = sc({"start", kName});
        EXPECT_EQ(exitOf(start.exitCode), exitOf(static_cast<int>(c.error))) << start.out;
        EXPECT_NE(start.out.find("StartService FAILED " + std::to_string(c.error)),
                  std::string::npos)
            << start.out;
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
        EXPECT_NE(sc({"query", kName}).out.find("1  STOPPED"), std::string::npos);
        ASSERT_EQ(sc({"delete", kName}).exitCode, 0);
    }
}

TEST_F(ServiceControlTest, AKilledServiceIsSeenStoppedAndStartsAgain) {
    ASSERT_EQ(create(testService()).exitCode, 0);
    const RunResult started = sc({"start", kName});
    ASSERT_EQ(started.exitCode, 0) << started.out;
    const auto pidAt = started.out.find("PID                : ");
    ASSERT_NE(pidAt, std::string::npos) << started.out;
    const pid_t pid = std::stoi(started.out.substr(pidAt + 21));
    awaitState("4  RUNNING");
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    const std::string stopped = awaitState("1  STOPPED");
    EXPECT_NE(stopped.find("WIN32_EXIT_CODE    : 1067  (0x42b)"), std::string::npos) << stopped;
    EXPECT_EQ(exitOf(sc({"stop", kName}).exitCode), exitOf(1062));

    ASSERT_EQ(sc({"start", kName}).exitCode, 0);
    awaitState("4  RUNNING");
    EXPECT_EQ(sc({"stop", kName}).exitCode, 0);
    awaitState("1  STOPPED");
}

TEST_F(ServiceControlTest, ARunningServiceMarkedForDeletionGoesWhenItStops) {
    ASSERT_EQ(create(testService("--stop-ms 300")).exitCode, 0);
    ASSERT_EQ(sc({"start", kName}).exitCode, 0);
    awaitState("4  RUNNING");
    const RunResult deleted = sc({"delete", kName});
    EXPECT_EQ(deleted.exitCode, 0);
    EXPECT_NE(deleted.out.find("[SC] DeleteService SUCCESS"), std::string::npos);
    EXPECT_EQ(exitOf(sc({"delete", kName}).exitCode), exitOf(1072));
    EXPECT_EQ(exitOf(create(testService()).exitCode), exitOf(1072));
    EXPECT_EQ(exitOf(sc({"start", kName}).exitCode), exitOf(1072));

    EXPECT_EQ(sc({"stop", kName}).exitCode, 0);
    const std::string gone = awaitState("FAILED 1060");
    EXPECT_NE(gone.find("OpenService FAILED 1060"), std::string::npos) << gone;
    EXPECT_EQ(create(testService()).exitCode, 0);
}

TEST_F(ServiceControlTest, CommandsAnswerWithWindowsCodesAndRefuseMalformedOnes) {
    ASSERT_EQ(create(testService()).exitCode, 0);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* output;
    };
    const std::vector<Case> cases = {
        {{"query", "Missing"}, 1060, "[SC] EnumQueryServicesStatus:OpenService FAILED 1060:"},
        {{"stop", kName}, 1062, "[SC] ControlService FAILED 1062:"},
        {{"create", kName, "binPath=", "C:\\x.exe"}, 1073, "[SC] CreateService FAILED 1073:"},
        {{"create", "Bad\\Name", "binPath=", "C:\\x.exe"}, 123, "FAILED 123:"},
        {{"config", kName, "start=", "disabled"}, 0, "[SC] ChangeServiceConfig SUCCESS"},
        {{"start", kName}, 1058, "[SC] StartService FAILED 1058:"},
        {{"config", kName, "start=", "demand", "DisplayName=", "Renamed"}, 0, "SUCCESS"},
        {{"description", kName, "Keeps things current."}, 0, "ChangeServiceConfig2 SUCCESS"},
        {{"qc", kName}, 0, "DISPLAY_NAME       : Renamed"},
        // Malformed: nothing is touched.
        {{"create", "Other"}, 1639, ""},
        {{"create", "Other", "binPath=C:\\x.exe"}, 1639, ""},
        {{"config", kName, "start=", "sometimes"}, 1639, ""},
        {{"frobnicate", kName}, 1639, ""},
        {{"query"}, 1639, ""},
    };
    for (const Case& c : cases) {
        const RunResult result = sc(c.args);
        EXPECT_EQ(exitOf(result.exitCode), exitOf(c.exitCode)) << c.args[0] << result.out;
        EXPECT_NE(result.out.find(c.output), std::string::npos) << c.args[0] << result.out;
        if (c.exitCode == 1639) {
            EXPECT_NE(result.err.find("usage:"), std::string::npos);
        }
    }
    const RunResult description =
        machine({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KorinTestSvc", "/v",
                 "Description"});
    EXPECT_NE(description.out.find("Keeps things current."), std::string::npos);
    EXPECT_EQ(exitOf(sc({"query", "Other"}).exitCode), exitOf(1060));
}

}  // namespace
}  // namespace korin::integration
