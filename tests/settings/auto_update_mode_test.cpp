#include "settings/auto_update_mode.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "settings/runtime_config.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

constexpr auto& kPath = testing::kSettingsPath;
constexpr auto& kFolder = testing::kSettingsFolder;

TEST(SetAutoUpdateMode, WritesTheModesValuesAndKeepsEverythingElse) {
    struct Case {
        const char* name;
        std::optional<std::string> before;  // none: only the folder exists
        int mode;
        bool written;
        std::optional<std::string> after;  // none: no file
    };
    const Case cases[] = {
        {"silent into a new file", std::nullopt, SilentMode, true,
         "SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n"},
        {"notify keeps places and unknown keys", "AutoUpdateDisable=1\nOther=x\n", NotifyMode, true,
         "AutoUpdateDisable=0\r\nOther=x\r\nSilentAutoUpdateEnable=0\r\n"},
        {"disabled in place", "SilentAutoUpdateEnable=yes\n#c=1\nAutoUpdateDisable=0\n",
         DisabledMode, true, "SilentAutoUpdateEnable=0\r\n#c=1\r\nAutoUpdateDisable=1\r\n"},
        {"a UTF-16 file counts as empty",
         std::string("\xFF\xFE"
                     "a\0=\0"
                     "1\0",
                     8),
         SilentMode, true, "SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n"},
        {"a short file counts as empty", "a=1", NotifyMode, true,
         "SilentAutoUpdateEnable=0\r\nAutoUpdateDisable=0\r\n"},
        {"unknown mode 3", "Other=x\n", 3, false, "Other=x\n"},
        {"unknown mode -1", std::nullopt, -1, false, std::nullopt},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.addFolder(kFolder);
        if (c.before) {
            fake.files.putFile(kPath, *c.before);
        }
        EXPECT_EQ(setAutoUpdateMode(fake.platform(), c.mode), c.written) << c.name;
        EXPECT_EQ(fake.files.hasFile(kPath), c.after.has_value()) << c.name;
        if (c.after) {
            EXPECT_EQ(fake.files.content(kPath), *c.after) << c.name;
        }
        EXPECT_TRUE(fake.logLines().empty()) << c.name;
    }
}

TEST(SetAutoUpdateMode, WithoutTheFolderChangesNothing) {
    FakePlatform fake;
    for (int mode : {SilentMode, NotifyMode, DisabledMode}) {
        EXPECT_FALSE(setAutoUpdateMode(fake.platform(), mode));
    }
    EXPECT_FALSE(fake.files.hasFolder(kFolder));
    EXPECT_TRUE(fake.logLines().empty());
}

TEST(SetAutoUpdateMode, LeavesTheRuntimeConfigAlone) {
    FakePlatform fake;
    fake.files.addFolder(kFolder);
    ASSERT_TRUE(setAutoUpdateMode(fake.platform(), SilentMode));
    EXPECT_FALSE(runtimeConfig().silentAutoUpdateEnable);
    EXPECT_FALSE(logOptions().verbose);
}

TEST(IsSilentAutoUpdateEnabled, LooksAtSilentAutoUpdateEnableAlone) {
    struct Case {
        const char* content;  // null: no file
        bool enabled;
    };
    const Case cases[] = {
        {nullptr, false},
        {"SilentAutoUpdateEnable=1\n", true},
        {"SilentAutoUpdateEnable=yes\nAutoUpdateDisable=1\n", true},
        {"SilentAutoUpdateEnable=0\n", false},
        {"silentautoupdateenable=1\n", false},
        {"SilentAutoUpdateEnable=on\n", false},
        {"SilentAutoUpdateEnable=1\nSilentAutoUpdateEnable=0\n", false},
        {"SilentAutoUpdateEnable=0\nSilentAutoUpdateEnable=1\n", true},
        {"  SilentAutoUpdateEnable  =  yes  \n", true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        if (c.content != nullptr) {
            fake.files.putFile(kPath, c.content);
        }
        EXPECT_EQ(isSilentAutoUpdateEnabled(fake.platform()), c.enabled)
            << (c.content ? c.content : "(no file)");
    }
}

TEST(IsSilentAutoUpdateEnabled, LogsTheAnswerOnlyWhenVerboseAndEnabled) {
    for (bool enabled : {true, false}) {
        FakePlatform fake;
        fake.files.putFile(kPath, enabled ? "SilentAutoUpdateEnable=1\n" : "A=1\n");
        logOptions().verbose = true;
        EXPECT_EQ(isSilentAutoUpdateEnabled(fake.platform()), enabled);
        EXPECT_EQ(fake.logEntries(), enabled ? std::vector<std::wstring>{L"[info] 1607"}
                                             : std::vector<std::wstring>{});
    }
}

TEST(AutoUpdateModeCommands, WarnWhenMemoryRunsOut) {
    struct Case {
        const char* name;
        bool query;
        std::size_t size;
        std::wstring entry;
    };
    const Case cases[] = {
        {"set: file manager", false, sizeof(VOZA::WindowsFileManager), L"[warning] 1418"},
        {"set: settings file", false, sizeof(SettingsFile), L"[warning] 1428"},
        {"query: file manager", true, sizeof(VOZA::WindowsFileManager), L"[warning] 1419"},
        {"query: settings file", true, sizeof(SettingsFile), L"[warning] 1429"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.putFile(kPath, "SilentAutoUpdateEnable=1\n");
        logOptions().verbose = true;
        bool result = true;
        {
            testing::AllocationFault fault(c.size);
            result = c.query ? isSilentAutoUpdateEnabled(fake.platform())
                             : setAutoUpdateMode(fake.platform(), DisabledMode);
            EXPECT_TRUE(fault.happened()) << c.name;
        }
        EXPECT_FALSE(result) << c.name;
        EXPECT_EQ(fake.logEntries(), std::vector<std::wstring>{c.entry}) << c.name;
        EXPECT_EQ(fake.files.content(kPath), "SilentAutoUpdateEnable=1\n") << c.name;
    }
}

TEST(SetAutoUpdateMode, NeverRewritesAFileItRanOutOfMemoryReading) {
    FakePlatform fake;
    const std::string content =
        "Other=1\nLong=" + std::string(3000, 'x') + "\nSilentAutoUpdateEnable=1\nKept=2\n";
    fake.files.putFile(kPath, content);
    {
        // The file manager reads the file first; the command's own read runs
        // out of memory at the long line.
        testing::AllocationFault fault(4096, 1);
        EXPECT_FALSE(setAutoUpdateMode(fake.platform(), DisabledMode));
        EXPECT_TRUE(fault.happened());
    }
    EXPECT_EQ(fake.files.content(kPath), content);
    EXPECT_EQ(fake.files.filePaths().size(), 1u);
}

}  // namespace
}  // namespace korin
