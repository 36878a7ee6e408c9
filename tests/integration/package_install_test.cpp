// The package download and installer launch of an update cycle on a stand-in
// machine, against signed packages of korin-test-installer served over HTTPS
// (korin-update-check --install runs them): the right package, the exact
// command line, and nothing left behind when the server misbehaves or goes.

#include "integration/machine_fixture.h"
#include "net/test_server_posix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

constexpr char kPlugin[] = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPlugin";
constexpr char kSau[] = "/pub/korinplayer/update/current/sau/";

class PackageInstallTest : public MachineFixture {
  protected:
    // Plugin 31.0.0.100 installed from "abc" files; 32.0.0.465 offered, with
    // a patch from 31 for "abc". Both packages hold korin-test-installer, the
    // patch's with a tail of its own so that the bytes tell them apart.
    void SetUp() override {
        MachineFixture::SetUp();
        writePatchOffer();
        publish(root_ + "/full.exe", root_ + "/patch.exe");
        std::string error;
        ASSERT_TRUE(server_.start(root_ + "/tree", root_, error)) << error;
        ASSERT_EQ(machine({"hosts", "add", "localhost", server_.address()}).exitCode, 0);
        ASSERT_EQ(machine({"trust", "add", server_.authorityFile()}).exitCode, 0);
        fs::create_directories(driveC("Windows/SysWOW64/Tervalon/Korin"));
        reg("Version", "31.0.0.100");
        reg("PlayerPath", "C:\\Windows\\SysWOW64\\Korin\\pl.dll");
        reg("PlayerPath", "C:\\Windows\\System32\\Korin\\pl.dll", "/reg:64");
        putFile("Windows/SysWOW64/Korin/pl.dll", "abc");
        putFile("Windows/System32/Korin/pl.dll", "abc");
    }
    void publish(const std::string& full, const std::string& patch) {
        const RunResult published = run("korin-publish",
                                        {root_ + "/offer.txt", root_ + "/tree", "--installer", full,
                                         "--patch-installer", patch},
                                        root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
    }
    void reg(const std::string& name, const std::string& data, const char* view = "/reg:32") {
        const RunResult result =
            machine({"reg", "add", kPlugin, "/v", name, "/t", "REG_SZ", "/d", data, "/f", view});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    void putFile(const std::string& relative, const std::string& content) {
        fs::create_directories(fs::path(driveC(relative)).parent_path());
        std::ofstream(driveC(relative), std::ios::binary) << content;
    }
    RunResult install(const std::string& program = "korin-update-check") {
        return run(program, {"--server", "localhost", "--install"});
    }
    // What the started installer recorded in its working folder; empty if
    // none ran.
    std::string record() {
        for (int i = 0; i < 500 && !fs::exists(recordFile()); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return readFile(recordFile());
    }
    std::string recordFile() { return driveC("Windows/System32/installer-record.txt"); }
    bool temporaryFolderEmpty() { return fs::is_empty(driveC("Windows/Temp")); }
    std::string installerFile() { return driveC("Windows/SysWOW64/KorinPlayerInstaller.exe"); }

    testing::TestServer server_;
};

TEST_F(PackageInstallTest, PatchOrFullPackageStartsItsInstallerWithTheExactCommandLine) {
    for (const bool patch : {true, false}) {
        SCOPED_TRACE(patch);
        fs::remove(recordFile());
        if (!patch) {
            putFile("Windows/SysWOW64/Korin/pl.dll", "abd");  // the patch no longer fits
            putFile("Windows/System32/Korin/pl.dll", "abd");
        }
        const RunResult result = install();
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("Plugin installer started"), std::string::npos);
        EXPECT_EQ(record(), std::string("KorinPlayerInstaller.exe -install -iv ") +
                                (patch ? "11" : "9") +
                                "\nC:\\Windows\\System32\n"
                                "C:\\Windows\\SysWOW64\\KorinPlayerInstaller.exe\n");
        EXPECT_EQ(readFile(installerFile()),
                  readFile(root_ + (patch ? "/patch.exe" : "/full.exe")));
        EXPECT_NE(serviceLog().find(patch ? "[info] 1637\r\n" : "[info] 1601\r\n"),
                  std::string::npos);
        EXPECT_NE(serviceLog().find("[info] 1602\r\n"), std::string::npos);
        EXPECT_TRUE(temporaryFolderEmpty());
    }
}

// The loop of a deployed machine: -install registers the service and the
// hourly task; the task's run starts the program without arguments, which
// cannot reach the dispatcher and asks the manager to start the service; the
// service's one cycle starts the installer; -uninstall leaves nothing behind.
// The machine's clock is set: the service's process reads it too.
TEST_F(PackageInstallTest, TheHourlyTaskStartsTheServiceWhoseCycleStartsTheInstaller) {
    const std::string program = driveC("Program Files/Korin/KorinPlayerUpdateService.exe");
    fs::create_directories(fs::path(program).parent_path());
    fs::copy_file(std::string(KORIN_BIN_DIR) + "/korin-update-service", program);
    putFile("Windows/SysWOW64/Tervalon/Korin/zvs.cfg",
            "SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\n"
            "SilentAutoUpdateServerDomain=localhost\r\n");
    ASSERT_EQ(run(program, {"-install"}).exitCode, 0);
    ASSERT_EQ(machine({"clock", "set", "2031-05-06T07:08:09Z"}).exitCode, 0);
    EXPECT_EQ(machine({"clock", "show"}).out, "2031-05-06T07:08:09Z (set, standing still)\n");
    ASSERT_EQ(machine({"schtasks", "/run", "/tn", "Vemra Korin Player Updater"}).exitCode, 0);
    EXPECT_EQ(record(),
              "KorinPlayerInstaller.exe -install -iv 11\nC:\\Windows\\System32\n"
              "C:\\Windows\\SysWOW64\\KorinPlayerInstaller.exe\n");
    for (int i = 0; i < 500 && serviceLog().find("1620\r\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string text = serviceLog();
    std::size_t at = 0;
    for (const char* entry : {"[info] 1618\r\n", "[info] 1619 1063\r\n", "[info] 1608\r\n",
                              "[info] 1610\r\n", "[info] 1612\r\n", "[info] 1620\r\n"}) {
        at = text.find(entry, at);
        ASSERT_NE(at, std::string::npos) << entry << " in\n" << text;
    }
    EXPECT_NE(text.find("2031-5-6+7-8-9.0 [info] 1608\r\n"), std::string::npos) << text;
    // The start request's answer and the service's first entries race.
    EXPECT_NE(text.find("[info] 1604\r\n"), std::string::npos) << text;
    EXPECT_NE(machine({"sc", "query", "VemraKorinPlayerUpdateSvc"}).out.find("STOPPED"),
              std::string::npos);

    ASSERT_EQ(run(program, {"-uninstall"}).exitCode, 0);
    EXPECT_EQ(machine({"sc", "query", "VemraKorinPlayerUpdateSvc"}).exitCode, 1060 % 256);
    EXPECT_EQ(machine({"schtasks", "/query", "/tn", "Vemra Korin Player Updater"}).exitCode, 1);
}

TEST_F(PackageInstallTest, MisbehavingServerStartsNothingAndLeavesNothing) {
    const std::string path = std::string(kSau) + "31/install/patch/p31/patch_all_win_pl_sgn.z";
    const struct {
        const char* mode;
        const char* entry;
    } cases[] = {
        {"notfound", "[error] 1217 "},
        {"cutoff", "[error] 1209 12030"},
        {"zerobyte", "[error] 1217 "},
        {"foreign", "[error] 1217 "},  // signed under an authority of its own
        {"empty", "[error] 1217 "},
        {"endless", "[error] 1211 223"},  // the real 512 MiB bound: about 2 s
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        if (std::string(c.mode) == "foreign") {
            server_.misbehave(path, "none");
            const std::string tool =
                std::string(KORIN_SOURCE_DIR) + "/tools/sign-package/sign-package";
            const std::string other = root_ + "/other";
            ASSERT_EQ(std::system((tool + " issue --self-signed --subject /CN=Other --out-cert " +
                                   other + ".pem --out-key " + other + ".key 2>/dev/null && " +
                                   tool + " sign --signer " + other + ".pem --key " + other +
                                   ".key " + root_ + "/patch.exe " + root_ + "/tree" + path)
                                      .c_str()),
                      0);
        } else if (std::string(c.mode) == "empty") {
            std::ofstream(root_ + "/tree" + path, std::ios::trunc);
        } else {
            server_.misbehave(path, c.mode);
        }
        const RunResult result = install();
        EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
        EXPECT_NE(result.out.find("Plugin installer not started"), std::string::npos);
        EXPECT_NE(serviceLog().find(c.entry), std::string::npos) << serviceLog();
        EXPECT_FALSE(fs::exists(installerFile()));
        EXPECT_FALSE(fs::exists(recordFile()));
        EXPECT_TRUE(temporaryFolderEmpty());
    }
}

// The server goes away with half the package sent: the partial download is
// removed with its folder.
TEST_F(PackageInstallTest, ServerGoneMidTransferLeavesNothing) {
    server_.misbehave(std::string(kSau) + "31/install/patch/p31/patch_all_win_pl_sgn.z", "stall");
    RunResult result;
    std::thread cycle([&] { result = install(); });
    bool partial = false;
    for (int i = 0; i < 1000 && !partial; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(driveC("Windows/Temp"), error)) {
            partial = partial || (entry.path().filename() == "kpi.tmp" && entry.file_size() > 0);
        }
    }
    server_.stop();
    cycle.join();
    EXPECT_TRUE(partial);
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(serviceLog().find("[error] 1209 12030"), std::string::npos) << serviceLog();
    EXPECT_FALSE(fs::exists(installerFile()));
    EXPECT_TRUE(temporaryFolderEmpty());
}

// A `#!` script is started as an installer too, its arguments split from
// the command line.
TEST_F(PackageInstallTest, ScriptInstallerGetsTheCommandLineSplit) {
    std::ofstream(root_ + "/script.sh") << "#!/bin/sh\nfor a; do echo \"$a\"; done > args.tmp\n"
                                        << "mv args.tmp installer-record.txt\n";
    publish(root_ + "/script.sh", root_ + "/script.sh");
    const RunResult result = install();
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(record(), "-install\n-iv\n11\n");
}

TEST_F(PackageInstallTest, ProgramPlantedBesideTheServiceNeverRuns) {
    // The program in a folder of its own, a same-named installer beside it.
    fs::create_directories(driveC("Korin"));
    fs::copy_file(std::string(KORIN_BIN_DIR) + "/korin-update-check",
                  driveC("Korin/korin-update-check"));
    std::ofstream(driveC("Korin/KorinPlayerInstaller.exe"))
        << "#!/bin/sh\necho planted > " << root_ << "/planted.txt\n";
    fs::permissions(driveC("Korin/KorinPlayerInstaller.exe"), fs::perms::owner_exec,
                    fs::perm_options::add);
    const RunResult result =
        install(fs::relative(driveC("Korin/korin-update-check"), KORIN_BIN_DIR).string());
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(record().substr(0, 41), "KorinPlayerInstaller.exe -install -iv 11\n");
    EXPECT_EQ(readFile(installerFile()), readFile(root_ + "/patch.exe"));
    EXPECT_FALSE(fs::exists(root_ + "/planted.txt"));
}

}  // namespace
}  // namespace korin::integration
