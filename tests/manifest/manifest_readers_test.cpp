#include "manifest/manifest_readers.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "ground/bounded_xml.h"
#include "manifest/nested_elements.h"
#include "fixtures/builders.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using testing::installPlayer;
using testing::nested;
using testing::setRelease;

using Entries = std::vector<std::wstring>;

using ReaderTest = testing::VerboseFakeTest;

// ---- dotted versions and text --------------------------------------------------

TEST(ParseDottedVersion, NeedsThreeDotsAndKeepsTheWholeText) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t numbers[4];
    };
    const Case cases[] = {
        {"32.0.0.465", true, {32, 0, 0, 465}},
        {"32.0.0.465.7", true, {32, 0, 0, 465}},
        {"32.0.0.", true, {32, 0, 0, 0}},
        {"...", true, {0, 0, 0, 0}},
        {" 32.+1.-1.x9", true, {32, 1, 0xFFFFFFFFu, 0}},
        {"99999999999.0.0.1", true, {2147483647u, 0, 0, 1}},
        {"32.0.0", false, {}},
        {"32", false, {}},
        {"", false, {}},
        {"1234567890123456789012345.0.0.0", true, {2147483647u, 0, 0, 0}},
        {"12345678901234567890123456.0.0.0", false, {}},
    };
    for (const Case& c : cases) {
        PlayerVersion version{7, 7, 7, 7, L"kept"};
        ASSERT_EQ(parseDottedVersion(c.text, version), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(version.major, c.numbers[0]) << c.text;
            EXPECT_EQ(version.minor, c.numbers[1]) << c.text;
            EXPECT_EQ(version.buildMajor, c.numbers[2]) << c.text;
            EXPECT_EQ(version.buildMinor, c.numbers[3]) << c.text;
            const std::string narrow = c.text;
            EXPECT_EQ(version.text, std::wstring(narrow.begin(), narrow.end()));
        } else {
            EXPECT_EQ(version.text, L"kept") << "a refused text leaves the version alone";
        }
    }
    PlayerVersion version;
    EXPECT_FALSE(parseDottedVersion(nullptr, version));
}

TEST(ParseDottedVersion, LengthLimitCountsUtf16Units) {
    // "1.2.3." and 25 units of U+00E9 (two UTF-8 bytes, one unit each) is 31 units.
    std::string text = "1.2.3.";
    for (int i = 0; i < 25; ++i) {
        text += "\xC3\xA9";
    }
    PlayerVersion version;
    ASSERT_TRUE(parseDottedVersion(text.c_str(), version));
    EXPECT_EQ(version.text, L"1.2.3." + std::wstring(25, L'\u00E9'));
    // One character outside the basic plane takes two units.
    text.resize(text.size() - 2);
    text += "\xF0\x9F\x98\x80";
    EXPECT_FALSE(parseDottedVersion(text.c_str(), version));
}

TEST(Utf8ToWide, ConvertsAndReplacesIllFormedBytes) {
    std::wstring wide = L"old";
    EXPECT_TRUE(utf8ToWide("p\xC3\xA4tch", wide));
    EXPECT_EQ(wide, L"p\u00E4tch");
    EXPECT_TRUE(
        utf8ToWide("a\xFF"
                   "b",
                   wide));
    EXPECT_EQ(wide, L"a\uFFFDb");
    EXPECT_TRUE(utf8ToWide("", wide));
    EXPECT_EQ(wide, L"");
    wide = L"old";
    EXPECT_FALSE(utf8ToWide(nullptr, wide));
    EXPECT_EQ(wide, L"");
}

// ---- current-major manifest ----------------------------------------------------------

struct Records {
    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> cell;
    bool parse(const Platform& platform, const char* text) {
        return parseCurrentMajor(platform, text, activeX, plugin, pepper, cell);
    }
};

