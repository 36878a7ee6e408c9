// The host programs as an administrator runs them.

#include "integration/machine_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace korin::integration {
namespace {

using ProgramTest = MachineFixture;

TEST_F(ProgramTest, EverySwitchAndAnyOtherArgumentExitsWithZero) {
    const std::vector<std::vector<std::string>> runs = {
        {"-install"},
        {"-uninstall"},
        {"-deleteTask"},
        {"-createDefaultTask"},
        {"-setSilentAutoUpdate"},
        {"-setNotifyAutoUpdate"},
        {"-setDisableAutoUpdate"},
        {"-Install"},
        {"/install"},
        {"-unknown", "more"},
        {"-install", "extra", "arguments"},
    };
    for (const auto& args : runs) {
        const RunResult result = service(args);
        EXPECT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
    }
}

TEST_F(ProgramTest, CommandRunsLeaveTheLogEmptyWhileVerboseLoggingIsOff) {
    // The service's working folder is System32; a 32-bit program's view of
    // it is SysWOW64, where the log folder is made.
    const std::string logFolder = driveC("Windows/SysWOW64/Tervalon/Korin");
    std::filesystem::create_directories(logFolder);
    EXPECT_EQ(service({"-unknown"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(logFolder + "/KorinInstall32.log"));
    // Without arguments and outside the manager, only the start request's
    // error reaches the log: the service is not registered here.
    EXPECT_EQ(service({}).exitCode, 0);
    const std::string bytes = readFile(logFolder + "/KorinInstall32.log");
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text += bytes[i];
    }
    EXPECT_NE(text.find("1222 1060\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("1619"), std::string::npos) << text;
}

TEST_F(ProgramTest, ProgramsRefuseToRunWithoutAMachine) {
    for (const std::string program : {"korin-update-service", "korin-machine"}) {
        const std::vector<std::string> args = program == "korin-machine"
                                                  ? std::vector<std::string>{"reg", "query", "HKLM"}
                                                  : std::vector<std::string>{"-install"};
        const RunResult result = run(program, args, "/tmp", false);
        EXPECT_NE(result.exitCode, 0) << program;
        EXPECT_NE(result.err.find("KORIN_MACHINE_ROOT"), std::string::npos) << result.err;
    }
    // A folder that init did not make is no machine either.
    std::filesystem::remove(root_ + "/.korin-machine");
    const RunResult result = service({"-install"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find("korin-machine init"), std::string::npos) << result.err;
}

TEST_F(ProgramTest, RegCommandsRoundTripAndRejectMalformedInput) {
    const std::string key = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU";
    RunResult added = machine(
        {"reg", "add", key, "/v", "UpdateAttempts", "/t", "REG_DWORD", "/d", "7", "/reg:32", "/f"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    RunResult query = machine({"reg", "query", key, "/reg:32"});
    EXPECT_EQ(query.exitCode, 0);
    EXPECT_NE(query.out.find("UpdateAttempts    REG_DWORD    0x7"), std::string::npos) << query.out;
    EXPECT_EQ(machine({"reg", "query", key}).exitCode, 1);  // not in the 64-bit view

    const std::string before = readFile(root_ + "/registry.db");
    RunResult bad = machine(
        {"reg", "add", key, "/v", "UpdateAttempts", "/t", "REG_DWORD", "/d", "seven", "/reg:32"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("usage:"), std::string::npos);
    query = machine({"reg", "query", key, "/v", "UpdateAttempts", "/reg:32"});
    EXPECT_NE(query.out.find("0x7"), std::string::npos);
    EXPECT_EQ(machine({"frobnicate"}).exitCode, 2);
}

TEST_F(ProgramTest, ConcurrentWritersOfOneKeyAllLand) {
    constexpr int kWriters = 4;
    constexpr int kValues = 10;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "w" + std::to_string(writer) + "v" + std::to_string(i);
                if (run("korin-machine", {"reg", "add", "HKLM\\SOFTWARE\\Race", "/v", name, "/t",
                                          "REG_DWORD", "/d", std::to_string(writer * 100 + i)})
                        .exitCode != 0) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    const RunResult query = machine({"reg", "query", "HKLM\\SOFTWARE\\Race"});
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValues; ++i) {
            std::ostringstream line;
            line << "w" << writer << "v" << i << "    REG_DWORD    0x" << std::hex
                 << (writer * 100 + i) << "\n";
            EXPECT_NE(query.out.find(line.str()), std::string::npos) << line.str();
        }
    }
}

}  // namespace
}  // namespace korin::integration
