// The auto-update mode switches and the update state, as an administrator
// runs them on a stand-in machine.

#include "integration/machine_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

// Linux keeps the low 8 bits of the exit code: 1001 is seen as 233.
constexpr int kSilentAutoUpdateEnabledExit = 1001 % 256;

class SettingsProgramTest : public MachineFixture {
  protected:
    // A 32-bit program on a 64-bit machine finds its system folder in SysWOW64.
    std::string settingsFolder() const { return driveC("Windows/SysWOW64/Tervalon/Korin"); }
    std::string settingsFile() const { return settingsFolder() + "/zvs.cfg"; }
    void writeSettings(const std::string& content) {
        fs::create_directories(settingsFolder());
        std::ofstream(settingsFile(), std::ios::binary) << content;
    }
};

TEST_F(SettingsProgramTest, SilentModeCreatesTheFileAndTheQueryAnswers) {
    fs::create_directories(settingsFolder());
    EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, 0);
    EXPECT_EQ(service({"-setSilentAutoUpdate"}).exitCode, 0);
    EXPECT_EQ(readFile(settingsFile()), "SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n");
    EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, kSilentAutoUpdateEnabledExit);
    EXPECT_EQ(service({"-setDisableAutoUpdate"}).exitCode, 0);
    EXPECT_EQ(readFile(settingsFile()), "SilentAutoUpdateEnable=0\r\nAutoUpdateDisable=1\r\n");
    EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, 0);
    // Only the settings file stands in its folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(settingsFolder()), fs::directory_iterator()), 1);
}

TEST_F(SettingsProgramTest, NotifyModeKeepsTheOtherEntriesInPlace) {
    writeSettings("AutoUpdateDisable=1\nSilentAutoUpdateServerDomain=u.example.net\n");
    EXPECT_EQ(service({"-setNotifyAutoUpdate"}).exitCode, 0);
    EXPECT_EQ(readFile(settingsFile()),
              "AutoUpdateDisable=0\r\nSilentAutoUpdateServerDomain=u.example.net\r\n"
              "SilentAutoUpdateEnable=0\r\n");
}

TEST_F(SettingsProgramTest, TheQueryLooksAtSilentAutoUpdateEnableAlone) {
    struct Case {
        const char* content;
        int exitCode;
    };
    const Case cases[] = {
        {"SilentAutoUpdateEnable=yes\r\nAutoUpdateDisable=1\r\n", kSilentAutoUpdateEnabledExit},
        {"\xEF\xBB\xBF  SilentAutoUpdateEnable = TRUE \n", kSilentAutoUpdateEnabledExit},
        {"silentautoupdateenable=1\n", 0},
        {"SilentAutoUpdateEnable=on\n", 0},
    };
    for (const Case& c : cases) {
        writeSettings(c.content);
        EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, c.exitCode) << c.content;
    }
}

TEST_F(SettingsProgramTest, WithoutTheFolderTheSwitchesChangeNothing) {
    for (const std::string mode :
         {"-setSilentAutoUpdate", "-setNotifyAutoUpdate", "-setDisableAutoUpdate"}) {
        EXPECT_EQ(service({mode}).exitCode, 0) << mode;
    }
    EXPECT_FALSE(fs::exists(driveC("Windows/SysWOW64/Tervalon")));
    EXPECT_FALSE(fs::exists(driveC("Windows/System32/Tervalon")));
    EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, 0);
}

TEST_F(SettingsProgramTest, On32BitWindowsTheFileIsInSystem32) {
    ASSERT_EQ(machine({"init", "--32-bit"}).exitCode, 0);
    fs::create_directories(driveC("Windows/System32/Tervalon/Korin"));
    EXPECT_EQ(service({"-setSilentAutoUpdate"}).exitCode, 0);
    EXPECT_EQ(readFile(driveC("Windows/System32/Tervalon/Korin/zvs.cfg")),
              "SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n");
    EXPECT_EQ(service({"-isSAUEnabled"}).exitCode, kSilentAutoUpdateEnabledExit);
}

TEST_F(SettingsProgramTest, DeleteTaskErasesTheUpdateStateInThe32BitView) {
    const std::string key = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerSAU";
    for (const std::string name : {"UpdateAttempts", "LastUpdateCheck", "CheckFrequency"}) {
        ASSERT_EQ(
            machine({"reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", "2", "/reg:32", "/f"})
                .exitCode,
            0);
    }
    EXPECT_EQ(service({"-deleteTask"}).exitCode, 0);
    EXPECT_EQ(machine({"reg", "query", key, "/reg:32"}).exitCode, 1);
    EXPECT_EQ(machine({"reg", "query", "HKLM\\SOFTWARE\\Tervalonix", "/reg:32"}).exitCode, 0);

    // Without UpdateAttempts nothing is erased.
    ASSERT_EQ(machine({"reg", "add", key, "/v", "CheckFrequency", "/t", "REG_DWORD", "/d", "2",
                       "/reg:32", "/f"})
                  .exitCode,
              0);
    EXPECT_EQ(service({"-deleteTask"}).exitCode, 0);
    const RunResult query = machine({"reg", "query", key, "/reg:32"});
    EXPECT_NE(query.out.find("CheckFrequency"), std::string::npos) << query.out;
}

// Two administrators switching modes at once: every version of the file that
// anyone reads is one writer's whole file.
TEST_F(SettingsProgramTest, ConcurrentModeSwitchesLeaveOneWholeFile) {
    const std::string silent = "Other=kept\r\nSilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n";
    const std::string disabled =
        "Other=kept\r\nSilentAutoUpdateEnable=0\r\nAutoUpdateDisable=1\r\n";
    writeSettings(silent);
    std::vector<pid_t> children;
    for (const std::string mode : {"-setSilentAutoUpdate", "-setDisableAutoUpdate"}) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0; i < 25; ++i) {
                if (service({mode}).exitCode != 0) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    int reads = 0;
    for (bool running = true; running;) {
        running = false;
        for (pid_t pid : children) {
            running = running || waitpid(pid, nullptr, WNOHANG) == 0;
        }
        const std::string content = readFile(settingsFile());
        EXPECT_TRUE(content == silent || content == disabled) << content;
        ++reads;
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_GT(reads, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(settingsFolder()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace korin::integration
