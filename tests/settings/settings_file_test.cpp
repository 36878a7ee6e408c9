#include "settings/settings_file.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using Entries = std::vector<std::pair<std::string, std::string>>;

constexpr auto& kPath = testing::kSettingsPath;
constexpr auto& kFolder = testing::kSettingsFolder;

std::string utf8Path() {
    return utf8FromWide(kPath);
}

// ---- Where the file lies ---------------------------------------------------

TEST(SettingsFilePath, IsBelowThe32BitSystemFolderElseTheSystemFolder) {
    struct Case {
        const wchar_t* wow64Directory;  // empty: the call fails
        const wchar_t* systemDirectory;
        std::string path;
    };
    const Case cases[] = {
        {L"C:\\Windows\\SysWOW64", L"C:\\Windows\\system32",
         "C:\\Windows\\SysWOW64\\Tervalon\\Korin\\zvs.cfg"},
        {L"", L"C:\\Windows\\system32", "C:\\Windows\\system32\\Tervalon\\Korin\\zvs.cfg"},
        {L"", L"", ""},
        // UTF-8 of the UTF-16 folder name.
        {L"D:\\W\u00efndows\\SysWOW64", L"",
         "D:\\W\xc3\xafndows\\SysWOW64\\Tervalon\\Korin\\zvs.cfg"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.system.wow64Directory = c.wow64Directory;
        fake.system.systemDirectory = c.systemDirectory;
        EXPECT_EQ(settingsFilePath(fake.platform()), c.path);
    }
}

TEST(SettingsFilePath, IsCachedOnceKnownAndAskedAgainWhileEmpty) {
    FakePlatform fake;
    fake.system.wow64Directory.clear();
    fake.system.systemDirectory.clear();
    EXPECT_EQ(settingsFilePath(fake.platform()), "");
    fake.system.systemDirectory = L"C:\\Windows\\system32";
    EXPECT_EQ(settingsFilePath(fake.platform()), "C:\\Windows\\system32\\Tervalon\\Korin\\zvs.cfg");
    fake.system.wow64Directory = L"C:\\Windows\\SysWOW64";
    EXPECT_EQ(settingsFilePath(fake.platform()), "C:\\Windows\\system32\\Tervalon\\Korin\\zvs.cfg");
}

// ---- Reading ---------------------------------------------------------------

struct LoadCase {
    const char* name;
    std::string content;
    bool loaded;
    Entries entries;
};

TEST(SettingsFileLoad, ReadsExactlyTheTextItAccepts) {
    const std::string longValue(5000, 'v');
    const LoadCase cases[] = {
        {"one entry", "a=1\n", true, {{"a", "1"}}},
        {"last line without a line end", "a=1\nb=2", true, {{"a", "1"}, {"b", "2"}}},
        {"three bytes are not read", "a=1", false, {}},
        {"two bytes", "ab", false, {}},
        {"empty file", "", false, {}},
        {"four bytes are", "a=1\n", true, {{"a", "1"}}},
        {"UTF-8 BOM skipped",
         "\xEF\xBB\xBF"
         "a=1\n",
         true,
         {{"a", "1"}}},
        {"UTF-8 BOM and three bytes",
         "\xEF\xBB\xBF"
         "a=1",
         true,
         {{"a", "1"}}},
        {"UTF-8 BOM alone is too short", "\xEF\xBB\xBF", false, {}},
        {"UTF-16LE not read",
         std::string("\xFF\xFE"
                     "a\0=\0"
                     "1\0\n\0",
                     10),
         false,
         {}},
        {"UTF-16BE not read",
         std::string("\xFE\xFF\0a\0=\0"
                     "1\0\n",
                     10),
         false,
         {}},
        {"blanks around key and value",
         "  SilentAutoUpdateEnable  =  yes  \n",
         true,
         {{"SilentAutoUpdateEnable", "yes"}}},
        {"keys are case-sensitive",
         "silentautoupdateenable=1\nSilentAutoUpdateEnable=0\n",
         true,
         {{"silentautoupdateenable", "1"}, {"SilentAutoUpdateEnable", "0"}}},
        {"last occurrence wins and keeps its place",
         "A=0\nB=x\nA=1\n",
         true,
         {{"B", "x"}, {"A", "1"}}},
        {"empty key or no equals sign ignored", "=1\n  =1\nSilentAutoUpdateEnable\n", true, {}},
        {"empty or blank value ignored",
         "SilentAutoUpdateServerDomain=\nSilentAutoUpdateServerDomain=   \n",
         true,
         {}},
        {"a comment is a key",
         "#SilentAutoUpdateEnable=1\n",
         true,
         {{"#SilentAutoUpdateEnable", "1"}}},
        {"value keeps later equals signs",
         "SilentAutoUpdateServerDomain=host=x\n",
         true,
         {{"SilentAutoUpdateServerDomain", "host=x"}}},
        {"CR LF like LF", "a=1\r\nb=2\r\n", true, {{"a", "1"}, {"b", "2"}}},
        {"lone CR loses the next line's first byte",
         "a=1\rbb=2\rcc=3",
         true,
         {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
        {"CR at the end", "a=1\r", true, {{"a", "1"}}},
        {"bytes 0x80 and up are blank at the ends",
         "\xC3\xA9key\xC3\xA9=\x80v \xC3\xA9 l\xFF\n",
         true,
         {{"key", "v \xC3\xA9 l"}}},
        {"controls are blank, DEL is not",
         "\tkey\x01=\x1fvalue\x7f\n",
         true,
         {{"key", "value\x7f"}}},
        {"inner blanks stay", "my key = my value\n", true, {{"my key", "my value"}}},
        {"a NUL byte ends the line's text",
         std::string("a=b\0c\nd=e\n", 10),
         true,
         {{"a", "b"}, {"d", "e"}}},
        {"lines of any length",
         "a=1\nlong=" + longValue + "\nz=2\n",
         true,
         {{"a", "1"}, {"long", longValue}, {"z", "2"}}},
        {"other lines skipped", "\n\n; comment\n[section]\nk=v\n", true, {{"k", "v"}}},
    };
    for (const LoadCase& c : cases) {
        FakePlatform fake;
        fake.files.putFile(kPath, c.content);
        SettingsFile file(fake.platform(), utf8Path());
        EXPECT_EQ(file.entries(), c.entries) << c.name;
        EXPECT_EQ(file.load(), c.loaded) << c.name;
        EXPECT_EQ(file.entries(), c.entries) << c.name << " (loaded again)";
    }
}

TEST(SettingsFileLoad, KeepsTheResultOfRemovingEveryEarlierEntryWithTheKey) {
    // Many duplicates in random order, against the plain rule applied to a list.
    std::mt19937 random(7);
    std::string content;
    Entries expected;
    for (int i = 0; i < 2000; ++i) {
        std::string key = "k";
        key += std::to_string(random() % 50);
        const std::string value = std::to_string(i);
        content.append(key).append("=").append(value).append(i % 3 == 0 ? "\r\n" : "\n");
        std::erase_if(expected, [&key](const auto& entry) { return entry.first == key; });
        expected.emplace_back(key, value);
    }
    FakePlatform fake;
    fake.files.putFile(kPath, content);
    SettingsFile file(fake.platform(), utf8Path());
    EXPECT_EQ(file.entries(), expected);
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(file.get(key), value);
    }
}

TEST(SettingsFileLoad, FailsWithoutAFileOrAPath) {
    FakePlatform fake;
    SettingsFile missing(fake.platform(), utf8Path());
    EXPECT_FALSE(missing.load());
    EXPECT_TRUE(missing.entries().empty());
    EXPECT_EQ(missing.get("a"), "");

    SettingsFile noPath(fake.platform(), "");
    EXPECT_FALSE(noPath.load());
    EXPECT_FALSE(noPath.save());
    // Only the missing file was opened: at construction and on load.
    EXPECT_EQ(fake.files.faults.calls("openFile"), 2);
}

TEST(SettingsFileLoad, StopsAtALineItHasNoMemoryForAndKeepsWhatItReadButNeverRewrites) {
    FakePlatform fake;
    // The line buffer grows 1024, 2048, 4096: the third size is refused.
    const std::string content = "a=1\nb=" + std::string(3000, 'x') + "\nc=3\n";
    fake.files.putFile(kPath, content);
    SettingsFile file(fake.platform(), utf8Path());
    {
        testing::AllocationFault fault(4096);
        EXPECT_FALSE(file.load());
        EXPECT_TRUE(fault.happened());
    }
    EXPECT_EQ(lastError(), kErrorNotEnoughMemory);
    EXPECT_EQ(file.entries(), (Entries{{"a", "1"}}));
    EXPECT_TRUE(file.set("d", "4"));
    EXPECT_FALSE(file.save());
    EXPECT_EQ(lastError(), kErrorNotEnoughMemory);
    EXPECT_EQ(fake.files.content(kPath), content);

    // Memory lacking before the first line (for the line buffer, or for the
    // wide path before the file is even opened): nothing read, nothing
    // rewritten.
    for (const std::size_t size : {std::size_t{1024}, (utf8Path().size() + 1) * sizeof(wchar_t)}) {
        {
            testing::AllocationFault fault(size);
            EXPECT_FALSE(file.load());
            EXPECT_TRUE(fault.happened()) << size;
        }
        EXPECT_TRUE(file.entries().empty());
        EXPECT_FALSE(file.save());
        EXPECT_EQ(fake.files.content(kPath), content);
    }

    // Read whole again, it is a basis for a rewrite.
    EXPECT_TRUE(file.load());
    EXPECT_TRUE(file.set("d", "4"));
    EXPECT_TRUE(file.save());
    EXPECT_EQ(fake.files.content(kPath),
              "a=1\r\nb=" + std::string(3000, 'x') + "\r\nc=3\r\nd=4\r\n");
}

TEST(SettingsFileLoad, AFileReadOnlyInPartIsNeitherUsedNorRewritten) {
    FakePlatform fake;
    const std::string content = "a=1\n" + std::string(40000, '#') + "\nb=2\n";
    fake.files.putFile(kPath, content);
    fake.files.faults.failNext("read", kErrorSharingViolation, 1);
    SettingsFile file(fake.platform(), utf8Path());
    EXPECT_TRUE(file.entries().empty());
    file.set("c", "3");
    EXPECT_FALSE(file.save());
    EXPECT_EQ(fake.files.content(kPath), content);

    // So is a file that exists but cannot be opened.
    fake.files.faults.failNext("openFile", kErrorAccessDenied);
    SettingsFile locked(fake.platform(), utf8Path());
    locked.set("c", "3");
    EXPECT_FALSE(locked.save());
    EXPECT_EQ(fake.files.content(kPath), content);
}

// ---- Reading and changing entries -----------------------------------------

TEST(SettingsFileEntries, SetReplacesInPlaceOrAppends) {
    FakePlatform fake;
    fake.files.putFile(kPath, "A=1\nB=2\n");
    SettingsFile file(fake.platform(), utf8Path());
    EXPECT_TRUE(file.set("A", "9"));
    EXPECT_TRUE(file.set("C", "3"));
    EXPECT_TRUE(file.set("a", "lower"));
    EXPECT_EQ(file.entries(), (Entries{{"A", "9"}, {"B", "2"}, {"C", "3"}, {"a", "lower"}}));
    EXPECT_EQ(file.get("A"), "9");
    EXPECT_EQ(file.get("missing"), "");
}

// ---- Writing ---------------------------------------------------------------

TEST(SettingsFileSave, WritesOneCrLfLinePerEntryInOrderWithoutBom) {
    struct Case {
        const char* name;
        std::string before;
        std::vector<std::pair<std::string, std::string>> sets;
        std::string after;
    };
    const Case cases[] = {
        {"dropped lines are gone",
         "\xEF\xBB\xBF  X = 1 \n# note\nY=\nA=0\nZ=z\nA=1\n",
         {},
         "X=1\r\nZ=z\r\nA=1\r\n"},
        {"unknown keys survive",
         "Other=x\nAutoUpdateDisable=1\n",
         {{"AutoUpdateDisable", "0"}},
         "Other=x\r\nAutoUpdateDisable=0\r\n"},
        {"UTF-16 file replaced by what was set since",
         std::string("\xFF\xFE"
                     "a\0=\0"
                     "1\0",
                     8),
         {{"k", "v"}},
         "k=v\r\n"},
        {"a short file likewise", "a=1", {{"k", "v"}}, "k=v\r\n"},
        {"no entries make an empty file", "", {}, ""},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.putFile(kPath, c.before);
        SettingsFile file(fake.platform(), utf8Path());
        for (const auto& [key, value] : c.sets) {
            file.set(key, value);
        }
        EXPECT_TRUE(file.save()) << c.name;
        EXPECT_EQ(fake.files.content(kPath), c.after) << c.name;
        // Nothing else is left beside it.
        EXPECT_EQ(fake.files.filePaths().size(), 1u) << c.name;
    }
}

TEST(SettingsFileSave, CreatesTheFileButNotItsFolder) {
    FakePlatform fake;
    SettingsFile noFolder(fake.platform(), utf8Path());
    noFolder.set("a", "1");
    EXPECT_FALSE(noFolder.save());
    EXPECT_FALSE(fake.files.hasFolder(kFolder));
    EXPECT_TRUE(fake.files.filePaths().empty());

    fake.files.addFolder(kFolder);
    SettingsFile fresh(fake.platform(), utf8Path());
    fresh.set("a", "1");
    EXPECT_TRUE(fresh.save());
    EXPECT_EQ(fake.files.content(kPath), "a=1\r\n");
}

TEST(SettingsFileSave, AFailureLeavesTheOldFileWholeAndNoTemporaryFile) {
    const std::string before = "Keep=me\nAutoUpdateDisable=1\n";
    struct Case {
        const char* operation;
        int after;  // calls of the operation before the failing one
    };
    const Case cases[] = {
        {"openFile", 0},  // the temporary file cannot be created
        {"write", 0},
        {"flush", 0},
        {"moveFileReplacing", 0},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.putFile(kPath, before);
        SettingsFile file(fake.platform(), utf8Path());
        file.set("AutoUpdateDisable", "0");
        fake.files.faults.failNext(c.operation, kErrorDiskFull, c.after);
        EXPECT_FALSE(file.save()) << c.operation;
        EXPECT_EQ(fake.files.content(kPath), before) << c.operation;
        EXPECT_EQ(fake.files.filePaths().size(), 1u) << c.operation;
    }
}

TEST(SettingsFileSave, TakesAnotherTemporaryNameWhileOneIsTaken) {
    FakePlatform fake;
    fake.files.addFolder(kFolder);
    SettingsFile file(fake.platform(), utf8Path());
    file.set("a", "1");
    for (int i = 0; i < 3; ++i) {
        fake.files.faults.failNext("openFile", kErrorFileExists, i);
    }
    EXPECT_TRUE(file.save());
    EXPECT_EQ(fake.files.content(kPath), "a=1\r\n");

    fake.files.faults.failAlways("openFile", kErrorFileExists);
    file.set("a", "2");
    EXPECT_FALSE(file.save());
    fake.files.faults.clear();
    EXPECT_EQ(fake.files.content(kPath), "a=1\r\n");
}

// A save cut off before its move leaves its file; the next save removes
// exactly such files, unless someone holds one open.
TEST(SettingsFileSave, RemovesEarlierSavesLeftoversAndNothingElse) {
    struct Case {
        const wchar_t* name;
        bool held;
        bool removed;
    };
    // clang-format off
    const Case cases[] = {
        {L"zvs.cfg.0123456789abcdef-0000002a.tmp", false, true},
        {L"ZVS.CFG.0123456789abcdef-0000002a.tmp", false, true},
        {L"zvs.cfg.0123456789abcdef-0000002a.tmp", true, false},
        {L"zvs.cfg.0123456789abcdef-0000002.tmp", false, false},
        {L"zvs.cfg.0123456789abcdeg-0000002a.tmp", false, false},
        {L"zvs.cfg.0123456789ABCDEF-0000002a.tmp", false, false},
        {L"zvs.cfg.0123456789abcdef-0000002a.tmp.bak", false, false},
        {L"zvs.cfg.0123456789abcdef_0000002a.tmp", false, false},
        {L"zvs.cfg.bak", false, false},
        {L"old.cfg.0123456789abcdef-0000002a.tmp", false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::wstring leftover = std::wstring(kFolder) + L"\\" + c.name;
        FakePlatform fake;
        fake.files.putFile(kPath, "a=1\r\n");
        fake.files.putFile(leftover, "a=");
        auto holder = c.held ? fake.files.openFile(leftover, FileOpenMode::ReadExisting) : nullptr;
        SettingsFile file(fake.platform(), utf8Path());
        file.set("a", "2");
        EXPECT_TRUE(file.save()) << utf8FromWide(c.name);
        EXPECT_EQ(fake.files.hasFile(leftover), !c.removed) << utf8FromWide(c.name);
        EXPECT_EQ(fake.files.content(kPath), "a=2\r\n");
        EXPECT_EQ(fake.files.filePaths().size(), c.removed ? 1u : 2u) << utf8FromWide(c.name);
    }
}

TEST(SettingsFileSave, RoundTripsWhatItWrote) {
    FakePlatform fake;
    fake.files.putFile(kPath, "b=2\r\na=1\nc=x=y\n");
    SettingsFile first(fake.platform(), utf8Path());
    first.set("d", "4");
    ASSERT_TRUE(first.save());
    SettingsFile second(fake.platform(), utf8Path());
    EXPECT_EQ(second.entries(), first.entries());
}

// ---- Truth of a value ------------------------------------------------------

TEST(SettingIsTrue, AcceptsTheWordsAndNonZeroNumbers) {
    const char* const trueValues[] = {
        "1", "TRUE", "True", "true", "t",  "T",  "Yes", "yes",         "Y",           "y",
        "7", "-1",   "10",   "2abc", "+3", " 5", "007", "99999999999", "-99999999999"};
    const char* const falseValues[] = {"0",  "false", "FALSE", "no", "off",  "on",    "0x1",
                                       "",   "n",     "f",     "-0", "abc",  "truex", "ye",
                                       "00", "+",     "-",     "  ", " true"};
    for (const char* value : trueValues) {
        EXPECT_TRUE(settingIsTrue(value)) << value;
    }
    for (const char* value : falseValues) {
        EXPECT_FALSE(settingIsTrue(value)) << value;
    }
}

}  // namespace
}  // namespace korin
