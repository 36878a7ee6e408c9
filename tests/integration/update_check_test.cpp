// The manifest passes of the service on a stand-in machine against a
// published tree served over HTTPS (korin-update-check runs them).

#include "integration/machine_fixture.h"
#include "net/test_server_posix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

// SHA-256 of "abd" (kDigestAbc is the fixture's).
constexpr char kDigestAbd[] = "a52d159f262b2c6ddb724a61840befc36eb30c88877a4030b65cbe86298449c9";

constexpr char kPlugin[] = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPlugin";
constexpr char kPepper[] = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPepper";
constexpr char kActiveX[] = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerActiveX";

class UpdateCheckTest : public MachineFixture {
  protected:
    void publish(const std::string& description) {
        std::ofstream(root_ + "/offer.txt") << description;
        const RunResult published =
            run("korin-publish", {root_ + "/offer.txt", root_ + "/tree"}, root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        std::string error;
        ASSERT_TRUE(server_.start(root_ + "/tree", root_, error)) << error;
        ASSERT_EQ(machine({"hosts", "add", "localhost", server_.address()}).exitCode, 0);
        ASSERT_EQ(machine({"trust", "add", server_.authorityFile()}).exitCode, 0);
        fs::create_directories(driveC("Windows/SysWOW64/Tervalon/Korin"));
    }
    void reg(const char* key, const std::string& name, const std::string& data,
             const char* view = "/reg:32", const char* type = "REG_SZ") {
        const RunResult result =
            machine({"reg", "add", key, "/v", name, "/t", type, "/d", data, "/f", view});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    void putFile(const std::string& relative, const std::string& content) {
        fs::create_directories(fs::path(driveC(relative)).parent_path());
        std::ofstream(driveC(relative), std::ios::binary) << content;
    }
    RunResult check() { return run("korin-update-check", {"--server", "localhost"}); }
    // The log's entries without their time stamps.
    std::vector<std::string> logEntries() {
        const std::string bytes =
            readFile(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"));
        std::vector<std::string> entries;
        std::string line;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const char c = bytes[i];
            if (c == '\n') {
                entries.push_back(line.substr(line.find(' ') + 1));
                line.clear();
            } else if (c != '\r') {
                line += c;
            }
        }
        return entries;
    }
    testing::TestServer server_;
};

constexpr char kOffer[] =
    "major 32\nmajorBeta 33\nloudVer 32.0.0.465\nloudVerBeta 33.0.0.12\ncheckFrequency 3\n"
    "offer ActiveX release 32.0.0.465 31.0.0.0\n"
    "offer Plugin release 32.0.0.465\n"
    "offer Pepper release 32.0.0.465\n"
    "offer Pepper beta 33.0.0.12\n";

TEST_F(UpdateCheckTest, ChoosesFoldersAndUpdatesFromThePublishedTree) {
    // Windows 7, so that ActiveX is updated at all.
    ASSERT_EQ(machine({"init", "--windows", "6.1"}).exitCode, 0);
    publish(std::string(kOffer) + "patch Plugin release 31 p31 " + kDigestAbc + " " + kDigestAbc +
            "\n");
    reg(kActiveX, "Version", "30.0.0.100");  // two majors behind, below minVer
    reg(kPlugin, "Version", "31.0.0.100");
    reg(kPlugin, "PlayerPath", "C:\\Windows\\SysWOW64\\Korin\\pl.dll");
    reg(kPlugin, "PlayerPath", "C:\\Windows\\System32\\Korin\\pl.dll", "/reg:64");
    putFile("Windows/SysWOW64/Korin/pl.dll", "abc");
    putFile("Windows/System32/Korin/pl.dll", "abc");
    reg(kPepper, "Version", "32.0.0.1");
    reg("HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPepperReleaseType", "Release", "0", "/reg:32",
        "REG_DWORD");
    const RunResult result = check();
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::string sau = "/pub/korinplayer/update/current/sau/";
    EXPECT_NE(result.out.find("ActiveX:\n  installed        30.0.0.100 (release channel)\n"
                              "  folder           " +
                              sau + "32\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("  folder           " + sau + "31\n"), std::string::npos);
    EXPECT_NE(result.out.find("  folder           " + sau + "32/beta\n"), std::string::npos);
    EXPECT_NE(result.out.find("minVer           31.0.0.0\n  needs update     no"),
              std::string::npos);
    EXPECT_NE(
        result.out.find("Plugin patch:\n  patch manifest   " + sau +
                        "31/xml/patch.xml\n  patch package    " + sau +
                        "31/install/patch/p31/patch_all_win_pl_sgn.z\n  fits installed   yes"),
        std::string::npos)
        << result.out;
    const std::vector<std::string> expected = {
        "[info] 1631 " + sau + "currentmajor.xml",
        "[info] 1630 " + sau + "32/xml/version.xml",
        "[info] 1630 " + sau + "31/xml/version.xml",
        "[info] 1630 " + sau + "32/beta/xml/version.xml",
        "[info] 1633",  // ActiveX, for the report
        "[info] 1632",  // Plugin
        "[info] 1632",  // Pepper 32.0.0.1 < 33.0.0.12
        "[info] 1633",  // the patch pass asks again
        "[info] 1632",
        "[info] 1630 " + sau + "31/xml/patch.xml",
        "[info] 1632",
        "[info] 1630 " + sau + "32/beta/xml/patch.xml",
        "[warning] 1447",
    };
    EXPECT_EQ(logEntries(), expected);
}

TEST_F(UpdateCheckTest, PatchFitsOnlyWhenBothViewsFilesMatchOnA64BitMachine) {
    publish(std::string(kOffer) + "patch Plugin release 31 p31 " + kDigestAbc + " " + kDigestAbd +
            "\n");
    reg(kPlugin, "Version", "31.0.0.100");
    reg(kPlugin, "PlayerPath", "C:\\Windows\\System32\\Korin\\pl.dll");
    reg(kPlugin, "PlayerPath", "C:\\Windows\\System32\\Korin\\pl.dll", "/reg:64");
    // The same path names the 32-bit file (redirected) and the 64-bit one.
    putFile("Windows/SysWOW64/Korin/pl.dll", "abc");
    putFile("Windows/System32/Korin/pl.dll", "abd");
    RunResult result = check();
    EXPECT_NE(result.out.find("fits installed   yes"), std::string::npos) << result.out;
    putFile("Windows/System32/Korin/pl.dll", "abc");
    result = check();
    EXPECT_NE(result.out.find("fits installed   no"), std::string::npos) << result.out;
}

TEST_F(UpdateCheckTest, AServerThatCannotBeReachedEndsTheCheck) {
    publish(kOffer);
    server_.stop();
    reg(kPlugin, "Version", "31.0.0.100");
    const RunResult result = check();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(logEntries(), (std::vector<std::string>{
                                "[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml",
                                "[warning] 1470 12029", "[warning] 1474 12029", "[warning] 1475"}));
}

}  // namespace
}  // namespace korin::integration
