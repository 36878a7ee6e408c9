// The package download against the fakes: what is fetched and logged, every
// failure point with its code, and that nothing of a download stays behind.

#include "net/package_download.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_platform.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakeCryptoLibraries;
using testing::FakePlatform;
using Entries = std::vector<std::wstring>;

constexpr wchar_t kFullPath[] =
    L"/pub/korinplayer/update/current/sau/32/install/install_all_win_ax_sgn.z";
constexpr wchar_t kPatchPath[] =
    L"/pub/korinplayer/update/current/sau/32/install/patch/32.0.0.9/patch_all_win_ax_sgn.z";
constexpr wchar_t kInstaller[] = L"C:\\Windows\\System32\\KorinPlayerInstaller.exe";
constexpr wchar_t kTempFolder[] = L"C:\\Windows\\Temp\\{00000001-0000-0000-0000-000000000000}";
constexpr wchar_t kDownloadFile[] =
    L"C:\\Windows\\Temp\\{00000001-0000-0000-0000-000000000000}\\kpi.tmp";

// Fakes of one download: a trusted signer, a full and a patch package.
struct Download {
    Download() {
        logOptions().verbose = true;
        platform = fake.platform();
        platform.cryptoLibraries = &libraries;
        libraries.trustDirectSigner();
        libraries.content = "MZ the installer";
        fake.http.responses[kFullPath] = {"signed ", "full"};
        fake.http.responses[kPatchPath] = {"signed patch"};
        record.type = PlayerType::ActiveX;
        record.fullPackagePath = kFullPath;
        record.patchPackagePath = kPatchPath;
    }
    bool run(const PackageDownloadLimits& limits = {}) {
        return downloadPackage(platform, &record, limits);
    }
    // Nothing of a download in the temporary folder.
    void expectNothingLeft() const {
        EXPECT_FALSE(fake.files.hasFolder(kTempFolder));
        for (const std::wstring& file : fake.files.filePaths()) {
            EXPECT_EQ(file.find(L"c:\\windows\\temp\\"), std::wstring::npos) << file;
        }
    }

    FakePlatform fake;
    FakeCryptoLibraries libraries;
    Platform platform;
    PlayerUpdateInfo record;
};