constexpr char kCurrentMajor[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<!-- offered versions -->\n"
    "<version>\n"
    "  <Player major=\"32\" majorBeta=\"33\" loudVer=\"32.0.0.465\" loudVerBeta=\"33.0.0.12\"/>\n"
    "</version>\n";

TEST_F(ReaderTest, CurrentMajorCreatesTheThreeRecordsInOrder) {
    installPlayer(fake.registry, PlayerType::ActiveX, L"30.0.0.100");
    installPlayer(fake.registry, PlayerType::Plugin, L"32.0.0.465");
    installPlayer(fake.registry, PlayerType::Pepper, L"32.0.0.1");
    setRelease(fake.registry, PlayerType::Pepper, 0);
    Records records;
    ASSERT_TRUE(records.parse(platform(), kCurrentMajor));
    ASSERT_TRUE(records.activeX && records.plugin && records.pepper && records.cell);
    EXPECT_EQ(*records.cell, 1u);
    const PlayerUpdateInfo* all[] = {records.activeX.get(), records.plugin.get(),
                                     records.pepper.get()};
    const PlayerType types[] = {PlayerType::ActiveX, PlayerType::Plugin, PlayerType::Pepper};
    const wchar_t* bases[] = {L"/pub/korinplayer/update/current/sau/32",
                              L"/pub/korinplayer/update/current/sau/32.0.0.465",
                              L"/pub/korinplayer/update/current/sau/32/beta"};
    for (int i = 0; i < 3; ++i) {
        const PlayerUpdateInfo& r = *all[i];
        EXPECT_EQ(r.type, types[i]);
        EXPECT_EQ(r.major, 32);
        EXPECT_EQ(r.majorBeta, 33);
        EXPECT_EQ(r.loudVer.buildMinor, 465u);
        EXPECT_EQ(r.loudVer.text, L"32.0.0.465");
        EXPECT_EQ(r.loudVerBeta.major, 33u);
        EXPECT_EQ(r.loudVerBeta.text, L"33.0.0.12");
        EXPECT_TRUE(r.offeredVersion.text.empty() && r.offeredVersion.major == 0);
        EXPECT_EQ(r.minVer.major, 0u);
        EXPECT_TRUE(r.hash32.empty() && r.hash64.empty() && r.patchPackagePath.empty());
        EXPECT_FALSE(r.patchMatchesInstalled);
        EXPECT_EQ(r.basePath, bases[i]);
        EXPECT_EQ(r.versionXmlPath, std::wstring(bases[i]) + L"/xml/version.xml");
    }
    EXPECT_TRUE(fake.logEntries().empty());
}

TEST_F(ReaderTest, CurrentMajorWithoutNewestVersionsHasZeroOnes) {
    Records records;
    ASSERT_TRUE(
        records.parse(platform(), "<version><Player majorBeta='33' major=' 32'/></version>"));
    EXPECT_EQ(records.plugin->major, 32);
    EXPECT_EQ(records.plugin->loudVer.major, 0u);
    EXPECT_EQ(records.plugin->loudVer.text, L"");
    EXPECT_EQ(records.pepper->loudVerBeta.major, 0u);
}

TEST_F(ReaderTest, CurrentMajorFailuresLogTheirCodeAndLeaveTheOutputsAlone) {
    struct Case {
        const char* name;
        std::string text;
        Entries log;
    };
    const Case cases[] = {
        {"empty text", "", {L"[warning] 1458"}},
        {"no version",
         "<versions><Player major='1' majorBeta='1'/></versions>",
         {L"[warning] 1458"}},
        {"no Player", "<version><player major='1' majorBeta='1'/></version>", {L"[warning] 1464"}},
        {"no major", "<version><Player Major='1' majorBeta='1'/></version>", {L"[warning] 1463"}},
        {"no majorBeta", "<version><Player major='1'/></version>", {L"[warning] 1463"}},
        {"loudVer with two dots",
         "<version><Player major='32' majorBeta='33' loudVer='32.0.0'/></version>",
         {L"[warning] 1478"}},
        {"loudVerBeta with two dots",
         "<version><Player major='32' majorBeta='33' loudVerBeta='33.0.0'/></version>",
         {L"[warning] 1479"}},
        {"syntax error",
         "<version><Player major='32' majorBeta=33/></version>",
         {L"[warning] 1457", L"[warning] expected ' or \"", L"[warning] 33/></version>"}},
        {"unclosed",
         "<version><Player major='32' majorBeta='33'/>",
         {L"[warning] 1457", L"[warning] unexpected end of data", L"[warning] "}},
        {"error page", "<html><body>404 Not Found</body></html>", {L"[warning] 1458"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        Records records;
        records.cell = std::make_unique<std::uint32_t>(9);
        auto* cell = records.cell.get();
        EXPECT_FALSE(records.parse(local.platform(), c.text.c_str())) << c.name;
        EXPECT_FALSE(records.activeX || records.plugin || records.pepper) << c.name;
        EXPECT_EQ(records.cell.get(), cell) << c.name;
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
    Records records;
    EXPECT_FALSE(records.parse(platform(), nullptr));
    EXPECT_TRUE(fake.logEntries().empty());
}

// ---- version manifest -------------------------------------------------------------

PlayerUpdateInfo recordOf(PlayerType type) {
    PlayerUpdateInfo record;
    record.type = type;
    record.basePath = L"/pub/korinplayer/update/current/sau/32";
    return record;
}

TEST_F(ReaderTest, VersionManifestStoresOfferedMinimumAndFrequency) {
    const char* text =
        "<?xml version='1.0'?><version>"
        "<ActiveX major='32' minor='0' buildMajor='0' buildMinor='465' minVer='31.0.0.1'/>"
        "<Plugin major='32' minor='1' buildMajor='2' buildMinor='3'/>"
        "<SAUConfig checkFrequency='7'/></version>";
    PlayerUpdateInfo activeX = recordOf(PlayerType::ActiveX);
    PlayerUpdateInfo plugin = recordOf(PlayerType::Plugin);
    plugin.minVer = PlayerVersion{1, 1, 1, 1, L"1.1.1.1"};
    std::uint32_t cell = 1;
    ASSERT_TRUE(parseVersionManifest(platform(), text, &activeX, &cell));
    EXPECT_EQ(cell, 7u);
    EXPECT_EQ(activeX.offeredVersion.major, 32u);
    EXPECT_EQ(activeX.offeredVersion.buildMinor, 465u);
    EXPECT_EQ(activeX.offeredVersion.text, L"");
    EXPECT_EQ(activeX.minVer.major, 31u);
    EXPECT_EQ(activeX.minVer.text, L"31.0.0.1");
    ASSERT_TRUE(parseVersionManifest(platform(), text, &plugin, &cell));
    EXPECT_EQ(plugin.offeredVersion.minor, 1u);
    EXPECT_EQ(plugin.offeredVersion.buildMajor, 2u);
    EXPECT_TRUE(plugin.minVer.major == 0 && plugin.minVer.text.empty());
    EXPECT_TRUE(fake.logEntries().empty());
}

TEST_F(ReaderTest, VersionManifestNumbersFollowTheUnsignedRule) {
    PlayerUpdateInfo record = recordOf(PlayerType::Pepper);
    std::uint32_t cell = 1;
    ASSERT_TRUE(parseVersionManifest(
        platform(),
        "<version><SAUConfig checkFrequency='abc'/>"
        "<Pepper major='-1' minor='99999999999' buildMajor=' +4' buildMinor='5x'/></version>",
        &record, &cell));
    EXPECT_EQ(cell, 0u);
    EXPECT_EQ(record.offeredVersion.major, 0xFFFFFFFFu);
    EXPECT_EQ(record.offeredVersion.minor, 0xFFFFFFFFu);
    EXPECT_EQ(record.offeredVersion.buildMajor, 4u);
    EXPECT_EQ(record.offeredVersion.buildMinor, 5u);
}

TEST_F(ReaderTest, VersionManifestFailuresStoreNothing) {
    const std::string player = "<Plugin major='32' minor='0' buildMajor='0' buildMinor='465'/>";
    const std::string config = "<SAUConfig checkFrequency='3'/>";
    struct Case {
        const char* name;
        std::string text;
        Entries log;
    };
    const Case cases[] = {
        {"empty text", "", {L"[warning] 1411"}},
        {"no version", "<Version>" + player + config + "</Version>", {L"[warning] 1411"}},
        {"no element of the type",
         "<version><Pepper/>" + config + "</version>",
         {L"[warning] 1437"}},
        {"capital M",
         "<version><Plugin Major='32' minor='0' buildMajor='0' buildMinor='1'/>" + config +
             "</version>",
         {L"[warning] 1434"}},
        {"no buildMinor",
         "<version><Plugin major='32' minor='0' buildMajor='0'/>" + config + "</version>",
         {L"[warning] 1434"}},
        {"no SAUConfig", "<version>" + player + "</version>", {L"[warning] 1439"}},
        {"no checkFrequency",
         "<version>" + player + "<SAUConfig frequency='3'/></version>",
         {L"[warning] 1436"}},
        {"minVer with two dots",
         "<version><Plugin major='32' minor='0' buildMajor='0' buildMinor='1' minVer='31.0.0'/>" +
             config + "</version>",
         {L"[warning] 1452"}},
        {"syntax error",
         "<version>" + player + config + "</version",
         {L"[warning] 1431", L"[warning] expected >", L"[warning] "}},
        {"bad entity",
         "<version a='&bogus;'><x>&#xZZ;</x></version>",
         {L"[warning] 1431", L"[warning] expected ;", L"[warning] ZZ;</x></version>"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
        record.offeredVersion = PlayerVersion{1, 2, 3, 4, L""};
        record.minVer = PlayerVersion{1, 0, 0, 0, L"1.0.0.0"};
        std::uint32_t cell = 5;
        EXPECT_FALSE(parseVersionManifest(local.platform(), c.text.c_str(), &record, &cell))
            << c.name;
        EXPECT_EQ(cell, 5u) << c.name;
        EXPECT_EQ(record.offeredVersion.major, 1u) << c.name;
        EXPECT_EQ(record.offeredVersion.buildMinor, 4u) << c.name;
        EXPECT_EQ(record.minVer.text, L"1.0.0.0") << c.name;
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    std::uint32_t cell = 5;
    EXPECT_FALSE(parseVersionManifest(platform(), nullptr, &record, &cell));
    EXPECT_FALSE(parseVersionManifest(platform(), "<version/>", nullptr, &cell));
    EXPECT_FALSE(parseVersionManifest(platform(), "<version/>", &record, nullptr));
    EXPECT_TRUE(fake.logEntries().empty());
}

// ---- patch manifest ------------------------------------------------------------------

constexpr char kDigestAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kDigestLong[] = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
constexpr char kDigestEmpty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr wchar_t kPlayerFile[] = L"C:\\Windows\\SysWOW64\\Korin\\korin_pl.dll";

// The installed Plugin's file digests to "abc" in both views.
class PatchTest : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        installPlayer(fake.registry, PlayerType::Plugin, L"32.0.0.1", kPlayerFile);
        digester = [this](const std::wstring& path, char* digest, std::uint32_t&, std::uint32_t&,
                          bool) {
            ++digests;
            EXPECT_EQ(path, kPlayerFile);
            std::memcpy(digest, kDigestAbc, 65);
            return true;
        };
    }
    std::string entry(const char* hash32, const char* path, const char* type = "Plugin") {
        return std::string("<patch><") + type + " hash32='" + hash32 + "' hash64='" + kDigestLong +
               "' path='" + path + "'/></patch>";
    }
    int digests = 0;
    FileDigester digester;
};

TEST_F(PatchTest, FirstMatchingEntryWinsAfterSkippingOthers) {
    const std::string text = "<patch><ActiveX hash32='x' hash64='y' path='ax'/></patch>" +
                             entry(kDigestLong, "p1") + entry(kDigestAbc, "p2") +
                             "<other><Plugin/></other>";
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    ASSERT_TRUE(parsePatchManifest(platform(), text.c_str(), &record, digester));
    EXPECT_TRUE(record.patchMatchesInstalled);
    EXPECT_EQ(record.hash32, kDigestAbc);
    EXPECT_EQ(record.hash64, kDigestLong);
    EXPECT_EQ(record.patchPackagePath,
              L"/pub/korinplayer/update/current/sau/32/install/patch/p2/patch_all_win_pl_sgn.z");
    EXPECT_EQ(digests, 2);
    EXPECT_EQ(fake.logEntries(), (Entries{L"[warning] 1447"}));
}

TEST_F(PatchTest, WithoutAMatchTheLastExaminedEntryStays) {
    const std::string text =
        entry(kDigestLong, "p1") + entry(kDigestEmpty, "p\xC3\xA4") + "<patch/>";
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    ASSERT_TRUE(parsePatchManifest(platform(), text.c_str(), &record, digester));
    EXPECT_FALSE(record.patchMatchesInstalled);
    EXPECT_EQ(record.hash32, kDigestEmpty);
    EXPECT_EQ(record.patchPackagePath,
              L"/pub/korinplayer/update/current/sau/32/install/patch/p\u00E4/"
              L"patch_all_win_pl_sgn.z");
    EXPECT_EQ(fake.logEntries(), (Entries{L"[warning] 1447"}));
}

TEST_F(PatchTest, EntriesAfterAMatchAreNotExamined) {
    const std::string text =
        entry(kDigestAbc, "p1") + "<patch><Plugin hash32='x'/></patch><patch/>";
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    ASSERT_TRUE(parsePatchManifest(platform(), text.c_str(), &record, digester));
    EXPECT_TRUE(record.patchMatchesInstalled);
    EXPECT_EQ(record.hash32, kDigestAbc);
    EXPECT_EQ(digests, 1);
    EXPECT_TRUE(fake.logEntries().empty());
}

TEST_F(PatchTest, FailuresLogTheirCode) {
    struct Case {
        const char* name;
        std::string text;
        Entries log;
    };
    const Case cases[] = {
        {"empty text", "", {L"[warning] 1445"}},
        {"no patch element",
         "<patches>" + entry(kDigestAbc, "p1") + "</patches>",
         {L"[warning] 1445"}},
        {"first examined lacks hash64",
         "<patch><Plugin hash32='" + std::string(kDigestAbc) + "' path='p1'/></patch>",
         {L"[warning] 1446"}},
        {"lacks path after a skipped entry",
         "<patch/><patch><Plugin hash32='a' hash64='b'/></patch>",
         {L"[warning] 1447", L"[warning] 1446"}},
        {"syntax error",
         "<patch><Plugin hash32='a' hash64='b' path='c'></patch>",
         {L"[warning] 1444", L"[warning] unexpected end of data", L"[warning] "}},
        {"text before the first element",
         "patch",
         {L"[warning] 1444", L"[warning] expected <", L"[warning] patch"}},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
        record.hash32 = "earlier32";
        record.hash64 = "earlier64";
        record.patchPackagePath = L"earlier";
        EXPECT_FALSE(parsePatchManifest(local.platform(), c.text.c_str(), &record, digester))
            << c.name;
        EXPECT_EQ(record.hash32, "earlier32") << c.name;
        EXPECT_EQ(record.hash64, "earlier64") << c.name;
        EXPECT_EQ(record.patchPackagePath, L"earlier") << c.name;
        EXPECT_FALSE(record.patchMatchesInstalled) << c.name;
        EXPECT_EQ(local.logEntries(), c.log) << c.name;
    }
    EXPECT_EQ(digests, 0);
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    EXPECT_FALSE(parsePatchManifest(platform(), nullptr, &record, digester));
    EXPECT_FALSE(parsePatchManifest(platform(), "<patch/>", nullptr, digester));
    EXPECT_TRUE(fake.logEntries().empty());
}

// ---- out of memory -------------------------------------------------------------------

// Every reader; the patch fixture has the installed player the patch reader digests.
TEST_F(PatchTest, NoMemoryForTheTextOrTheDocumentLogsTheReadersCode) {
    // Enough elements to outgrow the parser's built-in pool, so that it asks
    // for a block: a header and two alignments' slack before 64 KiB.
    const std::string filler = "<pad>" + [] {
        std::string a;
        for (int i = 0; i < 3000; ++i) {
            a += "<a/>";
        }
        return a;
    }() + "</pad>";
    const std::size_t poolBlock = 3 * sizeof(void*) - 2 + 64 * 1024;
    const std::string currentMajor =
        filler + "<version><Player major='32' majorBeta='33'/></version>";
    const std::string version = filler + "<version><Plugin major='32' minor='0' buildMajor='0' " +
                                "buildMinor='1'/><SAUConfig checkFrequency='3'/></version>";
    const std::string patch = filler + entry(kDigestAbc, "p1");
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    Records records;
    std::uint32_t cell = 5;
    struct Reader {
        const char* name;
        const std::string& text;
        std::function<bool()> read;
        std::wstring log;
    };
    const Reader readers[] = {
        {"current-major", currentMajor,
         [&] { return records.parse(platform(), currentMajor.c_str()); }, L"[warning] 1456"},
        {"version", version,
         [&] { return parseVersionManifest(platform(), version.c_str(), &record, &cell); },
         L"[warning] 1410"},
        {"patch", patch,
         [&] { return parsePatchManifest(platform(), patch.c_str(), &record, digester); },
         L"[warning] 1443"},
    };
    for (const Reader& reader : readers) {
        const std::size_t sizes[] = {reader.text.size() + 1, sizeof(BoundedXmlDocument), poolBlock};
        for (const std::size_t size : sizes) {
            const std::size_t before = fake.logEntries().size();
            {
                testing::AllocationFault fault(size);
                EXPECT_FALSE(reader.read()) << reader.name << " " << size;
                EXPECT_TRUE(fault.happened()) << reader.name << " " << size;
            }
            const Entries log = fake.logEntries();
            EXPECT_EQ(Entries(log.begin() + static_cast<std::ptrdiff_t>(before), log.end()),
                      Entries{reader.log})
                << reader.name << " " << size;
            EXPECT_FALSE(records.activeX || records.plugin || records.pepper || records.cell);
            EXPECT_EQ(cell, 5u);
            EXPECT_EQ(record.offeredVersion.major, 0u);
            EXPECT_TRUE(record.hash32.empty() && record.patchPackagePath.empty());
        }
        // With the memory there, the same text reads.
        EXPECT_TRUE(reader.read()) << reader.name;
        record = recordOf(PlayerType::Plugin);
        cell = 5;
        records = Records{};
    }
}

TEST_F(ReaderTest, NoMemoryForARecordOrTheCellLeavesNoneOfThem) {
    struct Case {
        const char* name;
        std::size_t size;
        int skip;
    };
    const Case cases[] = {
        {"ActiveX record", sizeof(PlayerUpdateInfo), 0},
        {"Plugin record", sizeof(PlayerUpdateInfo), 1},
        {"Pepper record", sizeof(PlayerUpdateInfo), 2},
        {"check-frequency cell", sizeof(std::uint32_t), 0},
    };
    for (const Case& c : cases) {
        FakePlatform local;
        logOptions().verbose = true;
        // Records of an earlier reading, which go too. That reading also grows
        // the fake registry's own lists, so the cell is the next 4-byte block.
        Records records;
        ASSERT_TRUE(records.parse(local.platform(), kCurrentMajor));
        {
            testing::AllocationFault fault(c.size, c.skip);
            EXPECT_FALSE(records.parse(local.platform(), kCurrentMajor)) << c.name;
            EXPECT_TRUE(fault.happened()) << c.name;
        }
        EXPECT_FALSE(records.activeX || records.plugin || records.pepper || records.cell) << c.name;
        EXPECT_EQ(local.logEntries(), Entries{L"[warning] 1430"}) << c.name;
    }
}

// ---- hostile documents ------------------------------------------------------------

TEST_F(ReaderTest, OversizedOrDeeplyNestedDocumentsAreRefusedBeforeParsing) {
    std::string large = "<version><Player major='32' majorBeta='33'/></version>";
    large += std::string(kManifestMaxBytes - large.size(), ' ');
    std::string tooLarge = large + "<tail/>";
    std::string deep = nested(kManifestMaxDepth + 1);
    std::string deepInside = "<version>" + nested(kManifestMaxDepth) + "</version>";

    Records records;
    EXPECT_TRUE(records.parse(platform(), large.c_str())) << "the largest document reads";
    EXPECT_FALSE(records.parse(platform(), tooLarge.c_str()));
    EXPECT_FALSE(records.parse(platform(), deep.c_str()));
    PlayerUpdateInfo record = recordOf(PlayerType::Plugin);
    std::uint32_t cell = 1;
    EXPECT_FALSE(parseVersionManifest(platform(), deepInside.c_str(), &record, &cell));
    EXPECT_FALSE(parsePatchManifest(platform(), tooLarge.c_str(), &record, nullptr));
    const Entries log = fake.logEntries();
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(log[0], L"[warning] 1457");
    EXPECT_EQ(log[1], L"[warning] document too large");
    EXPECT_EQ(log[2], L"[warning] <tail/>");
    EXPECT_EQ(log[3], L"[warning] 1457");
    EXPECT_EQ(log[4], L"[warning] elements nested too deeply");
    EXPECT_EQ(log[5].substr(0, 17), L"[warning] <a></a>");
    EXPECT_EQ(log[6], L"[warning] 1431");
    EXPECT_EQ(log[7], L"[warning] elements nested too deeply");
    EXPECT_EQ(log[8].substr(0, 17), L"[warning] <a></a>");
    EXPECT_EQ(log[9], L"[warning] 1444");
    EXPECT_EQ(log[10], L"[warning] document too large");
    EXPECT_EQ(log[11], L"[warning] <tail/>");
}

// Quotes are name characters to the parser: the scan that once ran ahead of
// it took the rest of this text for one quoted value and let the parser
// recurse 350 000 elements deep.
TEST_F(ReaderTest, NestingHiddenFromAScanReadingTagsItsOwnWayIsRefused) {
    std::string text = "<version\">";
    while (text.size() + 3 <= kManifestMaxBytes) {
        text += "<a>";
    }
    Records records;
    EXPECT_FALSE(records.parse(platform(), text.c_str()));
    const Entries log = fake.logEntries();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], L"[warning] 1457");
    EXPECT_EQ(log[1], L"[warning] elements nested too deeply");
    const std::size_t refusedAt = std::strlen("<version\">") + 3 * (kManifestMaxDepth - 1);
    EXPECT_EQ(log[2], L"[warning] " + std::wstring(text.begin() + refusedAt, text.end()));
}

TEST_F(ReaderTest, ManifestsAsDeepAsTheBoundStillRead) {
    // The version element at depth 1 and its players inside 255 wrappers are
    // not found (they are not children of "version"), but the document parses.
    const std::string text = "<version>" + nested(kManifestMaxDepth - 1) +
                             "<ActiveX major='1' minor='2' buildMajor='3' buildMinor='4'/>"
                             "<SAUConfig checkFrequency='2'/></version>";
    PlayerUpdateInfo record = recordOf(PlayerType::ActiveX);
    std::uint32_t cell = 1;
    ASSERT_TRUE(parseVersionManifest(platform(), text.c_str(), &record, &cell));
    EXPECT_EQ(record.offeredVersion.buildMinor, 4u);
    EXPECT_EQ(cell, 2u);
}

}  // namespace
}  // namespace korin
