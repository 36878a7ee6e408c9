// The Task Scheduler's object rules on the machine's task store: what
// registration and a 1.0 trigger accept, and what registration writes.

#include "fixtures/temporary_machine_posix.h"
#include "fixtures/builders.h"
#include "platform/standin/task_service.h"

#include <gtest/gtest.h>

namespace korin::standin {
namespace {

class TaskServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(folder_.create("task-service", error)) << error;
        machine_ = std::make_unique<Machine>(folder_.root());
    }

    // A definition as NewTask gives it, with one program action or none.
    static std::unique_ptr<XmlElement> definition(bool withAction) {
        std::unique_ptr<XmlElement> task;
        EXPECT_EQ(newTask(0, task), kSOk);
        XmlElement* exec = nullptr;
        if (withAction && createAction(*task, 0, exec) == kSOk) {
            setExecPath(*exec, L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe");
        }
        return task;
    }

    korin::testing::TemporaryMachine folder_;
    std::unique_ptr<Machine> machine_;
};

TEST_F(TaskServiceTest, RegistrationHoldsToItsFlagsAndAnAction) {
    struct Case {
        const char* what;
        const wchar_t* path;
        bool withAction;
        std::int32_t flags;
        HResult answer;
        bool storedAfter;
    };
    // One store, in order: each row sees what the rows above left.
    // clang-format off
    const Case cases[] = {
        {"no action",                  L"\\T",   false, 6, kSchedEMissingNode,                     false},
        {"no create or update flag",   L"\\T",   true,  8, kEInvalidArg,                           false},
        {"validated only",             L"\\T",   true,  1, kSOk,                                   false},
        {"update only, none there",    L"\\T",   true,  4, kHResultFileNotFound,                   false},
        {"create only",                L"\\T",   true,  2, kSOk,                                   true},
        {"create only, one there",     L"\\T",   true,  2, hresultFromWin32(kErrorAlreadyExists), true},
        {"update only, one there",     L"\\T",   true,  4, kSOk,                                   true},
        {"a name Windows refuses",     L"\\A|B", true,  6, hresultFromWin32(kErrorInvalidName),   false},
    };
    // clang-format on
    const TaskStore store(*machine_);
    for (const Case& c : cases) {
        EXPECT_EQ(
            registerTask(store, c.path, *definition(c.withAction), c.flags, L"SYSTEM", 3, L""),
            c.answer)
            << c.what;
        EXPECT_EQ(store.taskExists(c.path), c.storedAfter) << c.what;
    }
}

TEST_F(TaskServiceTest, RegistrationWritesTheAccountAsThePrincipal) {
    struct Case {
        const wchar_t* user;
        std::int32_t logonType;
        const wchar_t* userId;
        const wchar_t* groupId;
        const wchar_t* logonTypeName;
    };
    // clang-format off
    const Case cases[] = {
        {L"SYSTEM",               3, L"S-1-5-18",     L"",      L"InteractiveToken"},
        {L"nt authority\\system", 1, L"S-1-5-18",     L"",      L"Password"},
        {L"S-1-5-18",             5, L"S-1-5-18",     L"",      L""},
        {L"HOST\\admin",          6, L"HOST\\admin",  L"",      L"InteractiveTokenOrPassword"},
        {L"Users",                4, L"",             L"Users", L""},
        {L"",                     3, L"",             L"",      L""},  // the definition's own
    };
    // clang-format on
    const TaskStore store(*machine_);
    for (const Case& c : cases) {
        ASSERT_EQ(registerTask(store, L"\\P", *definition(true), 6, c.user, c.logonType, L""),
                  kSOk);
        std::unique_ptr<XmlElement> task;
        ASSERT_EQ(store.readTask(L"\\P", task), kSOk);
        const XmlElement* principal = task->child(L"Principals")->child(L"Principal");
        ASSERT_NE(principal, nullptr);
        EXPECT_EQ(principal->childText(L"UserId"), c.userId) << c.user;
        EXPECT_EQ(principal->childText(L"GroupId"), c.groupId) << c.user;
        EXPECT_EQ(principal->childText(L"LogonType"), c.logonTypeName) << c.user;
        EXPECT_EQ(principal->childText(L"RunLevel"), L"LeastPrivilege") << c.user;
        ASSERT_EQ(store.deleteTask(L"\\P"), kSOk);
    }
}

TEST_F(TaskServiceTest, RegistrationWritesTheUriTheSddlAndADisabledTask) {
    const TaskStore store(*machine_);
    ASSERT_EQ(registerTask(store, L"Korin\\Task", *definition(true), 6 | kTaskDisable, L"SYSTEM", 3,
                           L"D:(A;;FA;;;SY)"),
              kSOk);
    std::unique_ptr<XmlElement> task;
    ASSERT_EQ(store.readTask(L"\\Korin\\Task", task), kSOk);
    EXPECT_EQ(task->child(L"RegistrationInfo")->childText(L"URI"), L"\\Korin\\Task");
    EXPECT_EQ(task->child(L"RegistrationInfo")->childText(L"SecurityDescriptor"),
              L"D:(A;;FA;;;SY)");
    EXPECT_EQ(task->child(L"Settings")->childText(L"Enabled"), L"false");
}

TEST(WorkItemTrigger, SetTriggerRefusesWhatTheSchedulerRefuses) {
    const WorkItemTriggerRecord daily = korin::testing::hourlyWorkItemTrigger(37);
    struct Case {
        const char* what;
        void (*change)(WorkItemTriggerRecord&);
        bool valid;
    };
    // clang-format off
    const Case cases[] = {
        {"the procedure's daily trigger", [](WorkItemTriggerRecord&) {},                                 true},
        {"no repetition",                 [](WorkItemTriggerRecord& r) { r.minutesInterval = 0; },     true},
        {"a logon trigger",               [](WorkItemTriggerRecord& r) { r.triggerType = 7; },         true},
        {"another size",                  [](WorkItemTriggerRecord& r) { r.triggerSize = 40; },        false},
        {"an unknown type",               [](WorkItemTriggerRecord& r) { r.triggerType = 8; },         false},
        {"month 0",                       [](WorkItemTriggerRecord& r) { r.beginMonth = 0; },          false},
        {"month 13",                      [](WorkItemTriggerRecord& r) { r.beginMonth = 13; },         false},
        {"day 0",                         [](WorkItemTriggerRecord& r) { r.beginDay = 0; },            false},
        {"day 32",                        [](WorkItemTriggerRecord& r) { r.beginDay = 32; },           false},
        {"hour 24",                       [](WorkItemTriggerRecord& r) { r.startHour = 24; },          false},
        {"minute 60",                     [](WorkItemTriggerRecord& r) { r.startMinute = 60; },        false},
        {"interval not below duration",   [](WorkItemTriggerRecord& r) { r.minutesInterval = 1440; },  false},
        {"every 0 days",                  [](WorkItemTriggerRecord& r) { r.typeWords[0] = 0; },        false},
    };
    // clang-format on
    for (const Case& c : cases) {
        WorkItemTriggerRecord record = daily;
        c.change(record);
        WorkItemData item;
        item.triggers.resize(1);
        EXPECT_EQ(setWorkItemTrigger(item, 0, record), c.valid ? kSOk : kEInvalidArg) << c.what;
        EXPECT_EQ(item.triggers[0].minutesInterval, c.valid ? record.minutesInterval : 0u)
            << c.what;
    }
}

}  // namespace
}  // namespace korin::standin
