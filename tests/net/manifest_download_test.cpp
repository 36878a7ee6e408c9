#include "net/manifest_download.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "manifest/manifest_readers.h"
#include "fixtures/builders.h"
#include "net/download_deadline.h"
#include "net/http.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using testing::installPlayer;

using Entries = std::vector<std::wstring>;

constexpr wchar_t kPath[] = L"/pub/korinplayer/update/current/sau/32/xml/version.xml";

using DownloadTest = testing::VerboseFakeTest;

// ---- one request -----------------------------------------------------------------

TEST_F(DownloadTest, OneGetOpensEverythingInOrderAndClosesInReverse) {
    runtimeConfig().serverDomain = L"updates.test";
    fake.http.responses[kPath] = {"<version>", "</version>"};
    std::string body = "kept:";
    EXPECT_TRUE(httpsGetText(platform(), body, kPath));
    EXPECT_EQ(body, "kept:<version></version>");
    EXPECT_EQ(fake.http.events,
              (Entries{L"open Get Korin Player version xml/1.0 0", L"connect updates.test 443",
                       std::wstring(L"request GET ") + kPath + L" 0x800000", L"send", L"receive",
                       L"close request", L"close connection", L"close session"}));
    EXPECT_EQ(fake.logEntries(), (Entries{std::wstring(L"[info] 1630 ") + kPath}));
}

