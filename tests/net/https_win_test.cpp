// The manifest downloads through the real WinHTTP against the test update
// server, as "localhost", with the test authority in the machine's Root
// store. tests/windows/https_tests.sh starts the server and runs these.

#include "fakes/fake_platform.h"
#include "net/http_contract.h"
#include "net/http_win.h"
#include "net/manifest_download.h"
#include "net/request_targets.h"
#include "net/package_download.h"
#include "platform/files_win.h"
#include "platform/guid_win.h"
#include "platform/processes_win.h"
#include "platform/real_files.h"
#include "support/log.h"
#include "trust/real_crypto.h"
#include "update/installer_launch.h"
#include "settings/runtime_config.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <iterator>
#include <string>
#include <vector>
#include <thread>

namespace korin {
namespace {

// Another name of the test server, from the hosts file of the run
// (tests/windows/https_tests.sh).
constexpr wchar_t kMirrorHost[] = L"mirror.korinplayer.example";

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

class WinHttps : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_ = fromEnvironment("KORIN_TEST_TREE");
        const std::filesystem::path authority = fromEnvironment("KORIN_TEST_AUTHORITY");
        ASSERT_FALSE(tree_.empty()) << "KORIN_TEST_TREE names the served tree";
        ASSERT_FALSE(authority.empty()) << "KORIN_TEST_AUTHORITY names the test authority (DER)";
        const std::string der = readAll(authority);
        ASSERT_FALSE(der.empty()) << authority;
        HCERTSTORE root =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
        ASSERT_NE(root, nullptr) << GetLastError();
        const BOOL added = CertAddEncodedCertificateToStore(
            root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        CertCloseStore(root, 0);
        ASSERT_TRUE(added) << GetLastError();

        platform_ = fake_.platform();
        platform_.http = &http_;
        runtimeConfig().serverDomain = L"localhost";
        logOptions().verbose = true;
    }

    testing::FakePlatform fake_;
    WinHttp http_;
    Platform platform_;
    std::filesystem::path tree_;
};

TEST_F(WinHttps, ManifestArrivesExactlyAsServed) {
    std::string body;
    ASSERT_TRUE(httpsGetText(platform_, body, kCurrentMajorPath));
    EXPECT_EQ(body, readAll(tree_ / "pub/korinplayer/update/current/sau/currentmajor.xml"));
    EXPECT_FALSE(body.empty());
}

TEST_F(WinHttps, CurrentMajorManifestCreatesTheThreeRecords) {
    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> checkFrequency;
    ASSERT_TRUE(fetchCurrentMajor(platform_, activeX, plugin, pepper, checkFrequency));
    ASSERT_TRUE(activeX && plugin && pepper && checkFrequency);
    EXPECT_EQ(activeX->type, PlayerType::ActiveX);
    EXPECT_EQ(pepper->type, PlayerType::Pepper);
    EXPECT_EQ(*checkFrequency, 1u);
}

std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// What WinHTTP sends for object names from manifest text, against the test
// server's request log: the table the libcurl adapter is held to.
TEST_F(WinHttps, TheServerGetsTheTargetsOfTheSharedTable) {
    const std::filesystem::path log = fromEnvironment("KORIN_TEST_REQUEST_LOG");
    ASSERT_FALSE(log.empty()) << "KORIN_TEST_REQUEST_LOG names the server's request log";
    const std::size_t before = readLines(log).size();
    std::vector<std::string> expected;
    for (const testing::RequestTarget& c : testing::requestTargets()) {
        std::string body;
        EXPECT_TRUE(httpsGetText(platform_, body, c.object)) << c.target;
        expected.push_back(c.target);
    }
    std::vector<std::string> targets = readLines(log);
    ASSERT_GE(targets.size(), before);
    targets.erase(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(targets, expected);
}

// The contract the fake and the stand-in are held to as well; nothing
// listens on 127.0.0.2:443.
TEST_F(WinHttps, HoldsTheHttpContract) {
    testing::holdsTheHttpContract(
        http_,
        testing::httpCases(L"localhost", kCurrentMajorPath,
                           readAll(tree_ / "pub/korinplayer/update/current/sau/currentmajor.xml"),
                           L"/pub/missing.xml", L"korin-contract.invalid", L"127.0.0.2"));
}

// Redirects and bodies cut short, as WinHTTP meets them with its default
// options; the stand-in is held to the same. A TLS handshake that is never
// answered is left out: Wine's WinHTTP waits on it for ever (seen for ten
// minutes), where Windows' receive time-out (30 s) ends it.
TEST_F(WinHttps, HoldsTheServerBehaviourContract) {
    testing::holdsTheHttpContract(
        http_, testing::serverBehaviourCases(tree_, L"localhost", kMirrorHost, 0, true));
}

TEST_F(WinHttps, ServerThatIsNotThereLogsEveryFailedStep) {
    // Nothing listens on 127.0.0.2:443.
    runtimeConfig().serverDomain = L"127.0.0.2";
    std::string body;
    EXPECT_FALSE(httpsGetText(platform_, body, L"/pub/x.xml"));
    EXPECT_EQ(fake_.logEntries(),
              (std::vector<std::wstring>{L"[info] 1630 /pub/x.xml", L"[warning] 1403 12029",
                                         L"[warning] 1407 12029", L"[warning] 1408"}));
}

// The whole road on Windows' own calls: WinHTTP, CryptoAPI, the files, the
// GUID, and CreateProcessW of the test installer the package carries.
TEST_F(WinHttps, PackageIsVerifiedWrittenAndItsInstallerStartedExactly) {
    testing::TemporaryWorkingFolder folder;
    WinFiles files;
    WinGuids guids;
    WinProcesses processes;
    auto libraries = testing::makeRealCryptoLibraries();
    platform_.files = &files;
    platform_.guids = &guids;
    platform_.processes = &processes;
    platform_.cryptoLibraries = libraries.get();
    PlayerUpdateInfo record;
    record.type = PlayerType::Plugin;
    record.fullPackagePath =
        L"/pub/korinplayer/update/current/sau/32/install/install_all_win_pl_sgn.z";
    ASSERT_FALSE(readAll(tree_ / "pub/korinplayer/update/current/sau/32/install/"
                                 "install_all_win_pl_sgn.z")
                     .empty());
    ASSERT_TRUE(launchInstaller(platform_, &record));
    const std::filesystem::path recordFile = folder.path() / "installer-record.txt";
    for (int i = 0; i < 1000 && !std::filesystem::exists(recordFile); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string recorded = readAll(recordFile);
    const std::string installer = (folder.path() / "KorinPlayerInstaller.exe").string();
    EXPECT_EQ(recorded, "KorinPlayerInstaller.exe -install -iv 9\n" + folder.path().string() +
                            "\n" + installer + "\n");
    EXPECT_EQ(readAll(folder.path() / "KorinPlayerInstaller.exe").substr(0, 2), "MZ");
}

}  // namespace
}  // namespace korin