TEST(PackageDownload, FetchesTheChosenPackageAndWritesItsSignedContent) {
    const struct {
        PlayerType type;
        bool patch;
        const wchar_t* info;
    } cases[] = {
        {PlayerType::ActiveX, false, L"[info] 1600"}, {PlayerType::Plugin, false, L"[info] 1601"},
        {PlayerType::Pepper, false, L"[info] 1635"},  {PlayerType::ActiveX, true, L"[info] 1636"},
        {PlayerType::Plugin, true, L"[info] 1637"},   {PlayerType::Pepper, true, L"[info] 1638"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        Download d;
        runtimeConfig().serverDomain = L"updates.test";
        d.fake.files.putFile(kInstaller, "an earlier installer, longer than the new one");
        d.record.type = c.type;
        d.record.patchMatchesInstalled = c.patch;
        EXPECT_TRUE(d.run());
        const std::wstring path = c.patch ? kPatchPath : kFullPath;
        EXPECT_EQ(
            d.fake.http.events,
            (Entries{L"open Download Korin Player Installer/1.0 0", L"connect updates.test 443",
                     L"request GET " + path + L" 0x800000", L"send", L"receive", L"close request",
                     L"close connection", L"close session"}));
        EXPECT_EQ(d.libraries.message, c.patch ? "signed patch" : "signed full");
        EXPECT_EQ(d.fake.files.content(kInstaller), "MZ the installer");
        EXPECT_EQ(d.fake.logEntries(), Entries{c.info});
        d.expectNothingLeft();
    }
}

TEST(PackageDownload, NullRecordDoesNothing) {
    Download d;
    EXPECT_FALSE(downloadPackage(d.platform, nullptr));
    EXPECT_TRUE(d.fake.logEntries().empty());
    EXPECT_TRUE(d.fake.http.events.empty());
}

TEST(PackageDownload, FallbackFolderIsNamedAfterAKpiTemporaryFile) {
    Download d;
    d.fake.guids.faults.failNext("createGuid", 0x80004005u);
    std::vector<std::wstring> opened;
    d.fake.files.onOpen = [&](const std::wstring& path) { opened.push_back(path); };
    EXPECT_TRUE(d.run());
    EXPECT_EQ(d.fake.logEntries(), (Entries{L"[info] 1600", L"[warning] 1426"}));
    EXPECT_NE(std::find(opened.begin(), opened.end(), L"C:\\Windows\\Temp\\KPI1.tmp\\kpi.tmp"),
              opened.end());
    d.expectNothingLeft();
}

// One failure at each point: its codes in order, false, no installer, and
// nothing left in the temporary folder.
TEST(PackageDownload, EachFailurePointLogsItsCodeAndLeavesNothingBehind) {
    using Arrange = std::function<void(Download&)>;
    auto http = [](const char* operation, std::uint32_t error) -> Arrange {
        return [=](Download& d) { d.fake.http.faults.failNext(operation, error); };
    };
    auto files = [](const char* operation, std::uint32_t error,
                    const wchar_t* path = L"") -> Arrange {
        return [=](Download& d) {
            d.fake.files.faultPath = path;
            d.fake.files.faults.failNext(operation, error);
        };
    };
    auto tempPathOf = [](std::size_t length) -> Arrange {
        return [=](Download& d) {
            d.fake.files.tempPath = L"C:\\" + std::wstring(length - 4, L'x') + L"\\";
            d.fake.files.addFolder(d.fake.files.tempPath);
        };
    };
    const struct {
        const char* name;
        Arrange arrange;
        Entries log;
    } cases[] = {
        {"session", http("open", 12004), {L"[error] 1214 12004"}},
        {"connection", http("connect", 12007), {L"[error] 1214 12007"}},
        {"request", http("openRequest", 12005), {L"[error] 1214 12005"}},
        {"send", http("sendRequest", 12029), {L"[error] 1214 12029"}},
        {"receive", http("receiveResponse", 12175), {L"[error] 1214 12175"}},
        {"temporary base", files("getTempPath", 5), {L"[error] 1201 5"}},
        {"temporary base cut at 260", tempPathOf(260), {L"[error] 1201 206"}},
        {"fallback name",
         [](Download& d) {
             d.fake.guids.faults.failNext("createGuid", 0x80004005u);
             d.fake.files.faults.failNext("getTempFileName", 5);
         },
         {L"[warning] 1426", L"[error] 1203 5"}},
        {"fallback file kept",
         [](Download& d) {
             d.fake.guids.faults.failNext("guidToText", 0);
             d.fake.files.faults.failNext("deleteFile", 32);
         },
         {L"[warning] 1425", L"[warning] 1426", L"[error] 1205 32"}},
        {"folder", files("createDirectory", 5), {L"[error] 1206 5"}},
        {"folder path cut at 260", tempPathOf(260 - 39), {L"[error] 1206 206"}},
        {"download file path cut at 260", tempPathOf(260 - 39 - 7), {L"[error] 1207 206"}},
        {"download file", files("openFile", 5, kDownloadFile), {L"[error] 1207 5"}},
        {"available", http("queryDataAvailable", 12030), {L"[error] 1209 12030"}},
        {"read", http("readData", 12002), {L"[error] 1211 12002"}},
        {"write", files("write", 112, kDownloadFile), {L"[error] 1212 112"}},
        {"not trusted",
         [](Download& d) { d.libraries.signatureError = 0x80096010u; },
         {L"[error] 1217 -2146869232"}},
        {"not trusted, the temporary copy gone before verification",
         [](Download& d) {
             d.libraries.faults.beforeCall("CryptVerifyMessageSignature",
                                           [&d] { d.expectNothingLeft(); });
             d.libraries.signatureError = 0x80096010u;
         },
         {L"[error] 1217 -2146869232"}},
        {"installer", files("openFile", 32, kInstaller), {L"[error] 1215 32"}},
        {"installer write", files("write", 112, kInstaller), {L"[error] 1216 112"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Download d;
        c.arrange(d);
        EXPECT_FALSE(d.run());
        Entries log{L"[info] 1600"};
        log.insert(log.end(), c.log.begin(), c.log.end());
        EXPECT_EQ(d.fake.logEntries(), log);
        EXPECT_FALSE(d.fake.files.hasFile(kInstaller));
        if (std::string(c.name) != "fallback file kept") {  // its file could not be deleted
            d.expectNothingLeft();
        }
    }
}

// Warnings that do not stop the download, in the order they are logged.
TEST(PackageDownload, FailedClosesAndRemovalsAreWarnings) {
    const struct {
        const char* operation;
        const wchar_t* path;
        std::uint32_t error;
        Entries log;
    } cases[] = {
        {"closeFile", kDownloadFile, 6, {L"[info] 1600", L"[warning] 1413 6"}},
        {"deleteFile", L"", 5, {L"[info] 1600", L"[warning] 1414 5", L"[warning] 1415 145"}},
        {"removeDirectory", L"", 145, {L"[info] 1600", L"[warning] 1415 145"}},
        {"closeFile", kInstaller, 6, {L"[info] 1600", L"[warning] 1417 6"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        Download d;
        d.fake.files.faultPath = c.path;
        d.fake.files.faults.failNext(c.operation, c.error);
        EXPECT_TRUE(d.run());
        EXPECT_EQ(d.fake.logEntries(), c.log);
        EXPECT_EQ(d.fake.files.content(kInstaller), "MZ the installer");
    }
}

TEST(PackageDownload, FailedCleanupAfterAFailedReadIsWarnedInOrder) {
    Download d;
    d.fake.http.faults.failNext("readData", 12030);
    d.fake.files.faults.failNext("deleteFile", 5);
    d.fake.files.faults.failNext("removeDirectory", 145);
    EXPECT_FALSE(d.run());
    EXPECT_EQ(d.fake.logEntries(), (Entries{L"[info] 1600", L"[error] 1211 12030",
                                            L"[warning] 1414 5", L"[warning] 1415 145"}));
}

TEST(PackageDownload, ChunkWithoutMemoryIsLogged) {
    Download d;
    d.fake.http.responses[kFullPath] = {std::string(777, 'p')};
    testing::AllocationFault fault(778, 1);  // the fake's copy of the chunk comes first
    EXPECT_FALSE(d.run());
    EXPECT_TRUE(fault.happened());
    EXPECT_EQ(d.fake.logEntries(), (Entries{L"[info] 1600", L"[error] 1210 8"}));
    d.expectNothingLeft();
}

// An endless body ends as a failed read; every byte read counts, zero bytes
// included.
TEST(PackageDownload, SizeBoundEndsTheTransfer) {
    {
        Download d;
        d.fake.http.responses[kFullPath] = std::vector<std::string>(50, std::string(1000, '\0'));
        EXPECT_FALSE(d.run({.maxBytes = 10'000}));
        EXPECT_EQ(d.fake.logEntries(), (Entries{L"[info] 1600", L"[error] 1211 223"}));
        EXPECT_EQ(d.fake.http.requestsFor(kFullPath), 1);
        d.expectNothingLeft();
    }
    // "signed full" is 11 bytes: a cap of 11 takes it, a cap of 10 does not.
    EXPECT_TRUE(Download().run({.maxBytes = 11}));
    EXPECT_FALSE(Download().run({.maxBytes = 10}));
}

// A slow link completes however long it takes; a stalled or trickling server
// and one past the ceiling end as a failed read with WinHTTP's timeout. Each
// chunk takes msPerChunk on the fake clock.
TEST(PackageDownload, PaceAndCeilingEndTheTransfer) {
    struct Case {
        const char* name;
        std::size_t chunkBytes;
        int chunks;
        std::uint32_t msPerChunk;
        PackageDownloadLimits limits;
        bool completed;
    };
    // clang-format off
    const Case cases[] = {
        {"29 MB at 128 kbit/s, half an hour", 8000, 3625, 500, {}, true},
        {"just above 1 KiB/s for ten minutes", 1030, 600, 1000, {}, true},
        {"just below 1 KiB/s", 1020, 600, 1000, {}, false},
        {"a byte every 20 s", 1, 100, 20'000, {}, false},
        {"steady, past the ceiling", 2000, 100, 1000, {.timeLimitMs = 60'000}, false},
        {"completed as the ceiling passes in the final read", 11, 1, 600, {.timeLimitMs = 1000}, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Download d;
        d.fake.http.endless[kFullPath] = std::string(c.chunkBytes, 'p');
        d.fake.http.endlessLimit = c.chunks;
        d.fake.clock.tickStep = c.msPerChunk;
        EXPECT_EQ(d.run(c.limits), c.completed);
        EXPECT_EQ(d.fake.logEntries(), c.completed
                                           ? Entries{L"[info] 1600"}
                                           : (Entries{L"[info] 1600", L"[error] 1211 12002"}));
        EXPECT_EQ(d.fake.http.requestsFor(kFullPath), 1);
        d.expectNothingLeft();
    }
}

// Each allocation of a download fails in turn (the fakes' own bookkeeping
// aside): nothing is thrown, and the download either completes or fails
// with an error entry, until a run reaches no n-th allocation.
TEST(PackageDownload, RunningOutOfMemoryAtAnyStepIsACleanFailure) {
    int n = 1;
    for (bool reached = true; reached && n < 20'000; ++n) {
        Download d;
        bool downloaded = false;
        const auto run = testing::runWithNthAllocationFailing(n, [&] { downloaded = d.run(); });
        reached = run.reached;
        SCOPED_TRACE(n);
        ASSERT_FALSE(run.thrown);
        const Entries log = d.fake.logEntries();
        if (downloaded) {
            EXPECT_EQ(d.fake.files.content(kInstaller), "MZ the installer");
        } else {
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back().rfind(L"[error] ", 0), 0u) << log.back();
        }
        EXPECT_TRUE(downloaded || reached);
    }
    EXPECT_GT(n, 20);  // the path allocates: the loop went through it
    EXPECT_LT(n, 20'000);
}

TEST(PackageDownload, EmptyBodyReachesVerificationAsNoBytes) {
    Download d;
    d.fake.http.responses[kFullPath] = {};
    d.libraries.signatureError = 0x8009310Bu;
    EXPECT_FALSE(d.run());
    EXPECT_EQ(d.libraries.message, "");
    const Entries log = d.fake.logEntries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].rfind(L"[error] 1217 ", 0), 0u) << log[1];
}

TEST(PackageDownload, UntrustedPackageLeavesAnEarlierInstallerAlone) {
    Download d;
    d.fake.files.putFile(kInstaller, "an earlier installer");
    d.libraries.signatureError = 0x80096010u;
    EXPECT_FALSE(d.run());
    EXPECT_EQ(d.fake.files.content(kInstaller), "an earlier installer");
}

TEST(ReadWholeFile, GivesTheWholeFileOrNothing) {
    const struct {
        const char* name;
        std::string content;
        const char* failing;
        bool ok;
    } cases[] = {
        {"whole", "some bytes", nullptr, true},
        {"empty", "", nullptr, false},
        {"missing", "", "missing", false},
        {"open", "some bytes", "openFile", false},
        {"size", "some bytes", "getFileSize", false},
        {"read", "some bytes", "read", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        const std::wstring path = L"C:\\Windows\\Temp\\kpi.tmp";
        if (c.failing == nullptr || std::string(c.failing) != "missing") {
            fake.files.putFile(path, c.content);
        }
        if (c.failing != nullptr && std::string(c.failing) != "missing") {
            fake.files.faults.failNext(c.failing, 5);
        }
        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint32_t size = 99;
        EXPECT_EQ(readWholeFile(fake.platform(), path, bytes, size), c.ok);
        if (c.ok) {
            ASSERT_TRUE(bytes);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.get()), size), c.content);
        } else {
            EXPECT_FALSE(bytes);
            EXPECT_EQ(size, 0u);
        }
    }
}

// A download killed in an earlier run leaves its folder; the next download
// removes exactly such folders once they are older than its time limit.
TEST(PackageDownload, RemovesFoldersOfKilledDownloadsAndNothingElse) {
    constexpr std::uint64_t kNow = 134116992000000000ull;
    constexpr std::uint64_t kLimit = std::uint64_t{kPackageDownloadLimitMs} * 10'000;
    constexpr wchar_t kOld[] = L"{0A1B2C3D-0000-4000-8000-00000000ABCD}";
    struct Case {
        const char* name;
        const wchar_t* folder;
        std::vector<const wchar_t*> files;
        std::uint64_t age;
        bool held;
        bool removed;
    };
    // clang-format off
    const Case cases[] = {
        {"killed download", kOld, {L"kpi.tmp"}, kLimit + 1, false, true},
        {"lower-case GUID", L"{0a1b2c3d-0000-4000-8000-00000000abcd}", {L"KPI.TMP"}, kLimit + 1, false, true},
        {"within the limit", kOld, {L"kpi.tmp"}, kLimit, false, false},
        {"held open", kOld, {L"kpi.tmp"}, kLimit + 1, true, false},
        {"another file beside it", kOld, {L"kpi.tmp", L"notes.txt"}, kLimit + 1, false, false},
        {"empty folder", kOld, {}, kLimit + 1, false, false},
        {"not a GUID", L"{0A1B2C3D-0000-4000-8000-00000000ABCG}", {L"kpi.tmp"}, kLimit + 1, false, false},
        {"no braces", L"0A1B2C3D-0000-4000-8000-00000000ABCD", {L"kpi.tmp"}, kLimit + 1, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Download d;
        d.fake.clock.fileTime = kNow;
        const std::wstring folder = std::wstring(L"C:\\Windows\\Temp\\") + c.folder;
        d.fake.files.addFolder(folder);
        for (const wchar_t* name : c.files) {
            d.fake.files.putFile(folder + L"\\" + name, "part");
            d.fake.files.setWriteTime(folder + L"\\" + name, kNow - c.age);
        }
        auto holder = c.held
                          ? d.fake.files.openFile(folder + L"\\kpi.tmp", FileOpenMode::ReadExisting)
                          : nullptr;
        EXPECT_TRUE(d.run());
        EXPECT_EQ(d.fake.files.hasFolder(folder), !c.removed);
        EXPECT_EQ(d.fake.files.hasFile(folder + L"\\kpi.tmp"), !c.removed && !c.files.empty());
        EXPECT_EQ(d.fake.logEntries(), (Entries{L"[info] 1600"}));
    }
}

}  // namespace
}  // namespace korin