TEST_F(DownloadTest, AFailedStepLogsItsWarningAndEveryLaterOne) {
    struct Case {
        const char* operation;
        Entries log;
        Entries events;
    };
    const std::wstring opening = std::wstring(L"[info] 1630 ") + kPath;
    const std::wstring request = std::wstring(L"request GET ") + kPath + L" 0x800000";
    const std::wstring open = L"open Get Korin Player version xml/1.0 0";
    const std::wstring connect = L"connect update.korinplayer.example 443";
    const Case cases[] = {
        {"open",
         {L"[warning] 1400 12004", opening, L"[warning] 1401 12004", L"[warning] 1402 12004",
          L"[warning] 1403 12004", L"[warning] 1407 12004", L"[warning] 1408"},
         {}},
        {"connect",
         {opening, L"[warning] 1401 12004", L"[warning] 1402 12004", L"[warning] 1403 12004",
          L"[warning] 1407 12004", L"[warning] 1408"},
         {open, L"close session"}},
        {"openRequest",
         {opening, L"[warning] 1402 12004", L"[warning] 1403 12004", L"[warning] 1407 12004",
          L"[warning] 1408"},
         {open, connect, L"close connection", L"close session"}},
        {"sendRequest",
         {opening, L"[warning] 1403 12004", L"[warning] 1407 12004", L"[warning] 1408"},
         {open, connect, request, L"send", L"close request", L"close connection",
          L"close session"}},
        {"receiveResponse",
         {opening, L"[warning] 1407 12004", L"[warning] 1408"},
         {open, connect, request, L"send", L"receive", L"close request", L"close connection",
          L"close session"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.faults.failNext(c.operation, 12004);
        std::string body;
        EXPECT_FALSE(httpsGetText(local.platform(), body, kPath)) << c.operation;
        EXPECT_EQ(body, "") << c.operation;
        EXPECT_EQ(local.logEntries(), c.log) << c.operation;
        EXPECT_EQ(local.http.events, c.events) << c.operation;
    }
}

TEST_F(DownloadTest, UnreachableHostEndsInNoResponse) {
    fake.http.faults.failNext("sendRequest", kErrorWinHttpNameNotResolved);
    std::string body;
    EXPECT_FALSE(httpsGetText(platform(), body, kPath));
    EXPECT_EQ(fake.logEntries(),
              (Entries{std::wstring(L"[info] 1630 ") + kPath, L"[warning] 1403 12007",
                       L"[warning] 1407 12007", L"[warning] 1408"}));
}

TEST_F(DownloadTest, ReadFailuresAreLoggedButTheResponseCounts) {
    struct Case {
        const char* operation;
        int after;
        std::string body;
        Entries log;
    };
    const std::wstring opening = std::wstring(L"[info] 1630 ") + kPath;
    const Case cases[] = {
        // The first chunk read, then the size query fails: a read of 0 bytes follows.
        {"queryDataAvailable", 1, "<a>", {opening, L"[warning] 1404 12030"}},
        // The size of the first chunk known, its read fails; the next query goes on.
        {"readData", 0, "<b/>", {opening, L"[warning] 1406 12030"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.responses[kPath] = {"<a>", "<b/>"};
        local.http.faults.failNext(c.operation, kErrorWinHttpConnectionError, c.after);
        std::string body;
        EXPECT_TRUE(httpsGetText(local.platform(), body, kPath)) << c.operation;
        EXPECT_EQ(body, c.body) << c.operation;
        EXPECT_EQ(local.logEntries(), c.log) << c.operation;
    }
}

TEST_F(DownloadTest, AChunkKeepsOnlyItsBytesBeforeAZero) {
    fake.http.responses[kPath] = {std::string("<ver\0junk", 9), "sion/>", std::string("\0", 1)};
    std::string body;
    EXPECT_TRUE(httpsGetText(platform(), body, kPath));
    EXPECT_EQ(body, "<version/>");
}

TEST_F(DownloadTest, AnEndlessBodyStopsJustPastTheManifestBound) {
    const std::string chunk(8192, 'x');
    fake.http.responses[kPath] =
        std::vector<std::string>(kManifestMaxBytes / chunk.size() + 50, chunk);
    std::string body;
    EXPECT_TRUE(httpsGetText(platform(), body, kPath));
    EXPECT_EQ(body.size(), kManifestMaxBytes + chunk.size());
    EXPECT_EQ(fake.http.faults.calls("queryDataAvailable"),
              static_cast<int>(kManifestMaxBytes / chunk.size() + 1));
    EXPECT_EQ(fake.http.events.back(), L"close session");
}

// Each chunk is kept only up to its first zero byte: the bound counts the
// bytes read, or a server sending such chunks would be read for ever.
TEST_F(DownloadTest, ChunksThatStartWithAZeroByteStillEndAtTheBound) {
    const std::string chunk = std::string(1, '\0') + std::string(8191, 'x');
    fake.http.endless[kPath] = chunk;
    std::string body;
    EXPECT_TRUE(httpsGetText(platform(), body, kPath));
    EXPECT_EQ(body, "");
    EXPECT_EQ(fake.http.faults.calls("queryDataAvailable"),
              static_cast<int>(kManifestMaxBytes / chunk.size() + 1));
    EXPECT_EQ(fake.logEntries(), (Entries{std::wstring(L"[info] 1630 ") + kPath}));
}

// A byte now and then keeps every wait of the client short: the download's
// own limit ends it as a read that timed out, and what came is handed on.
TEST_F(DownloadTest, ATricklingServerIsCutOffAtTheOverallLimit) {
    struct Case {
        const wchar_t* path;
        Entries log;
    };
    const Case cases[] = {
        {kPath, {std::wstring(L"[info] 1630 ") + kPath, L"[warning] 1406 12002"}},
        {kCurrentMajorPath,
         {std::wstring(L"[info] 1631 ") + kCurrentMajorPath, L"[warning] 1472 12002",
          L"[warning] 1458", L"[warning] 1476"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.endless[c.path] = " ";
        // Every look at the clock finds a second gone.
        local.clock.ticks = 0xFFFFF000u;
        local.clock.tickStep = 1000;
        std::string body;
        if (c.path == kPath) {
            EXPECT_TRUE(httpsGetText(local.platform(), body, c.path));
        } else {
            std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
            std::unique_ptr<std::uint32_t> cell;
            EXPECT_FALSE(fetchCurrentMajor(local.platform(), activeX, plugin, pepper, cell));
        }
        EXPECT_EQ(local.logEntries(), c.log);
        // The clock was read at the start and before every read.
        const int reads = static_cast<int>(kManifestDownloadLimitMs / 1000) - 1;
        EXPECT_EQ(local.http.faults.calls("queryDataAvailable"), reads);
        if (c.path == kPath) {
            EXPECT_EQ(body, std::string(static_cast<std::size_t>(reads), ' '));
        }
        EXPECT_EQ(local.http.events.back(), L"close session");
    }
}

// Chunks short enough to live inside their strings, so that the only heap
// blocks of their sizes are the read buffers (chunk + 1) and the body.
TEST_F(DownloadTest, NoMemoryWhileReadingEndsTheReadButKeepsTheResponse) {
    struct Case {
        const char* name;
        std::size_t size;
        int skip;
        std::string body;
    };
    const Case cases[] = {
        {"first buffer", 11, 0, ""},
        {"second buffer", 11, 1, "0123456789"},
        {"body past its own storage", 31, 0, "0123456789"},
        {"third buffer", 3, 0, "0123456789abcdefghij"},
        {"buffer of the closing empty read", 1, 0, "0123456789abcdefghijXY"},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.responses[kPath] = {"0123456789", "abcdefghij", "XY"};
        std::string body;
        {
            testing::AllocationFault fault(c.size, c.skip);
            EXPECT_TRUE(httpsGetText(local.platform(), body, kPath)) << c.name;
            EXPECT_TRUE(fault.happened()) << c.name;
        }
        EXPECT_EQ(body, c.body) << c.name;
        EXPECT_EQ(local.logEntries(),
                  (Entries{std::wstring(L"[info] 1630 ") + kPath, L"[warning] 1405"}))
            << c.name;
        EXPECT_EQ(local.http.events.back(), L"close session") << c.name;
    }
}

// ---- current-major manifest -----------------------------------------------------------

constexpr char kCurrentMajor[] =
    "<version><Player major='32' majorBeta='33' loudVer='32.0.0.465'/></version>";

struct Records {
    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> cell;
    bool fetch(const Platform& platform) {
        return fetchCurrentMajor(platform, activeX, plugin, pepper, cell);
    }
};

TEST_F(DownloadTest, CurrentMajorIsFetchedFromItsFixedPath) {
    fake.http.responses[kCurrentMajorPath] = {kCurrentMajor};
    installPlayer(fake.registry, PlayerType::Pepper, L"31.0.0.7");
    Records records;
    ASSERT_TRUE(records.fetch(platform()));
    EXPECT_EQ(records.activeX->basePath, L"/pub/korinplayer/update/current/sau/32");
    EXPECT_EQ(records.pepper->basePath, L"/pub/korinplayer/update/current/sau/31");
    EXPECT_EQ(*records.cell, 1u);
    EXPECT_EQ(fake.logEntries(),
              (Entries{L"[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml"}));
}

TEST_F(DownloadTest, CurrentMajorFailuresUseTheirOwnCodes) {
    const std::wstring opening =
        L"[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml";
    struct Case {
        const char* operation;
        int after;
        std::vector<std::string> body;
        Entries log;
    };
    const Case cases[] = {
        {"open",
         0,
         {kCurrentMajor},
         {L"[warning] 1467 12029", opening, L"[warning] 1468 12029", L"[warning] 1469 12029",
          L"[warning] 1470 12029", L"[warning] 1474 12029", L"[warning] 1475"}},
        {"connect",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1468 12029", L"[warning] 1469 12029", L"[warning] 1470 12029",
          L"[warning] 1474 12029", L"[warning] 1475"}},
        {"openRequest",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1469 12029", L"[warning] 1470 12029", L"[warning] 1474 12029",
          L"[warning] 1475"}},
        {"sendRequest",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1470 12029", L"[warning] 1474 12029", L"[warning] 1475"}},
        {"receiveResponse",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1474 12029", L"[warning] 1475"}},
        {"queryDataAvailable",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1471 12029", L"[warning] 1458", L"[warning] 1476"}},
        {"readData",
         0,
         {kCurrentMajor},
         {opening, L"[warning] 1472 12029", L"[warning] 1458", L"[warning] 1476"}},
        {"none",
         0,
         {"<version><Player major='32' majorBeta='33' loudVer='32.0.0'/></version>"},
         {opening, L"[warning] 1478", L"[warning] 1476"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.responses[kCurrentMajorPath] = c.body;
        if (std::string(c.operation) != "none") {
            local.http.faults.failNext(c.operation, kErrorWinHttpCannotConnect, c.after);
        }
        Records records;
        EXPECT_FALSE(records.fetch(local.platform())) << c.operation;
        EXPECT_FALSE(records.activeX || records.plugin || records.pepper || records.cell);
        EXPECT_EQ(local.logEntries(), c.log) << c.operation;
    }
}

TEST_F(DownloadTest, NoMemoryWhileReadingCurrentMajorHasItsOwnCode) {
    struct Case {
        const char* name;
        std::size_t size;
        Entries log;
    };
    const std::wstring opening =
        L"[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml";
    const Case cases[] = {
        {"first buffer", 10, {opening, L"[warning] 1473", L"[warning] 1458", L"[warning] 1476"}},
        {"second buffer",
         6,
         {opening, L"[warning] 1473", L"[warning] 1457", L"[warning] unexpected end of data",
          L"[warning] ", L"[warning] 1476"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        local.http.responses[kCurrentMajorPath] = {"<version>", "<Play",
                                                   "er major='32' "
                                                   "majorBeta='33'/></version>"};
        Records records;
        {
            testing::AllocationFault fault(c.size);
            EXPECT_FALSE(records.fetch(local.platform())) << c.name;
            EXPECT_TRUE(fault.happened()) << c.name;
        }
        EXPECT_FALSE(records.activeX || records.plugin || records.pepper || records.cell);
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
}

TEST_F(DownloadTest, ANotFoundPageIsReadAsAManifestAndFails) {
    Records records;
    EXPECT_FALSE(records.fetch(platform()));
    EXPECT_EQ(fake.logEntries(),
              (Entries{L"[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml",
                       L"[warning] 1458", L"[warning] 1476"}));
}

// ---- version and patch manifests ---------------------------------------------------------

constexpr char kDigestAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class FetchManifestsTest : public DownloadTest {
  protected:
    void SetUp() override {
        DownloadTest::SetUp();
        fake.http.responses[kCurrentMajorPath] = {kCurrentMajor};
    }
    // The records, after the current-major manifest was read.
    void fetchRecords() {
        ASSERT_TRUE(fetchCurrentMajor(platform(), activeX, plugin, pepper, cell));
        fake.http.events.clear();
    }
    bool fetch(int mode) {
        return fetchManifests(platform(), activeX.get(), plugin.get(), pepper.get(), cell.get(),
                              mode, digester);
    }
    Entries logAfterCurrentMajor() {
        Entries log = fake.logEntries();
        log.erase(log.begin());
        return log;
    }
    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> cell;
    std::vector<std::wstring> digested;
    FileDigester digester = [this](const std::wstring& path, char* digest, std::uint32_t&,
                                   std::uint32_t&, bool) {
        digested.push_back(path);
        std::memcpy(digest, kDigestAbc, 65);
        return true;
    };
};

std::string versionManifest(const char* type, const char* version, int frequency) {
    std::string parts[4];
    std::string text = version;
    for (int i = 0; i < 4; ++i) {
        const auto dot = text.find('.');
        parts[i] = text.substr(0, dot);
        text = dot == std::string::npos ? "" : text.substr(dot + 1);
    }
    return std::string("<version><") + type + " major='" + parts[0] + "' minor='" + parts[1] +
           "' buildMajor='" + parts[2] + "' buildMinor='" + parts[3] +
           "'/><SAUConfig checkFrequency='" + std::to_string(frequency) + "'/></version>";
}

TEST_F(FetchManifestsTest, NoInstalledPlayerFetchesNothing) {
    fetchRecords();
    EXPECT_TRUE(fetch(kFetchVersionManifests));
    EXPECT_TRUE(fake.http.events.empty());
    EXPECT_EQ(*cell, 1u);
}

TEST_F(FetchManifestsTest, ASharedManifestIsDownloadedOnceForBothTypes) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"31.0.0.1");
    installPlayer(fake.registry, PlayerType::Plugin, L"31.0.0.2");
    fetchRecords();
    const std::wstring path = L"/pub/korinplayer/update/current/sau/31/xml/version.xml";
    ASSERT_EQ(activeX->versionXmlPath, path);
    ASSERT_EQ(plugin->versionXmlPath, path);
    fake.http.responses[path] = {
        "<version><ActiveX major='32' minor='0' buildMajor='0' "
        "buildMinor='465'/><Plugin major='32' minor='0' buildMajor='0' "
        "buildMinor='466'/><SAUConfig checkFrequency='3'/></version>"};
    EXPECT_TRUE(fetch(kFetchVersionManifests));
    EXPECT_EQ(fake.http.requestsFor(path), 1);
    EXPECT_EQ(activeX->offeredVersion.buildMinor, 465u);
    EXPECT_EQ(plugin->offeredVersion.buildMinor, 466u);
    EXPECT_EQ(pepper->offeredVersion.major, 0u);
    EXPECT_EQ(*cell, 3u);
    EXPECT_EQ(logAfterCurrentMajor(), (Entries{L"[info] 1630 " + path}));
}

TEST_F(FetchManifestsTest, AFailedSharedDownloadIsTriedAgainForTheNextType) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"31.0.0.1");
    installPlayer(fake.registry, PlayerType::Plugin, L"31.0.0.2");
    fetchRecords();
    const std::wstring path = L"/pub/korinplayer/update/current/sau/31/xml/version.xml";
    fake.http.responses[path] = {versionManifest("Plugin", "32.0.0.465", 4)};
    fake.http.faults.failNext("sendRequest", kErrorWinHttpTimeout);
    EXPECT_TRUE(fetch(kFetchVersionManifests));
    EXPECT_EQ(fake.http.requestsFor(path), 2);
    EXPECT_EQ(activeX->offeredVersion.major, 0u);
    EXPECT_EQ(plugin->offeredVersion.buildMinor, 465u);
    EXPECT_EQ(*cell, 4u);
    EXPECT_EQ(logAfterCurrentMajor(),
              (Entries{L"[info] 1630 " + path, L"[warning] 1403 12002", L"[warning] 1407 12002",
                       L"[warning] 1408", L"[warning] 1411", L"[info] 1630 " + path}));
}

TEST_F(FetchManifestsTest, TheLastVersionManifestReadSetsTheFrequency) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"30.0.0.1");
    installPlayer(fake.registry, PlayerType::Pepper, L"31.0.0.2");
    fetchRecords();
    fake.http.responses[activeX->versionXmlPath] = {versionManifest("ActiveX", "32.0.0.1", 9)};
    fake.http.responses[pepper->versionXmlPath] = {versionManifest("Pepper", "32.0.0.2", 2)};
    EXPECT_TRUE(fetch(kFetchVersionManifests));
    EXPECT_EQ(*cell, 2u);
    EXPECT_EQ(activeX->offeredVersion.buildMinor, 1u);
    EXPECT_EQ(pepper->offeredVersion.buildMinor, 2u);
    // The uninstalled Plugin shares the ActiveX folder but is not fetched.
    EXPECT_EQ(plugin->versionXmlPath, activeX->versionXmlPath);
    EXPECT_EQ(fake.http.requestsFor(activeX->versionXmlPath), 1);
    EXPECT_EQ(fake.http.requestsFor(pepper->versionXmlPath), 1);
}

TEST_F(FetchManifestsTest, PatchManifestsOnlyForTypesThatNeedAnUpdate) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"31.0.0.1", L"C:\\ax.ocx");
    installPlayer(fake.registry, PlayerType::Plugin, L"32.0.0.465", L"C:\\pl.dll");
    installPlayer(fake.registry, PlayerType::Pepper, L"31.0.0.1", L"C:\\pep.dll");
    fetchRecords();
    const std::wstring path31 = L"/pub/korinplayer/update/current/sau/31/xml/patch.xml";
    for (PlayerUpdateInfo* record : {activeX.get(), plugin.get(), pepper.get()}) {
        record->offeredVersion = PlayerVersion{32, 0, 0, 465, L""};
    }
    fake.http.responses[path31] = {
        std::string("<patch><ActiveX hash32='0' hash64='0' path='ax1'/>") + "<Pepper hash32='" +
        kDigestAbc + "' hash64='" + kDigestAbc + "' path='pep1'/></patch>"};
    EXPECT_TRUE(fetch(kFetchPatchManifests));
    EXPECT_EQ(fake.http.requestsFor(path31), 1);
    EXPECT_EQ(fake.http.requestsFor(plugin->patchXmlPath), 0);
    EXPECT_FALSE(activeX->patchMatchesInstalled);
    EXPECT_TRUE(pepper->patchMatchesInstalled);
    EXPECT_EQ(pepper->patchPackagePath,
              L"/pub/korinplayer/update/current/sau/31/install/patch/pep1/patch_all_win_pep_sgn.z");
    EXPECT_EQ(digested, (std::vector<std::wstring>{L"C:\\ax.ocx", L"C:\\pep.dll"}));
    EXPECT_EQ(logAfterCurrentMajor(),
              (Entries{L"[info] 1632", L"[info] 1630 " + path31, L"[info] 1632"}));
}

// A patch manifest names the same installed file in every entry: it is
// digested once per pass, and every entry is logged as before.
TEST_F(FetchManifestsTest, AnInstalledFileIsDigestedOncePerPass) {
    struct Case {
        const char* name;
        bool digestFails;
        bool wow64;
        std::vector<std::wstring> digested;
    };
    const Case cases[] = {
        {"digest differs", false, false, {L"C:\\pep.dll"}},
        {"digest fails", true, false, {L"C:\\pep.dll"}},
        // Both files of a 64-bit machine are digested, each once.
        {"32-bit digest matches, 64-bit differs", false, true, {L"C:\\pep.dll", L"C:\\pep.dll"}},
    };
    constexpr int kEntries = 40;
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        runtimeConfig().isWow64 = c.wow64;
        local.http.responses[kCurrentMajorPath] = {kCurrentMajor};
        installPlayer(local.registry, PlayerType::Pepper, L"31.0.0.1", L"C:\\pep.dll");
        ASSERT_TRUE(fetchCurrentMajor(local.platform(), activeX, plugin, pepper, cell));
        pepper->offeredVersion = PlayerVersion{32, 0, 0, 465, L""};
        std::string manifest;
        for (int i = 0; i < kEntries; ++i) {
            manifest += std::string("<patch><Pepper hash32='") + (c.wow64 ? kDigestAbc : "0") +
                        "' hash64='0' path='p" + std::to_string(i) + "'/></patch>";
        }
        local.http.responses[pepper->patchXmlPath] = {manifest};
        std::vector<std::pair<std::wstring, bool>> calls;
        const FileDigester counting = [&](const std::wstring& path, char* digest,
                                          std::uint32_t& errorCode, std::uint32_t& systemError,
                                          bool disableRedirection) {
            calls.emplace_back(path, disableRedirection);
            if (c.digestFails) {
                errorCode = 1106;
                systemError = 5;
                return false;
            }
            std::memcpy(digest, kDigestAbc, 65);
            return true;
        };
        EXPECT_TRUE(fetchManifests(local.platform(), activeX.get(), plugin.get(), pepper.get(),
                                   cell.get(), kFetchPatchManifests, counting))
            << c.name;
        runtimeConfig().isWow64 = false;
        ASSERT_EQ(calls.size(), c.digested.size()) << c.name;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].first, c.digested[i]) << c.name;
            EXPECT_EQ(calls[i].second, i == 1) << c.name;
        }
        EXPECT_FALSE(pepper->patchMatchesInstalled) << c.name;
        EXPECT_EQ(pepper->patchPackagePath,
                  L"/pub/korinplayer/update/current/sau/31/install/patch/p39/"
                  L"patch_all_win_pep_sgn.z")
            << c.name;
        Entries expected = {L"[info] 1631 /pub/korinplayer/update/current/sau/currentmajor.xml",
                            L"[info] 1632", L"[info] 1630 " + pepper->patchXmlPath};
        if (c.digestFails) {
            expected.insert(expected.end(), kEntries, L"[warning] 1106 5");
        }
        EXPECT_EQ(local.logEntries(), expected) << c.name;
    }
}

}  // namespace
}  // namespace korin
