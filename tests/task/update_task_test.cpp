// The hourly task's procedures against the in-memory Task Scheduler: which
// failing call logs which code, and whether the procedure stops or goes on.

#include "task/update_task.h"

#include "fakes/allocation_faults.h"
#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "service/entry.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "platform/last_error.h"
#include "support/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;
using testing::FakeTask;
using testing::FakeWorkItem;

constexpr wchar_t kModule[] = L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe";
constexpr std::uint32_t kDetail = 1726;  // the last error a failing call leaves
constexpr HResult kFailure = kEFail;
const std::vector<std::string> kJoinedOnce20 = {"initializeEx 0", "initializeSecurity 6 3",
                                                "uninitialize"};

// A platform with verbose logging, a description text and Windows XP or 10.
struct Machine {
    explicit Machine(bool windowsXp = false) {
        logOptions().verbose = true;
        fake.strings.texts[kTaskDescriptionText] = L"Keeps the player current.";
        fake.taskScheduling.faultLastError = kDetail;
        if (windowsXp) {
            fake.system.version = {5, 1, 2600, 2};
        }
    }
    std::vector<std::wstring> entries() const { return fake.logEntries(); }
    // Everything obtained was released, and COM left once, at the end.
    void expectLeftOnce() const {
        EXPECT_EQ(fake.com.liveObjectsAtUninitialize, std::vector<int>{0});
        EXPECT_EQ(fake.com.calls.back(), "uninitialize");
    }
    FakePlatform fake;
};

std::wstring error(int code) {
    return L"[error] " + std::to_wstring(code) + L" " + std::to_wstring(kDetail);
}

FakeTask foreignTask() {
    FakeTask task;
    task.author = L"Someone";
    task.description = L"Their task";
    task.triggers.push_back(
        {kTaskTriggerDaily, L"Theirs", L"2010-05-05T10:00:00", 3, L"PT30M", L"P2D"});
    task.triggers.push_back({1, L"Second", L"2011-01-01T00:00:00", {}, L"PT5M", L""});
    task.actions.push_back({kTaskActionExec, L"C:\\Users\\Public\\theirs.exe"});
    task.actions.push_back({5, L""});
    task.user = L"Someone";
    task.logonType = 1;
    return task;
}

// ---- Task Scheduler 2.0 --------------------------------------------------------

TEST(CreateUpdateTask20, RegistersTheTaskWithEveryPropertyOfTheDefinition) {
    Machine machine;
    machine.fake.random.draws = {4, 7};
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), std::vector<std::wstring>{L"[info] 1627"});
    EXPECT_EQ(machine.fake.com.calls, kJoinedOnce20);
    machine.expectLeftOnce();

    ASSERT_EQ(machine.fake.taskScheduling.tasks.count(kUpdateTaskName), 1u);
    const FakeTask& task = machine.fake.taskScheduling.tasks.at(kUpdateTaskName);
    EXPECT_EQ(task.author, L"Vemra");
    EXPECT_EQ(task.description, L"Keeps the player current.");
    ASSERT_EQ(task.triggers.size(), 1u);
    const FakeTask::Trigger expected{
        kTaskTriggerDaily, L"UpdateTrigger", L"2000-01-01T00:47:00Z", 1, L"PT1H", L"P1D"};
    EXPECT_EQ(task.triggers.front(), expected);
    ASSERT_EQ(task.actions.size(), 1u);
    EXPECT_EQ(task.actions.front(), (FakeTask::Action{kTaskActionExec, kModule}));
    EXPECT_EQ(task.startWhenAvailable, true);
    EXPECT_EQ(task.compatibility, 2);
    EXPECT_EQ(task.disallowStartIfOnBatteries, false);
    EXPECT_EQ(task.runOnlyIfNetworkAvailable, true);
    EXPECT_EQ(task.flags, 6);
    EXPECT_EQ(task.user, L"SYSTEM");
    EXPECT_EQ(task.logonType, 3);
    EXPECT_EQ(task.sddl, L"");
}

