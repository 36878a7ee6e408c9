#include "settings/windows_file_manager.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/error_codes.h"
#include "settings/string_vector.h"
#include "ground/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using VOZA::StringVector;
using VOZA::WindowsFileManager;

using testing::kSettingsPath;
constexpr std::uint64_t kSecond = 10000000;
constexpr std::uint64_t kNow = 133000000000000000ull;
constexpr wchar_t kShellFolders[] =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::vector<std::string> names(const StringVector& vector) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < vector.size(); ++i) {
        list.push_back(vector.at(i));
    }
    return list;
}

// ---- Construction ----------------------------------------------------------

TEST(WindowsFileManager, TakesUseLocalAppDataFromTheSettingsFile) {
    struct Case {
        const char* content;  // null: no file
        bool local;
    };
    const Case cases[] = {
        {"EnableLocalAppData=1\n", true},  {"EnableLocalAppData=yes\n", true},
        {"EnableLocalAppData=0\n", false}, {"Other=1\n", false},
        {"enablelocalappdata=1\n", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        if (c.content != nullptr) {
            fake.files.putFile(kSettingsPath, c.content);
        }
        EXPECT_EQ(WindowsFileManager(fake.platform()).useLocalAppData(), c.local)
            << (c.content ? c.content : "(no file)");
    }
}

// ---- deletePath ------------------------------------------------------------

TEST(DeletePath, CountsAPathAlreadyGoneAsDeleted) {
    struct Case {
        std::uint32_t result;
        bool deleted;
    };
    const Case cases[] = {{0, true},  {2, true},   {124, true},   {1026, true},
                          {5, false}, {32, false}, {1223, false}, {3, false}};
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.shell.faults.failNext("deletePath", c.result);
        EXPECT_EQ(WindowsFileManager(fake.platform()).deletePath("C:\\x"), c.deleted) << c.result;
    }
}

TEST(DeletePath, RemovesAFolderWithItsContentAndIgnoresAMissingPath) {
    FakePlatform fake;
    fake.files.putFile(L"C:\\Data\\Sub\\a.txt", "a");
    fake.files.putFile(L"C:\\Data\\b.txt", "b");
    WindowsFileManager manager(fake.platform());
    EXPECT_TRUE(manager.deletePath("C:\\Data"));
    EXPECT_FALSE(fake.files.hasFolder(L"C:\\Data"));
    EXPECT_FALSE(fake.files.hasFile(L"C:\\Data\\Sub\\a.txt"));
    EXPECT_TRUE(manager.deletePath("C:\\Data"));
    EXPECT_EQ(fake.shell.deletes, (std::vector<std::wstring>{L"C:\\Data", L"C:\\Data"}));
    // An empty path never reaches the shell.
    EXPECT_FALSE(manager.deletePath(""));
    EXPECT_EQ(fake.shell.deletes.size(), 2u);
}

// ---- deleteFilesByAge ------------------------------------------------------

TEST(DeleteFilesByAge, DeletesFilesStrictlyInsideTheAgeWindow) {
    struct File {
        const wchar_t* path;
        std::int64_t ageSeconds;  // negative: dated in the future
        bool deleted;
    };
    const File files[] = {
        {L"C:\\Cache\\young.bin", 5, false},        {L"C:\\Cache\\at-minimum.bin", 10, false},
        {L"C:\\Cache\\inside.bin", 50, true},       {L"C:\\Cache\\at-maximum.bin", 100, false},
        {L"C:\\Cache\\old.bin", 200, false},        {L"C:\\Cache\\future.bin", -1000, false},
        {L"C:\\Cache\\Gone\\inside.bin", 60, true}, {L"C:\\Cache\\Kept\\inside.bin", 60, true},
        {L"C:\\Cache\\Kept\\old.bin", 500, false},
    };
    FakePlatform fake;
    fake.clock.fileTime = kNow;
    for (const File& f : files) {
        fake.files.putFile(f.path, "x");
        fake.files.setWriteTime(f.path, kNow - static_cast<std::uint64_t>(f.ageSeconds) * kSecond);
    }
    EXPECT_TRUE(WindowsFileManager(fake.platform()).deleteFilesByAge("C:\\Cache", 10, 100));
    for (const File& f : files) {
        EXPECT_EQ(fake.files.hasFile(f.path), !f.deleted) << utf8FromWide(f.path);
    }
    EXPECT_FALSE(fake.files.hasFolder(L"C:\\Cache\\Gone"));
    EXPECT_TRUE(fake.files.hasFolder(L"C:\\Cache\\Kept"));
    EXPECT_TRUE(fake.files.hasFolder(L"C:\\Cache"));
}

