// nginx as the update host: a tree korin-publish wrote, served as static files
// by a real web server (tools/update_server/nginx_update_host.sh), carries a
// whole service cycle on a stand-in machine, and its caching headers keep
// manifests fresh and patch packages for good.

#include "integration/machine_fixture.h"
#include "net/test_server_posix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;
using korin::testing::runCommand;

constexpr char kSau[] = "/pub/korinplayer/update/current/sau/";

bool waitFor(const auto& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// Plugin 31.0.0.100 installed from "abc" files, 32.0.0.465 offered with a
// patch from 31 for "abc"; the service installed and set to update silently
// from localhost, which the machine resolves to nginx.
class NginxUpdateHostTest : public MachineFixture {
  protected:
    void SetUp() override {
        MachineFixture::SetUp();
        writePatchOffer();
        const RunResult published =
            run("korin-publish",
                {root_ + "/offer.txt", root_ + "/tree", "--installer", root_ + "/full.exe",
                 "--patch-installer", root_ + "/patch.exe"},
                root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        std::string error;
        ASSERT_TRUE(host_.start(
            root_ + "/tree", root_ + "/nginx", error, "auto",
            std::string(KORIN_SOURCE_DIR) + "/tools/update_server/nginx_update_host.sh"))
            << error;
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

    korin::testing::TestServer host_;
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
        const std::size_t served = host_.requestTargets().size();

        ASSERT_EQ(machine({"sc", "start", "VemraKorinPlayerUpdateSvc"}).exitCode, 0);
        ASSERT_TRUE(waitFor([&] {
            return serviceLog().find("[info] 1620\r\n") != std::string::npos;
        })) << serviceLog();
        ASSERT_TRUE(waitFor([&] { return fs::exists(record); }));
        EXPECT_EQ(readFile(record), std::string(c.commandLine) +
                                        "\nC:\\Windows\\System32\n"
                                        "C:\\Windows\\SysWOW64\\KorinPlayerInstaller.exe\n");
        EXPECT_EQ(readFile(driveC("Windows/SysWOW64/KorinPlayerInstaller.exe")),
                  readFile(root_ + c.installer));
        EXPECT_NE(serviceLog().find(c.logged), std::string::npos) << serviceLog();
        EXPECT_NE(serviceLog().find("[info] 1602\r\n"), std::string::npos) << serviceLog();
        const std::vector<std::string> all = host_.requestTargets();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(served), all.end()),
                  (std::vector<std::string>{sau + "currentmajor.xml", sau + "31/xml/version.xml",
                                            sau + "31/xml/patch.xml", c.package}));
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

// A tree published with a named signer (as a release is, under its own
// authority) is accepted only when the signer's chain, with the certificates
// korin-publish was told to carry, leads to the program's authority.
TEST_F(NginxUpdateHostTest, PackagesOfANamedSignerAreAcceptedOnlyWhenItsChainLeadsToTheAuthority) {
    const std::string tool = std::string(KORIN_SOURCE_DIR) + "/tools/sign-package/sign-package";
    const std::string keys = root_ + "/keys/";
    fs::create_directories(keys);
    ASSERT_EQ(runCommand(tool + " issue --intermediate --subject /CN=Issuing --out-cert " + keys +
                         "issuing.pem --out-key " + keys + "issuing.key && " + tool +
                         " issue --subject /CN=Publisher --ca-cert " + keys +
                         "issuing.pem --ca-key " + keys + "issuing.key --out-cert " + keys +
                         "publisher.pem --out-key " + keys + "publisher.key && " + tool +
                         " issue --self-signed --subject /CN=Other --out-cert " + keys +
                         "other.pem --out-key " + keys + "other.key"),
              0);
    const struct {
        const char* signer;
        const char* certs;  // carried in the package
        bool started;
    } cases[] = {
        {"publisher", "issuing", true},
        {"publisher", nullptr, false},  // the issuing authority missing
        {"other", nullptr, false},
    };
    const std::string record = driveC("Windows/System32/installer-record.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.signer) + (c.certs ? " with its issuer" : ""));
        fs::remove(record);
        fs::remove(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"));
        std::vector<std::string> args = {root_ + "/offer.txt", root_ + "/tree",
                                         "--installer",        root_ + "/full.exe",
                                         "--signer",           keys + c.signer + ".pem",
                                         "--signer-key",       keys + c.signer + ".key"};
        if (c.certs != nullptr) {
            args.insert(args.end(), {"--certs", keys + c.certs + ".pem"});
        }
        const RunResult published = run("korin-publish", args, root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        EXPECT_EQ(published.err.find("development authority"), std::string::npos);

        const RunResult result = run("korin-update-check", {"--server", "localhost", "--install"});
        EXPECT_EQ(result.exitCode, c.started ? 0 : 1) << result.out << serviceLog();
        // The check has returned: an installer it did not start never comes.
        EXPECT_EQ(c.started ? waitFor([&] { return fs::exists(record); }) : fs::exists(record),
                  c.started);
        EXPECT_EQ(serviceLog().find("[error] 1217 ") == std::string::npos, c.started)
            << serviceLog();
    }
}

}  // namespace
}  // namespace korin::integration