// An existing task of that name keeps what is its own; its first trigger
// repeats hourly, it runs this program alone, as SYSTEM. Someone else's
// program no longer runs with the system's rights.
TEST(CreateUpdateTask20, RepairsAForeignTaskAndReplacesItsActions) {
    Machine machine;
    machine.fake.taskScheduling.tasks[kUpdateTaskName] = foreignTask();
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), std::vector<std::wstring>{L"[info] 1626"});
    EXPECT_EQ(machine.fake.com.calls, kJoinedOnce20);
    machine.expectLeftOnce();

    FakeTask expected = foreignTask();
    expected.triggers.front().interval = L"PT1H";
    expected.actions = {{kTaskActionExec, kModule}};
    expected.startWhenAvailable = true;
    expected.compatibility = 2;
    expected.flags = 6;
    expected.user = L"SYSTEM";
    expected.logonType = 3;
    expected.sddl = L"";
    EXPECT_EQ(machine.fake.taskScheduling.tasks.at(kUpdateTaskName), expected);
}

TEST(CreateUpdateTask20, CreatingTwiceRegistersThenRepairs) {
    Machine machine;
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    FakeTask& task = machine.fake.taskScheduling.tasks.at(kUpdateTaskName);
    task.triggers.front().interval = L"PT30M";
    const FakeTask registered = task;
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), (std::vector<std::wstring>{L"[info] 1627", L"[info] 1626"}));
    FakeTask expected = registered;
    expected.triggers.front().interval = L"PT1H";
    EXPECT_EQ(machine.fake.taskScheduling.tasks.at(kUpdateTaskName), expected);
}

struct StepCase {
    const char* operation;  // the failing call; COM's own calls fail in the COM fake
    int code;
    bool stops;
};

bool comCall(const char* operation) {
    return std::string(operation).rfind("initialize", 0) == 0;
}

// The Task Scheduler fake leaves kDetail as the thread's last error when it
// fails; COM's joins do not touch it, so it is set beforehand for them.
void failOnce(Machine& machine, const StepCase& step) {
    if (comCall(step.operation)) {
        machine.fake.com.faults.failNext(step.operation, static_cast<std::uint32_t>(kFailure));
        setLastError(kDetail);
    } else {
        machine.fake.taskScheduling.faults.failNext(step.operation,
                                                    static_cast<std::uint32_t>(kFailure));
    }
}

// A step that stops logs its code alone and leaves the store as it was; a
// step that continues logs its code and the task is registered all the same.
void expectStep(Machine& machine, const StepCase& step, bool result, int success) {
    SCOPED_TRACE(step.operation);
    const std::wstring logged =
        step.code == 1421 || step.code == 1422 || step.code == 1423 || step.code == 1424
            ? L"[warning] " + std::to_wstring(step.code) + L" " + std::to_wstring(kDetail)
            : error(step.code);
    std::vector<std::wstring> expected = {logged};
    if (!step.stops) {
        expected.push_back(L"[info] " + std::to_wstring(success));
    }
    EXPECT_EQ(result, !step.stops);
    EXPECT_EQ(machine.entries(), expected);
    // A failed join has nothing to leave.
    if (step.code == 1258 || step.code == 1243) {
        EXPECT_TRUE(machine.fake.com.liveObjectsAtUninitialize.empty());
    } else {
        machine.expectLeftOnce();
    }
    EXPECT_EQ(machine.fake.taskScheduling.liveObjects, 0);
}

