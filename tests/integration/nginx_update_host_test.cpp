// nginx as the update host: a tree korin-publish wrote, served as static files
// by a real web server (tools/update_server/nginx_update_host.sh), carries a
// whole service cycle on a stand-in machine, and its caching headers keep
// manifests fresh and patch packages for good.

#include "integration/machine_fixture.h"
#include "net/test_server_posix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace korin::integration {
namespace {

namespace fs = std::filesystem;
using korin::testing::runCommand;

// SHA-256 of "abc".
constexpr char kDigestAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kSau[] = "/pub/korinplayer/update/current/sau/";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool waitFor(const auto& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// nginx in the foreground on a loopback address of its own, port 443, with a
// certificate from a test authority made for the run.
class NginxUpdateHost {
  public:
    ~NginxUpdateHost() { stop(); }

    // False with nginx's own words when it does not come up.
    bool start(const std::string& tree, const std::string& work, std::string& error) {
        work_ = work;
        if (runCommand(std::string(KORIN_SOURCE_DIR) +
                       "/tools/update_server/make_test_certificates.sh '" + work + "/certs'") !=
            0) {
            error = "the test certificates could not be made";
            return false;
        }
        std::mt19937 random(std::random_device{}());
        for (int attempt = 0; attempt < 5; ++attempt) {
            address_ = "127.1." + std::to_string(random() % 250 + 1) + "." +
                       std::to_string(random() % 250 + 1);
            if (launch(tree, error) || error.find("Address already in use") == std::string::npos) {
                return pid_ > 0;
            }
        }
        return false;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);  // nginx's fast shutdown: workers first
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    const std::string& address() const { return address_; }
    std::string authorityFile() const { return work_ + "/certs/ca.pem"; }
    // "METHOD TARGET STATUS" of every request served so far.
    std::vector<std::string> requests() const {
        std::ifstream in(work_ + "/access.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

  private:
    bool launch(const std::string& tree, std::string& error) {
        const std::string script =
            std::string(KORIN_SOURCE_DIR) + "/tools/update_server/nginx_update_host.sh";
        const std::string messages = work_ + "/nginx.err";
        std::vector<std::string> args = {
            script,  work_, tree, work_ + "/certs/server.pem", work_ + "/certs/server.key",
            address_};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, messages.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int spawned =
            posix_spawn(&pid_, script.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            pid_ = -1;
            error = "cannot start " + script;
            return false;
        }
        // The pid file is written once the listening socket is bound.
        bool exited = false;
        waitFor([&] {
            exited = exited || waitpid(pid_, nullptr, WNOHANG) == pid_;
            return exited || fs::exists(work_ + "/nginx.pid");
        });
        if (!exited && fs::exists(work_ + "/nginx.pid")) {
            return true;
        }
        if (exited) {
            pid_ = -1;
        }
        stop();
        error = "nginx did not start on " + address_ + ":443: " + slurp(messages);
        return false;
    }

    std::string work_;
    std::string address_;
    pid_t pid_ = -1;
};

// Plugin 31.0.0.100 installed from "abc" files, 32.0.0.465 offered with a
// patch from 31 for "abc"; the service installed and set to update silently
// from localhost, which the machine resolves to nginx.
class NginxUpdateHostTest : public MachineFixture {
  protected:
    void SetUp() override {
        MachineFixture::SetUp();
        const std::string installer = std::string(KORIN_BIN_DIR) + "/korin-test-installer";
        fs::copy_file(installer, root_ + "/full.exe");
        fs::copy_file(installer, root_ + "/patch.exe");
        std::ofstream(root_ + "/patch.exe", std::ios::binary | std::ios::app) << "patch";
        std::ofstream(root_ + "/offer.txt")
            << "major 32\nmajorBeta 33\nloudVer 32.0.0.465\n"
            << "offer Plugin release 32.0.0.465\npatch Plugin release 31 p31 " << kDigestAbc << " "
            << kDigestAbc << "\n";
        const RunResult published =
            run("korin-publish",
                {root_ + "/offer.txt", root_ + "/tree", "--installer", root_ + "/full.exe",
                 "--patch-installer", root_ + "/patch.exe"},
                root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        std::string error;
        ASSERT_TRUE(host_.start(root_ + "/tree", root_ + "/nginx", error)) << error;
        ASSERT_EQ(machine({"hosts", "add", "localhost", host_.address()}).exitCode, 0);
        ASSERT_EQ(machine({"trust", "add", host_.authorityFile()}).exitCode, 0);

        for (const char* view : {"/reg:32", "/reg:64"}) {
            ASSERT_EQ(
                machine({"reg", "add", "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPlugin", "/v",
                         "PlayerPath", "/d", "C:\\Windows\\System32\\Korin\\pl.dll", "/f", view})
                    .exitCode,
                0);
        }
        ASSERT_EQ(machine({"reg", "add", "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPlugin", "/v",
                           "Version", "/d", "31.0.0.100", "/f", "/reg:32"})
                      .exitCode,
                  0);
        fs::create_directories(driveC("Windows/SysWOW64/Korin"));
        fs::create_directories(driveC("Windows/System32/Korin"));
        fs::create_directories(driveC("Program Files/Korin"));
        fs::create_directories(driveC("Windows/SysWOW64/Tervalon/Korin"));
        std::ofstream(driveC("Windows/SysWOW64/Tervalon/Korin/zvs.cfg"))
            << "SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\n"
               "SilentAutoUpdateServerDomain=localhost\r\n";
        const std::string program = driveC("Program Files/Korin/KorinPlayerUpdateService.exe");
        fs::copy_file(std::string(KORIN_BIN_DIR) + "/korin-update-service", program);
        ASSERT_EQ(run(program, {"-install"}).exitCode, 0);
    }

    std::string log() {
        const std::string bytes =
            readFile(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"));
        std::string text;
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            text += bytes[i];
        }
        return text;
    }

    NginxUpdateHost host_;
};

TEST_F(NginxUpdateHostTest, ServiceCycleAgainstNginxStartsTheVerifiedInstaller) {
    const std::string sau = kSau;
    const struct {
        const char* playerFile;  // "abc" fits the patch
        std::string package;
        const char* logged;
        const char* commandLine;
        const char* installer;
    } cases[] = {
        {"abc", sau + "31/install/patch/p31/patch_all_win_pl_sgn.z", "[info] 1637\r\n",
         "KorinPlayerInstaller.exe -install -iv 11", "/patch.exe"},
        {"abd", sau + "31/install/install_all_win_pl_sgn.z", "[info] 1601\r\n",
         "KorinPlayerInstaller.exe -install -iv 9", "/full.exe"},
    };
    const std::string record = driveC("Windows/System32/installer-record.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        std::ofstream(driveC("Windows/SysWOW64/Korin/pl.dll")) << c.playerFile;
        std::ofstream(driveC("Windows/System32/Korin/pl.dll")) << c.playerFile;
        fs::remove(record);
        fs::remove(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"));
        const std::size_t served = host_.requests().size();

        ASSERT_EQ(machine({"sc", "start", "VemraKorinPlayerUpdateSvc"}).exitCode, 0);
        ASSERT_TRUE(waitFor([&] { return log().find("[info] 1620\r\n") != std::string::npos; }))
            << log();
        ASSERT_TRUE(waitFor([&] { return fs::exists(record); }));
        EXPECT_EQ(readFile(record), std::string(c.commandLine) +
                                        "\nC:\\Windows\\System32\n"
                                        "C:\\Windows\\SysWOW64\\KorinPlayerInstaller.exe\n");
        EXPECT_EQ(readFile(driveC("Windows/SysWOW64/KorinPlayerInstaller.exe")),
                  readFile(root_ + c.installer));
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        EXPECT_NE(log().find("[info] 1602\r\n"), std::string::npos) << log();
        const std::vector<std::string> all = host_.requests();
        EXPECT_EQ(
            std::vector<std::string>(all.begin() + static_cast<long>(served), all.end()),
            (std::vector<std::string>{
                "GET " + sau + "currentmajor.xml 200", "GET " + sau + "31/xml/version.xml 200",
                "GET " + sau + "31/xml/patch.xml 200", "GET " + c.package + " 200"}));
    }
}

TEST_F(NginxUpdateHostTest, ManifestsStayFreshAndPatchPackagesAreKeptForGood) {
    const std::string sau = kSau;
    const struct {
        std::string path;
        const char* cacheControl;
    } cases[] = {
        {sau + "currentmajor.xml", "no-cache"},
        {sau + "32/xml/version.xml", "no-cache"},
        {sau + "31/xml/patch.xml", "no-cache"},
        // Replaced in place by the next release of major 31.
        {sau + "31/install/install_all_win_pl_sgn.z", "no-cache"},
        {sau + "31/install/patch/p31/patch_all_win_pl_sgn.z",
         "public, max-age=31536000, immutable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string headers = root_ + "/headers.txt";
        // A raw HEAD request, as a cache in front of the host would send it.
        ASSERT_EQ(runCommand("printf 'HEAD " + c.path +
                             " HTTP/1.1\\r\\nHost: localhost\\r\\nConnection: close\\r\\n\\r\\n' | "
                             "openssl s_client -quiet -verify_return_error -connect " +
                             host_.address() + ":443 -servername localhost -CAfile '" +
                             host_.authorityFile() + "' > '" + headers + "' 2>/dev/null"),
                  0);
        const std::string text = readFile(headers);
        EXPECT_EQ(text.substr(0, text.find("\r\n")), "HTTP/1.1 200 OK");
        EXPECT_NE(text.find("\r\nCache-Control: " + std::string(c.cacheControl) + "\r\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("\r\nETag: "), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace korin::integration