TEST(DeleteFilesByAge, RemovesTheFolderWhenEverythingInItWent) {
    struct Case {
        const char* name;
        std::uint64_t minimum;
        std::uint64_t maximum;
        bool withFile;
        bool folderGone;
    };
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    const Case cases[] = {
        {"empty folder, window 0..0", 0, 0, false, true},
        {"a file, window 0..0 deletes nothing", 0, 0, true, false},
        {"a file, an unbounded window", 0, most, true, true},
        {"a file, a bound beyond 64 bits of ticks", 100, most / 2, true, true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.clock.fileTime = kNow;
        fake.files.addFolder(L"C:\\Cache\\Sub");
        if (c.withFile) {
            fake.files.putFile(L"C:\\Cache\\Sub\\old.bin", "x");
            fake.files.setWriteTime(L"C:\\Cache\\Sub\\old.bin", kNow - 1000 * kSecond);
        }
        EXPECT_TRUE(
            WindowsFileManager(fake.platform()).deleteFilesByAge("C:\\Cache", c.minimum, c.maximum))
            << c.name;
        EXPECT_EQ(fake.files.hasFolder(L"C:\\Cache"), !c.folderGone) << c.name;
    }
}

TEST(DeleteFilesByAge, FailsOnlyWhenTheFolderCannotBeListedOrRemoved) {
    struct Case {
        const char* name;
        const char* operation;
        std::uint32_t error;
        bool result;
        bool fileLeft;
    };
    const Case cases[] = {
        {"cannot list", "findFirstFile", kErrorAccessDenied, false, true},
        {"listing breaks off", "findNextFile", kErrorNotEnoughMemory, false, true},
        {"a file stays", "deleteFile", kErrorAccessDenied, true, true},
        {"the folder stays", "removeDirectory", kErrorAccessDenied, false, false},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.clock.fileTime = kNow;
        fake.files.putFile(L"C:\\Cache\\old.bin", "x");
        fake.files.setWriteTime(L"C:\\Cache\\old.bin", kNow - 1000 * kSecond);
        fake.files.faults.failNext(c.operation, c.error);
        EXPECT_EQ(WindowsFileManager(fake.platform()).deleteFilesByAge("C:\\Cache", 1, 5000),
                  c.result)
            << c.name;
        EXPECT_EQ(fake.files.hasFile(L"C:\\Cache\\old.bin"), c.fileLeft) << c.name;
    }
    FakePlatform fake;
    EXPECT_FALSE(WindowsFileManager(fake.platform()).deleteFilesByAge("C:\\Missing", 0, 10));
}

// ---- pathSize --------------------------------------------------------------

TEST(PathSize, SumsFilesBelowAFolder) {
    FakePlatform fake;
    fake.files.putFile(L"C:\\Data\\a.bin", std::string(100, 'a'));
    fake.files.putFile(L"C:\\Data\\Sub\\b.bin", std::string(20, 'b'));
    fake.files.putFile(L"C:\\Data\\Sub\\Deeper\\c.bin", std::string(3, 'c'));
    fake.files.addFolder(L"C:\\Data\\Empty");
    WindowsFileManager manager(fake.platform());
    EXPECT_EQ(manager.pathSize("C:\\Data"), 123u);
    EXPECT_EQ(manager.pathSize("C:\\Data\\"), 123u);
    EXPECT_EQ(manager.pathSize("C:\\Data\\Sub"), 23u);
    EXPECT_EQ(manager.pathSize("C:\\Data\\a.bin"), 100u);
    EXPECT_EQ(manager.pathSize("C:\\Data\\Empty"), 0u);
    EXPECT_EQ(manager.pathSize("C:\\Missing"), 0u);
    fake.files.faults.failNext("getFileSize", kErrorAccessDenied);
    EXPECT_EQ(manager.pathSize("C:\\Data\\a.bin"), 0u);
}

// ---- createFolder ----------------------------------------------------------

TEST(CreateFolder, CreatesEveryMissingLevel) {
    FakePlatform fake;
    WindowsFileManager manager(fake.platform());
    EXPECT_TRUE(manager.createFolder("C:\\One\\Two\\Three", "Four"));
    for (const wchar_t* folder :
         {L"C:\\One", L"C:\\One\\Two", L"C:\\One\\Two\\Three", L"C:\\One\\Two\\Three\\Four"}) {
        EXPECT_TRUE(fake.files.hasFolder(folder)) << utf8FromWide(folder);
    }
    // A folder already there counts as created.
    EXPECT_TRUE(manager.createFolder("C:\\One\\Two\\Three", "Four"));
    EXPECT_TRUE(manager.createFolder("C:\\One\\Two\\", "Five"));
    EXPECT_TRUE(fake.files.hasFolder(L"C:\\One\\Two\\Five"));
}

TEST(CreateFolder, FailsWhenAFileHasTheNameOrTheFolderCannotBeMade) {
    FakePlatform fake;
    fake.files.putFile(L"C:\\One\\Taken", "x");
    WindowsFileManager manager(fake.platform());
    EXPECT_FALSE(manager.createFolder("C:\\One", "Taken"));
    fake.files.faults.failAlways("createDirectory", kErrorAccessDenied);
    EXPECT_FALSE(manager.createFolder("C:\\New\\Level", "Name"));
    EXPECT_FALSE(fake.files.hasFolder(L"C:\\New"));
}

// ---- Per-user folders ------------------------------------------------------

TEST(UserFolders, AppendThePlayersFoldersToTheShellsFolders) {
    FakePlatform fake;
    WindowsFileManager manager(fake.platform());
    EXPECT_EQ(manager.pathSeparator(), "\\");
    EXPECT_EQ(manager.assetCacheFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Vemra\\Korin Player\\AssetCache");
    EXPECT_EQ(manager.cacheFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Vemra\\Korin Player\\VKCache");
    EXPECT_EQ(manager.privateDataFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Vemra\\Korin Player\\VPSPrivateData2");
    EXPECT_EQ(manager.playerDataFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Tervalonix\\Korin Player");
    EXPECT_EQ(fake.shell.folderRequests, (std::vector<int>{0x1A, 0x1A, 0x1A, 0x801A}));
}

TEST(UserFolders, PlayerDataFollowsEnableLocalAppData) {
    FakePlatform fake;
    fake.files.putFile(kSettingsPath, "EnableLocalAppData=1\n");
    EXPECT_EQ(WindowsFileManager(fake.platform()).playerDataFolder(),
              "C:\\Users\\Tester\\AppData\\Local\\Tervalonix\\Korin Player");
    EXPECT_EQ(fake.shell.folderRequests, std::vector<int>{0x801C});
}

TEST(UserFolders, AreLearntOncePerProcess) {
    FakePlatform fake;
    WindowsFileManager manager(fake.platform());
    const std::string first = manager.cacheFolder();
    fake.shell.folders[kCsidlAppData] = L"D:\\Elsewhere";
    EXPECT_EQ(manager.cacheFolder(), first);
    EXPECT_EQ(WindowsFileManager(fake.platform()).cacheFolder(), first);
    EXPECT_EQ(fake.shell.folderRequests.size(), 1u);
}

TEST(UserFolders, PlayerDataFallsBackToExplorersShellFolders) {
    struct Case {
        const char* name;
        bool local;
        const wchar_t* valueName;
        std::wstring value;  // empty: no value
        std::string folder;
    };
    const Case cases[] = {
        {"roaming", false, L"AppData", L"E:\\Profiles\\Ann\\Roaming\\",
         "E:\\Profiles\\Ann\\Roaming\\Tervalonix\\Korin Player"},
        {"local", true, L"Local AppData", L"E:\\Profiles\\Ann\\Local/",
         "E:\\Profiles\\Ann\\Local\\Tervalonix\\Korin Player"},
        {"one separator removed", false, L"AppData", L"E:\\P\\\\",
         "E:\\P\\\\Tervalonix\\Korin Player"},
        {"not a code-page text", false, L"AppData", L"E:\\\u0410\u043d\u043d\u0430",
         "E:\\\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0\\Tervalonix\\Korin Player"},
        {"no value", false, L"AppData", L"", ""},
        {"only the other value", true, L"AppData", L"E:\\R", ""},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        if (c.local) {
            fake.files.putFile(kSettingsPath, "EnableLocalAppData=1\n");
        }
        if (!c.value.empty()) {
            fake.registry.putValue(kShellFolders, c.valueName, kRegSz, testing::regSzBytes(c.value));
        }
        fake.shell.faults.failAlways("getFolderPath", static_cast<std::uint32_t>(kEFail));
        EXPECT_EQ(WindowsFileManager(fake.platform()).playerDataFolder(), c.folder) << c.name;
    }
}

TEST(UserFolders, StayEmptyAndAreAskedAgainWhileUnknown) {
    FakePlatform fake;
    WindowsFileManager manager(fake.platform());
    fake.shell.faults.failNext("getFolderPath", static_cast<std::uint32_t>(kEFail));
    EXPECT_EQ(manager.assetCacheFolder(), "");
    EXPECT_EQ(manager.assetCacheFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Vemra\\Korin Player\\AssetCache");
    // Without the folder and without the flag to create it, the shell fails.
    FakePlatform missing;
    missing.files.removeTree(L"C:\\Users\\Tester\\AppData\\Roaming");
    EXPECT_EQ(WindowsFileManager(missing.platform()).cacheFolder(), "");
    EXPECT_EQ(WindowsFileManager(missing.platform()).playerDataFolder(),
              "C:\\Users\\Tester\\AppData\\Roaming\\Tervalonix\\Korin Player");
}

// ---- listFolder ------------------------------------------------------------

TEST(ListFolder, SortsNamesWithNumbersLastByValue) {
    FakePlatform fake;
    for (const wchar_t* name : {L"b", L"a", L"10", L"9"}) {
        fake.files.putFile(std::wstring(L"C:\\Versions\\") + name, "");
    }
    auto list = WindowsFileManager(fake.platform()).listFolder("C:\\Versions");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(names(*list), (std::vector<std::string>{"a", "b", "9", "10"}));
}

TEST(ListFolder, SkipsDotEntriesByNameWhereverTheyStand) {
    struct Case {
        const char* name;
        const wchar_t* folder;
        const char* listed;
        bool dotsLast;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"below the root", L"C:\\Versions", "C:\\Versions", false, {"A", "b", "2"}},
        {"dots listed last", L"C:\\Versions", "C:\\Versions", true, {"A", "b", "2"}},
        // A drive's root lists no dot entries: its first two are real.
        {"drive root", L"D:", "D:\\", false, {"A", "b", "2"}},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.dotEntriesLast = c.dotsLast;
        fake.files.putFile(std::wstring(c.folder) + L"\\A", "");
        fake.files.putFile(std::wstring(c.folder) + L"\\b", "");
        fake.files.addFolder(std::wstring(c.folder) + L"\\2");
        auto list = WindowsFileManager(fake.platform()).listFolder(c.listed);
        ASSERT_NE(list, nullptr) << c.name;
        EXPECT_EQ(names(*list), c.expected) << c.name;
    }
}

TEST(ListFolder, GivesUtf8NamesAndNullOnFailure) {
    FakePlatform fake;
    fake.files.putFile(L"C:\\Names\\\u00e9t\u00e9.txt", "");
    WindowsFileManager manager(fake.platform());
    auto list = manager.listFolder("C:\\Names");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(names(*list), std::vector<std::string>{"\xC3\xA9t\xC3\xA9.txt"});

    EXPECT_EQ(manager.listFolder("C:\\Missing"), nullptr);
    fake.files.faults.failNext("findNextFile", kErrorNotEnoughMemory);
    EXPECT_EQ(manager.listFolder("C:\\Names"), nullptr);
    // An empty drive lists as empty.
    auto empty = manager.listFolder("E:\\");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size(), 0u);
}

TEST(ListFolder, NullWhenTheListCannotGrow) {
    FakePlatform fake;
    for (int i = 0; i < 11; ++i) {
        fake.files.putFile(L"C:\\Many\\f" + std::to_wstring(i), "");
    }
    testing::AllocationFault fault(20 * sizeof(void*));
    EXPECT_EQ(WindowsFileManager(fake.platform()).listFolder("C:\\Many"), nullptr);
    EXPECT_TRUE(fault.happened());
}

TEST(ListsBefore, OrdersTextBytewiseThenNumbersByValue) {
    struct Case {
        std::string a;
        std::string b;
        bool before;
    };
    const Case cases[] = {
        {"a", "b", true},        {"b", "a", false},
        {"9", "10", true},       {"10", "9", false},
        {"z", "0", true},        {"0", "z", false},
        {"", "a", false},  // the empty name is a number
        {"a", "", true},         {"B", "a", true},
        {"a", "\xC3\xA9", true},  // unsigned bytes
        {"a1", "a10", true},     {"99999999999999999999", "100000000000000000000", true},
        {"007", "7", true},      {"7", "007", false},
        {"5", "5", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowsFileManager::listsBefore(c.a, c.b), c.before) << c.a << " / " << c.b;
    }
}

// ---- StringVector ----------------------------------------------------------

TEST(StringVector, StartsWithTenAndDoubles) {
    StringVector vector;
    EXPECT_EQ(vector.capacity(), 10u);
    std::string text = "x";
    for (int i = 0; i < 21; ++i) {
        ASSERT_TRUE(vector.add(text + std::to_string(i)));
        EXPECT_EQ(vector.capacity(), i < 10 ? 10u : (i < 20 ? 20u : 40u)) << i;
    }
    EXPECT_EQ(vector.size(), 21u);
    EXPECT_EQ(vector.at(0), "x0");
    EXPECT_EQ(vector.at(20), "x20");
}

TEST(StringVector, KeepsItsOwnCopiesAndStaysUnchangedWithoutMemory) {
    StringVector vector;
    std::string text = "original";
    vector.add(text);
    text = "changed";
    EXPECT_EQ(vector.at(0), "original");
    for (int i = 1; i < 10; ++i) {
        vector.add(std::to_string(i));
    }
    {
        testing::AllocationFault fault(20 * sizeof(void*));
        EXPECT_FALSE(vector.add("eleventh"));
        EXPECT_TRUE(fault.happened());
    }
    EXPECT_EQ(vector.size(), 10u);
    EXPECT_EQ(vector.capacity(), 10u);
    EXPECT_EQ(vector.at(9), "9");
    EXPECT_TRUE(vector.add("eleventh"));
    EXPECT_EQ(vector.at(10), "eleventh");
}

}  // namespace
}  // namespace korin