TEST(CreateUpdateTask20, NewPathStepsStopOrContinueWithTheirCodes) {
    const StepCase steps[] = {
        {"initializeEx", 1258, true},
        {"initializeSecurity", 1259, true},
        {"createTaskService", 1260, true},
        {"connect", 1261, true},
        {"getFolder", 1262, true},
        {"newTask", 1271, true},
        {"getSettings", 1272, true},
        {"putCompatibility", 1273, false},
        {"putDisallowStartIfOnBatteries", 1274, false},
        {"putRunOnlyIfNetworkAvailable", 1275, false},
        {"getRegistrationInfo", 1276, true},
        {"putAuthor", 1277, true},
        {"putDescription", 1278, true},
        {"getTriggers", 1279, true},
        {"createTrigger", 1280, true},
        {"queryDailyTrigger", 1281, true},
        {"putId", 1282, false},
        {"putStartBoundary", 1283, false},
        {"putDaysInterval", 1284, true},
        {"getRepetition", 1285, true},
        {"putDuration", 1286, true},
        {"putInterval", 1287, true},
        {"getActions", 1288, true},
        {"createAction", 1289, true},
        {"queryExecAction", 1290, true},
        {"putPath", 1291, true},
        {"registerTaskDefinition", 1292, true},
    };
    for (const StepCase& step : steps) {
        Machine machine;
        failOnce(machine, step);
        const bool result = createUpdateTask(machine.fake.platform(), kModule);
        expectStep(machine, step, result, 1627);
        const auto& tasks = machine.fake.taskScheduling.tasks;
        EXPECT_EQ(tasks.size(), step.stops ? 0u : 1u);
    }
}

// A step that goes on leaves the task without that one property.
TEST(CreateUpdateTask20, AStepThatContinuesYieldsATaskWithoutItsProperty) {
    struct Case {
        const char* operation;
        bool (*lacks)(const FakeTask&);
    };
    const Case cases[] = {
        {"putCompatibility", [](const FakeTask& t) { return !t.compatibility; }},
        {"putDisallowStartIfOnBatteries",
         [](const FakeTask& t) { return !t.disallowStartIfOnBatteries; }},
        {"putRunOnlyIfNetworkAvailable",
         [](const FakeTask& t) { return !t.runOnlyIfNetworkAvailable; }},
        {"putId", [](const FakeTask& t) { return t.triggers.front().id.empty(); }},
        {"putStartBoundary",
         [](const FakeTask& t) { return t.triggers.front().startBoundary.empty(); }},
    };
    Machine complete;
    ASSERT_TRUE(createUpdateTask(complete.fake.platform(), kModule));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        EXPECT_FALSE(c.lacks(complete.fake.taskScheduling.tasks.at(kUpdateTaskName)));
        Machine machine;
        machine.fake.taskScheduling.faults.failNext(c.operation,
                                                    static_cast<std::uint32_t>(kFailure));
        ASSERT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
        EXPECT_TRUE(c.lacks(machine.fake.taskScheduling.tasks.at(kUpdateTaskName)));
    }
}

TEST(CreateUpdateTask20, UpdatePathStepsStopOrContinueAndAStopLeavesTheTaskAsItWas) {
    const StepCase steps[] = {
        {"getDefinition", 1263, true}, {"getTriggers", 1264, true},
        {"getCount", 1265, true},      {"getItem", 1267, true},
        {"getRepetition", 1268, true}, {"putInterval", 1269, true},
        {"getSettings", 1272, true},   {"putCompatibility", 1273, false},
        {"getActions", 1288, true},    {"clearActions", 1288, true},
        {"createAction", 1289, true},  {"queryExecAction", 1290, true},
        {"putPath", 1291, true},       {"registerTaskDefinition", 1270, true},
    };
    for (const StepCase& step : steps) {
        Machine machine;
        machine.fake.taskScheduling.tasks[kUpdateTaskName] = foreignTask();
        failOnce(machine, step);
        const bool result = createUpdateTask(machine.fake.platform(), kModule);
        expectStep(machine, step, result, 1626);
        // What the log reader says of a repair's entry must not call it a new task.
        EXPECT_EQ(std::string(findLogCode(step.code)->meaning).find("new task"), std::string::npos)
            << step.code;
        const FakeTask& stored = machine.fake.taskScheduling.tasks.at(kUpdateTaskName);
        if (step.stops) {
            EXPECT_EQ(stored, foreignTask()) << step.operation;
        } else {
            EXPECT_EQ(stored.actions.front().path, kModule);
        }
    }
}

