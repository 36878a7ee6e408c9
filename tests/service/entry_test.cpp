#include "service/entry.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

TEST(CommandSwitches, AreTheEightSwitchesInMatchingOrder) {
    std::size_t count = 0;
    const CommandSwitch* switches = commandSwitches(count);
    const std::vector<std::wstring> expected = {L"-install",
                                                L"-uninstall",
                                                L"-deleteTask",
                                                L"-createDefaultTask",
                                                L"-setSilentAutoUpdate",
                                                L"-setNotifyAutoUpdate",
                                                L"-setDisableAutoUpdate",
                                                L"-isSAUEnabled"};
    ASSERT_EQ(count, expected.size());
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(switches[i].name, expected[i]);
        EXPECT_NE(switches[i].action, nullptr);
    }
}

TEST(FindSwitch, MatchesWholeTextExactlyAndCaseSensitively) {
    struct Case {
        const wchar_t* argument;
        const wchar_t* match;  // null: no switch
    };
    const Case cases[] = {
        {L"-install", L"-install"},
        {L"-isSAUEnabled", L"-isSAUEnabled"},
        {L"-Install", nullptr},
        {L"/install", nullptr},
        {L"-INSTALL", nullptr},
        {L"install", nullptr},
        {L"-install ", nullptr},
        {L" -install", nullptr},
        {L"-installx", nullptr},
        {L"-isSAUenabled", nullptr},
        {L"", nullptr},
        {L"-deleteTask", L"-deleteTask"},
    };
    for (const Case& c : cases) {
        const CommandSwitch* found = findSwitch(c.argument);
        if (c.match == nullptr) {
            EXPECT_EQ(found, nullptr) << std::wstring(c.argument).size();
        } else {
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(std::wstring(found->name), c.match);
        }
    }
}

TEST(RunProgram, StartupEntriesReachTheLoggerInOrder) {
    struct Case {
        std::vector<const wchar_t*> argv;
        std::vector<std::wstring> entries;
    };
    const std::wstring path = L"D:\\Apps\\Korin\\KorinPlayerUpdateService.exe";
    const Case cases[] = {
        // Started by bare name through PATH: the module's path, not the
        // current folder joined to argv[0].
        {{L"KorinPlayerUpdateService.exe", L"-Install", L"more"},
         {L"[info] " + path, L"[info] 1617", L"[info] -Install"}},
        {{L"..\\elsewhere\\Korin.exe", L"-x"}, {L"[info] " + path, L"[info] 1617", L"[info] -x"}},
        // Service mode goes on to fill the run-time configuration and run
        // the service, whose cycle the settings stop at once.
        {{L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe"},
         {L"[info] " + path, L"[info] 1617", L"[info] 1614", L"[info] 1616", L"[info] 1618",
          L"[info] 1608", L"[info] 1612", L"[info] 1620"}},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.files.modulePath = path;
        // Verbose logging is never on at start-up; switching it on here shows
        // what the logger is handed.
        logOptions().verbose = true;
        EXPECT_EQ(runProgram(fake.platform(), static_cast<int>(c.argv.size()), c.argv.data()), 0);
        EXPECT_EQ(fake.logEntries(), c.entries);
    }
}

TEST(RunProgram, CommandRunsWriteNothingWhileVerboseLoggingIsOff) {
    for (const wchar_t* argument : {L"-install", L"-unknown", L"/install"}) {
        FakePlatform fake;
        const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe", argument};
        EXPECT_EQ(runProgram(fake.platform(), 2, argv), 0);
        EXPECT_EQ(fake.files.faults.calls("openFile"), 0);
        EXPECT_TRUE(fake.logLines().empty());
    }
}

TEST(RunProgram, UnknownModulePathLeavesItEmpty) {
    FakePlatform fake;
    logOptions().verbose = true;
    fake.files.faults.failNext("getModuleFileName", 122);
    const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe", L"-x"};
    EXPECT_EQ(runProgram(fake.platform(), 2, argv), 0);
    EXPECT_EQ(fake.logEntries(),
              (std::vector<std::wstring>{L"[info] ", L"[info] 1617", L"[info] -x"}));
}

TEST(RunProgram, ExitsWithMinusOneWhenMemoryRunsOut) {
    // The service information: logged with ERROR_NOT_ENOUGH_MEMORY.
    {
        FakePlatform fake;
        const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe", L"-isSAUEnabled"};
        testing::AllocationFault fault(sizeof(ServiceInfo));
        EXPECT_EQ(runProgram(fake.platform(), 2, argv), kExitNoMemory);
        EXPECT_TRUE(fault.happened());
        EXPECT_EQ(fake.logEntries(), std::vector<std::wstring>{L"[error] 1239 8"});
    }
    // The service context: nothing logged, the settings never read.
    {
        FakePlatform fake;
        const wchar_t* argv[] = {L"KorinPlayerUpdateService.exe"};
        testing::AllocationFault fault(sizeof(ServiceContext));
        EXPECT_EQ(runProgram(fake.platform(), 1, argv), kExitNoMemory);
        EXPECT_TRUE(fault.happened());
        EXPECT_TRUE(fake.logLines().empty());
        EXPECT_EQ(fake.files.faults.calls("openFile"), 0);
    }
}

}  // namespace
}  // namespace korin