TEST(CreateUpdateTask20, AnExistingTaskWithoutATriggerIsLeftUnchanged) {
    Machine machine;
    FakeTask task = foreignTask();
    task.triggers.clear();
    machine.fake.taskScheduling.tasks[kUpdateTaskName] = task;
    setLastError(5);
    EXPECT_FALSE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), std::vector<std::wstring>{L"[error] 1266 5"});
    EXPECT_EQ(machine.fake.taskScheduling.tasks.at(kUpdateTaskName), task);
    machine.expectLeftOnce();
}

// A refused StartWhenAvailable is told on the console only, on both paths.
TEST(CreateUpdateTask20, ARefusedStartWhenAvailableIsPrintedAndNothingRegistered) {
    for (const bool exists : {false, true}) {
        Machine machine;
        if (exists) {
            machine.fake.taskScheduling.tasks[kUpdateTaskName] = foreignTask();
        }
        machine.fake.taskScheduling.faults.failNext("putStartWhenAvailable", 0x8007000Eu);
        EXPECT_FALSE(createUpdateTask(machine.fake.platform(), kModule));
        EXPECT_EQ(machine.fake.console.text, L"\nCannot put setting information: 8007000e");
        EXPECT_TRUE(machine.entries().empty());
        EXPECT_EQ(machine.fake.taskScheduling.tasks.size(), exists ? 1u : 0u);
        if (exists) {
            EXPECT_EQ(machine.fake.taskScheduling.tasks.at(kUpdateTaskName), foreignTask());
        }
        machine.expectLeftOnce();
    }
}

// ---- Task Scheduler 1.0 --------------------------------------------------------

FakeWorkItem plantedWorkItem() {
    FakeWorkItem item;
    item.creator = L"Someone";
    item.applicationName = L"C:\\theirs.exe";
    WorkItemTriggerRecord first;
    first.beginYear = 2012;
    first.startHour = 7;
    first.minutesInterval = 30;
    first.minutesDuration = 600;
    first.triggerType = 1;
    first.typeWords[0] = 2;
    WorkItemTriggerRecord second = first;
    second.minutesInterval = 5;
    item.triggers = {first, second};
    return item;
}

TEST(CreateUpdateTask10, SavesTheWorkItemWithEveryPropertyOfTheDefinition) {
    Machine machine(true);
    machine.fake.random.draws = {125};
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), std::vector<std::wstring>{L"[info] 1625"});
    EXPECT_EQ(machine.fake.com.calls, (std::vector<std::string>{"initialize", "uninitialize"}));
    machine.expectLeftOnce();

    const FakeWorkItem& item = machine.fake.taskScheduling.workItems.at(kUpdateTaskName);
    EXPECT_EQ(item.account, L"");
    EXPECT_EQ(item.creator, L"Vemra");
    EXPECT_EQ(item.comment, L"Keeps the player current.");
    EXPECT_EQ(item.applicationName, kModule);
    EXPECT_EQ(item.flags, 0x400u);
    ASSERT_EQ(item.triggers.size(), 1u);
    EXPECT_EQ(item.triggers.front(), testing::hourlyWorkItemTrigger(5));
}

TEST(CreateUpdateTask10, AFailingDrawStartsAtMinuteZero) {
    Machine machine(true);
    machine.fake.random.draws = {std::nullopt};
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(
        machine.fake.taskScheduling.workItems.at(kUpdateTaskName).triggers.front().startMinute, 0);
}

TEST(CreateUpdateTask10, CreatingTwiceSavesThenRepairsOnlyTheFirstTriggersInterval) {
    Machine machine(true);
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    machine.fake.taskScheduling.workItems[kUpdateTaskName] = plantedWorkItem();
    EXPECT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), (std::vector<std::wstring>{L"[info] 1625", L"[info] 1624"}));
    FakeWorkItem expected = plantedWorkItem();
    expected.triggers.front().minutesInterval = 60;
    EXPECT_EQ(machine.fake.taskScheduling.workItems.at(kUpdateTaskName), expected);
}

TEST(CreateUpdateTask10, NewPathStepsStopOrContinueWithTheirCodes) {
    const StepCase steps[] = {
        {"initialize", 1243, true},
        {"createWorkItemScheduler", 1242, true},
        {"activate", 1244, true},  // another failure than file-not-found
        {"newWorkItem", 1252, true},
        {"setAccountInformation", 1253, true},
        {"createWorkItemTrigger", 1254, true},
        {"setCreator", 1421, false},
        {"setComment", 1422, false},
        {"setApplicationName", 1423, false},
        {"setFlags", 1424, false},
        {"setTrigger", 1255, true},
        {"queryPersistFile", 1256, true},
        {"save", 1257, true},
    };
    for (const StepCase& step : steps) {
        Machine machine(true);
        failOnce(machine, step);
        const bool result = createUpdateTask(machine.fake.platform(), kModule);
        expectStep(machine, step, result, 1625);
        EXPECT_EQ(machine.fake.taskScheduling.workItems.size(), step.stops ? 0u : 1u);
    }
}

TEST(CreateUpdateTask10, UpdatePathStepsStopAndLeaveTheWorkItemAsItWas) {
    const StepCase steps[] = {
        {"getTriggerCount", 1245, true},  {"getWorkItemTrigger", 1247, true},
        {"getTrigger", 1248, true},       {"setTrigger", 1249, true},
        {"queryPersistFile", 1250, true}, {"save", 1251, true},
    };
    for (const StepCase& step : steps) {
        Machine machine(true);
        machine.fake.taskScheduling.workItems[kUpdateTaskName] = plantedWorkItem();
        failOnce(machine, step);
        const bool result = createUpdateTask(machine.fake.platform(), kModule);
        expectStep(machine, step, result, 1624);
        EXPECT_EQ(machine.fake.taskScheduling.workItems.at(kUpdateTaskName), plantedWorkItem());
    }
}

TEST(CreateUpdateTask10, AnExistingWorkItemWithoutATriggerIsLeftUnchanged) {
    Machine machine(true);
    FakeWorkItem item = plantedWorkItem();
    item.triggers.clear();
    machine.fake.taskScheduling.workItems[kUpdateTaskName] = item;
    setLastError(0);
    EXPECT_FALSE(createUpdateTask(machine.fake.platform(), kModule));
    EXPECT_EQ(machine.entries(), std::vector<std::wstring>{L"[error] 1246 0"});
    EXPECT_EQ(machine.fake.taskScheduling.workItems.at(kUpdateTaskName), item);
    machine.expectLeftOnce();
}

// ---- Both ------------------------------------------------------------------------

TEST(UpdateTask, TheSchedulerVersionFollowsTheWindowsVersion) {
    struct Case {
        OsVersionInfo version;
        bool callFails;
        const char* join;
    };
    const Case cases[] = {
        {{6, 0, 6000, 2}, false, "initializeEx 0"}, {{10, 0, 19045, 2}, false, "initializeEx 0"},
        {{5, 2, 3790, 2}, false, "initialize"},     {{6, 0, 0, 1}, false, "initialize"},
        {{10, 0, 19045, 2}, true, "initialize"},
    };
    for (const Case& c : cases) {
        for (const bool create : {true, false}) {
            Machine machine;
            machine.fake.system.version = c.version;
            machine.fake.system.versionCallFails = c.callFails;
            if (create) {
                createUpdateTask(machine.fake.platform(), kModule);
            } else {
                deleteUpdateTask(machine.fake.platform());
            }
            ASSERT_FALSE(machine.fake.com.calls.empty());
            EXPECT_EQ(machine.fake.com.calls.front(), c.join) << c.version.majorVersion;
        }
    }
}

TEST(UpdateTask, NoMemoryForTheRegistrationGivesFalseAndLogsNothing) {
    Machine machine;
    const std::wstring path(200, L'x');
    testing::AllocationFault fault((path.size() + 1) * sizeof(wchar_t));
    EXPECT_FALSE(createUpdateTask(machine.fake.platform(), path));
    EXPECT_TRUE(fault.happened());
    EXPECT_TRUE(machine.entries().empty());
    EXPECT_TRUE(machine.fake.com.calls.empty());
}

TEST(DeleteUpdateTask, DeletesExactlyWhenThePlatformAnswersSOk) {
    for (const bool windowsXp : {false, true}) {
        Machine machine(windowsXp);
        const auto& platform = machine.fake.platform();
        auto& store = machine.fake.taskScheduling;
        ASSERT_TRUE(createUpdateTask(platform, kModule));
        EXPECT_TRUE(deleteUpdateTask(platform));
        EXPECT_TRUE(store.tasks.empty() && store.workItems.empty());
        // No task, or an answer that is a success but not S_OK: false.
        EXPECT_FALSE(deleteUpdateTask(platform));
        ASSERT_TRUE(createUpdateTask(platform, kModule));
        store.faults.failNext(windowsXp ? "deleteWorkItem" : "deleteTask", kSFalse);
        EXPECT_FALSE(deleteUpdateTask(platform));
        EXPECT_EQ(machine.entries().size(), 2u);  // the two creations alone
        EXPECT_EQ(machine.fake.com.liveObjectsAtUninitialize, std::vector<int>(5, 0));
    }
}

TEST(DeleteUpdateTask, EachFailingStepLogsItsCode) {
    const StepCase steps20[] = {
        {"initializeEx", 1295, true},      {"initializeSecurity", 1296, true},
        {"createTaskService", 1297, true}, {"connect", 1298, true},
        {"getFolder", 1299, true},
    };
    const StepCase steps10[] = {{"initialize", 1294, true},
                                {"createWorkItemScheduler", 1293, true}};
    for (const bool windowsXp : {false, true}) {
        for (const StepCase& step :
             windowsXp ? std::vector<StepCase>(std::begin(steps10), std::end(steps10))
                       : std::vector<StepCase>(std::begin(steps20), std::end(steps20))) {
            Machine machine(windowsXp);
            machine.fake.taskScheduling.tasks[kUpdateTaskName] = foreignTask();
            machine.fake.taskScheduling.workItems[kUpdateTaskName] = plantedWorkItem();
            failOnce(machine, step);
            EXPECT_FALSE(deleteUpdateTask(machine.fake.platform()));
            EXPECT_EQ(machine.entries(), std::vector<std::wstring>{error(step.code)});
            EXPECT_EQ(machine.fake.taskScheduling.tasks.size(), 1u);
            EXPECT_EQ(machine.fake.taskScheduling.workItems.size(), 1u);
            const bool joined = step.code != 1295 && step.code != 1294;
            EXPECT_EQ(machine.fake.com.liveObjectsAtUninitialize,
                      joined ? std::vector<int>{0} : std::vector<int>{});
        }
    }
}

TEST(DeleteTaskSwitch, ErasesTheStateAndDeletesTheTask) {
    Machine machine;
    ASSERT_TRUE(createUpdateTask(machine.fake.platform(), kModule));
    const wchar_t* argv[] = {kModule, L"-deleteTask"};
    EXPECT_EQ(runProgram(machine.fake.platform(), 2, argv), 0);
    EXPECT_TRUE(machine.fake.taskScheduling.tasks.empty());
}

TEST(RandomStartBoundary, IsMidnightOfTheFirstDayAtADrawnMinute) {
    struct Case {
        std::deque<std::optional<std::uint32_t>> draws;
        const wchar_t* boundary;
    };
    const Case cases[] = {
        {{}, L"2000-01-01T00:00:00Z"},
        {{std::nullopt, std::nullopt}, L"2000-01-01T00:00:00Z"},
        {{5, 9}, L"2000-01-01T00:59:00Z"},
        {{6, 10}, L"2000-01-01T00:00:00Z"},
        {{std::nullopt, 3}, L"2000-01-01T00:03:00Z"},
        {{2, std::nullopt}, L"2000-01-01T00:20:00Z"},
        {{0xFFFFFFFFu, 0xFFFFFFFFu}, L"2000-01-01T00:35:00Z"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.random.draws = c.draws;
        const std::wstring boundary = randomStartBoundary(fake.platform());
        EXPECT_EQ(boundary, c.boundary);
        EXPECT_EQ(boundary.size(), 20u);
    }
}

}  // namespace
}  // namespace korin
