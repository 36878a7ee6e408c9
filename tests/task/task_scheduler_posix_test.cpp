// The stand-in's Task Scheduler through the port, on a temporary machine:
// what the task procedures set reaches the store's XML and comes back.

#include "fixtures/temporary_machine_posix.h"
#include "fixtures/builders.h"
#include "platform/com_runtime_posix.h"
#include "platform/standin/task_store.h"
#include "task/task_scheduler_posix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korin {
namespace {

namespace fs = std::filesystem;
using standin::XmlElement;

constexpr wchar_t kName[] = L"Vemra Korin Player Updater";

// A task made elsewhere: two triggers, the first every 30 minutes, another
// program, and parts the procedures never touch.
constexpr char kForeignTask[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Task version="1.3" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Author>Someone Else</Author><Description>Theirs</Description></RegistrationInfo>
  <Triggers>
    <CalendarTrigger id="Theirs"><Repetition><Interval>PT30M</Interval><Duration>P1D</Duration></Repetition>
      <StartBoundary>2010-05-05T05:05:00</StartBoundary><ScheduleByDay><DaysInterval>2</DaysInterval></ScheduleByDay></CalendarTrigger>
    <BootTrigger><Enabled>true</Enabled></BootTrigger>
  </Triggers>
  <Principals><Principal id="Author"><UserId>S-1-5-21-1</UserId><LogonType>Password</LogonType></Principal></Principals>
  <Data>kept</Data>
  <Actions Context="Author"><Exec><Command>C:\Tools\theirs.exe</Command><Arguments>--now</Arguments></Exec></Actions>
</Task>)";

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

class TaskSchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(folder_.create("tasks", error)) << error;
        machine_ = std::make_unique<standin::Machine>(folder_.root());
        scheduling_ = std::make_unique<StandInTaskScheduling>(*machine_, com_);
        ASSERT_EQ(com_.initializeEx(kCoinitMultithreaded), kSOk);
    }
    void TearDown() override { com_.uninitialize(); }

    std::unique_ptr<TaskFolder> rootFolder() {
        std::unique_ptr<TaskService> service;
        EXPECT_EQ(scheduling_->createTaskService(service), kSOk);
        EXPECT_EQ(service->connect(), kSOk);
        std::unique_ptr<TaskFolder> folder;
        EXPECT_EQ(service->getFolder(L"\\", folder), kSOk);
        return folder;
    }

    // The stored task as the store reads it.
    std::unique_ptr<XmlElement> stored(const std::wstring& name) {
        std::unique_ptr<XmlElement> task;
        EXPECT_EQ(standin::TaskStore(*machine_).readTask(name, task), kSOk);
        return task;
    }
    std::string taskFile(const std::string& name) {
        return folder_.driveC("Windows/System32/Tasks/" + name);
    }
    static std::string readBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    void plant(const std::string& name, const std::string& bytes) {
        std::ofstream(taskFile(name), std::ios::binary) << bytes;
    }

    korin::testing::TemporaryMachine folder_;
    std::unique_ptr<standin::Machine> machine_;
    StandInComRuntime com_;
    std::unique_ptr<StandInTaskScheduling> scheduling_;
};

// The new path of the 2.0 procedure, call for call.
void defineUpdateTask(TaskService& service, std::unique_ptr<TaskDefinition>& definition) {
    ASSERT_EQ(service.newTask(0, definition), kSOk);
    std::unique_ptr<TaskSettings> settings;
    ASSERT_EQ(definition->getSettings(settings), kSOk);
    EXPECT_EQ(settings->putStartWhenAvailable(true), kSOk);
    EXPECT_EQ(settings->putCompatibility(kTaskCompatibilityV2), kSOk);
    EXPECT_EQ(settings->putDisallowStartIfOnBatteries(false), kSOk);
    EXPECT_EQ(settings->putRunOnlyIfNetworkAvailable(true), kSOk);
    std::unique_ptr<RegistrationInfo> info;
    ASSERT_EQ(definition->getRegistrationInfo(info), kSOk);
    EXPECT_EQ(info->putAuthor(L"Vemra"), kSOk);
    EXPECT_EQ(info->putDescription(L"Keeps <Korin> & its players \"current\""), kSOk);
    std::unique_ptr<TriggerCollection> triggers;
    ASSERT_EQ(definition->getTriggers(triggers), kSOk);
    std::unique_ptr<Trigger> trigger;
    ASSERT_EQ(triggers->create(kTaskTriggerDaily, trigger), kSOk);
    std::unique_ptr<DailyTrigger> daily;
    ASSERT_EQ(trigger->queryDailyTrigger(daily), kSOk);
    EXPECT_EQ(daily->putId(L"UpdateTrigger"), kSOk);
    EXPECT_EQ(daily->putStartBoundary(L"2000-01-01T00:37:00Z"), kSOk);
    EXPECT_EQ(daily->putDaysInterval(1), kSOk);
    std::unique_ptr<RepetitionPattern> repetition;
    ASSERT_EQ(daily->getRepetition(repetition), kSOk);
    EXPECT_EQ(repetition->putDuration(L"P1D"), kSOk);
    EXPECT_EQ(repetition->putInterval(L"PT1H"), kSOk);
    std::unique_ptr<ActionCollection> actions;
    ASSERT_EQ(definition->getActions(actions), kSOk);
    std::unique_ptr<Action> action;
    ASSERT_EQ(actions->create(kTaskActionExec, action), kSOk);
    std::unique_ptr<ExecAction> exec;
    ASSERT_EQ(action->queryExecAction(exec), kSOk);
    EXPECT_EQ(exec->putPath(L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe"), kSOk);
}

TEST_F(TaskSchedulerTest, ARegisteredTaskKeepsEveryPropertyThroughItsXml) {
    std::unique_ptr<TaskService> service;
    ASSERT_EQ(scheduling_->createTaskService(service), kSOk);
    ASSERT_EQ(service->connect(), kSOk);
    std::unique_ptr<TaskFolder> folder;
    ASSERT_EQ(service->getFolder(L"\\", folder), kSOk);
    std::unique_ptr<RegisteredTask> missing;
    EXPECT_EQ(folder->getTask(kName, missing), kHResultFileNotFound);
    EXPECT_EQ(missing, nullptr);

    std::unique_ptr<TaskDefinition> definition;
    defineUpdateTask(*service, definition);
    // Nothing reaches the store before the registration.
    EXPECT_FALSE(fs::exists(taskFile("Vemra Korin Player Updater")));
    ASSERT_EQ(folder->registerTaskDefinition(kName, *definition, kTaskCreateOrUpdate, L"SYSTEM",
                                             kTaskLogonInteractiveToken, L""),
              kSOk);

    const std::string bytes = readBytes(taskFile("Vemra Korin Player Updater"));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE<\0", 4)) << "UTF-16LE with its mark";
    const auto task = stored(kName);
    ASSERT_TRUE(task);
    EXPECT_EQ(*task->attribute(L"version"), L"1.2");
    EXPECT_EQ(*task->attribute(L"xmlns"), standin::kTaskNamespace);
    const XmlElement* info = task->child(L"RegistrationInfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->childText(L"Author"), L"Vemra");
    EXPECT_EQ(info->childText(L"Description"), L"Keeps <Korin> & its players \"current\"");
    EXPECT_EQ(info->childText(L"URI"), L"\\Vemra Korin Player Updater");
    ASSERT_TRUE(task->child(L"Triggers"));
    ASSERT_EQ(task->child(L"Triggers")->children.size(), 1u);
    const XmlElement& trigger = *task->child(L"Triggers")->children[0];
    EXPECT_EQ(trigger.name, L"CalendarTrigger");
    EXPECT_EQ(*trigger.attribute(L"id"), L"UpdateTrigger");
    EXPECT_EQ(trigger.childText(L"StartBoundary"), L"2000-01-01T00:37:00Z");
    EXPECT_EQ(trigger.childText(L"Enabled"), L"true");
    EXPECT_EQ(trigger.child(L"ScheduleByDay")->childText(L"DaysInterval"), L"1");
    EXPECT_EQ(trigger.child(L"Repetition")->childText(L"Interval"), L"PT1H");
    EXPECT_EQ(trigger.child(L"Repetition")->childText(L"Duration"), L"P1D");
    const XmlElement* principal = task->child(L"Principals")->child(L"Principal");
    EXPECT_EQ(principal->childText(L"UserId"), L"S-1-5-18");
    EXPECT_EQ(principal->childText(L"LogonType"), L"InteractiveToken");
    const XmlElement* settings = task->child(L"Settings");
    EXPECT_EQ(settings->childText(L"StartWhenAvailable"), L"true");
    EXPECT_EQ(settings->childText(L"DisallowStartIfOnBatteries"), L"false");
    EXPECT_EQ(settings->childText(L"RunOnlyIfNetworkAvailable"), L"true");
    EXPECT_EQ(settings->childText(L"Enabled"), L"true");
    const XmlElement* exec = task->child(L"Actions")->child(L"Exec");
    EXPECT_EQ(exec->childText(L"Command"),
              L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe");
    EXPECT_EQ(exec->child(L"Arguments"), nullptr);

    // Read through the port and registered again unchanged: the same bytes.
    std::unique_ptr<RegisteredTask> registered;
    ASSERT_EQ(folder->getTask(kName, registered), kSOk);
    std::unique_ptr<TaskDefinition> again;
    ASSERT_EQ(registered->getDefinition(again), kSOk);
    ASSERT_EQ(folder->registerTaskDefinition(kName, *again, kTaskCreateOrUpdate, L"SYSTEM",
                                             kTaskLogonInteractiveToken, L""),
              kSOk);
    EXPECT_EQ(readBytes(taskFile("Vemra Korin Player Updater")), bytes);
}

TEST_F(TaskSchedulerTest, UpdatingAForeignTaskChangesOnlyWhatIsPut) {
    plant("Vemra Korin Player Updater", kForeignTask);
    auto folder = rootFolder();
    std::unique_ptr<RegisteredTask> registered;
    ASSERT_EQ(folder->getTask(kName, registered), kSOk);
    std::unique_ptr<TaskDefinition> definition;
    ASSERT_EQ(registered->getDefinition(definition), kSOk);
    std::unique_ptr<TriggerCollection> triggers;
    ASSERT_EQ(definition->getTriggers(triggers), kSOk);
    std::int32_t count = 0;
    ASSERT_EQ(triggers->getCount(count), kSOk);
    EXPECT_EQ(count, 2);
    std::unique_ptr<Trigger> trigger;
    EXPECT_EQ(triggers->getItem(0, trigger), kEInvalidArg) << "1-based";
    EXPECT_EQ(triggers->getItem(3, trigger), kEInvalidArg);
    ASSERT_EQ(triggers->getItem(2, trigger), kSOk);
    std::unique_ptr<DailyTrigger> daily;
    EXPECT_EQ(trigger->queryDailyTrigger(daily), kENoInterface) << "a boot trigger";
    ASSERT_EQ(triggers->getItem(1, trigger), kSOk);
    std::unique_ptr<RepetitionPattern> repetition;
    ASSERT_EQ(trigger->getRepetition(repetition), kSOk);
    ASSERT_EQ(repetition->putInterval(L"PT1H"), kSOk);
    std::unique_ptr<TaskSettings> settings;
    ASSERT_EQ(definition->getSettings(settings), kSOk);
    ASSERT_EQ(settings->putStartWhenAvailable(true), kSOk);
    ASSERT_EQ(settings->putCompatibility(kTaskCompatibilityV2), kSOk);
    // Until registered, the store holds the task as planted.
    EXPECT_EQ(readBytes(taskFile("Vemra Korin Player Updater")), kForeignTask);
    ASSERT_EQ(folder->registerTaskDefinition(kName, *definition, kTaskCreateOrUpdate, L"SYSTEM",
                                             kTaskLogonInteractiveToken, L""),
              kSOk);

    const auto task = stored(kName);
    ASSERT_TRUE(task);
    const XmlElement& first = *task->child(L"Triggers")->children[0];
    EXPECT_EQ(first.child(L"Repetition")->childText(L"Interval"), L"PT1H");
    EXPECT_EQ(first.child(L"Repetition")->childText(L"Duration"), L"P1D");
    EXPECT_EQ(first.childText(L"StartBoundary"), L"2010-05-05T05:05:00");
    EXPECT_EQ(*first.attribute(L"id"), L"Theirs");
    EXPECT_EQ(task->child(L"Triggers")->children[1]->name, L"BootTrigger");
    EXPECT_EQ(task->child(L"RegistrationInfo")->childText(L"Author"), L"Someone Else");
    EXPECT_EQ(task->child(L"RegistrationInfo")->childText(L"Description"), L"Theirs");
    EXPECT_EQ(task->childText(L"Data"), L"kept");
    EXPECT_EQ(*task->attribute(L"version"), L"1.2");
    EXPECT_EQ(task->child(L"Settings")->childText(L"StartWhenAvailable"), L"true");
    const XmlElement* principal = task->child(L"Principals")->child(L"Principal");
    EXPECT_EQ(principal->childText(L"UserId"), L"S-1-5-18");
    EXPECT_EQ(principal->childText(L"LogonType"), L"InteractiveToken");
    const XmlElement* exec = task->child(L"Actions")->child(L"Exec");
    EXPECT_EQ(exec->childText(L"Command"), L"C:\\Tools\\theirs.exe");
    EXPECT_EQ(exec->childText(L"Arguments"), L"--now");
}

TEST_F(TaskSchedulerTest, MissingAndUnreadableTasksFailCleanly) {
    auto folder = rootFolder();
    std::unique_ptr<RegisteredTask> task;
    EXPECT_EQ(folder->getTask(kName, task), kHResultFileNotFound);
    EXPECT_EQ(folder->deleteTask(kName, 0), kHResultFileNotFound);
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"not XML", "this is no task"},
        {"not a task", "<Job><Actions/></Job>"},
        {"cut short", std::string(kForeignTask).substr(0, 300)},
        {"nested too deeply", "<Task>" + repeated("<a>", 20000) + "</Task>"},
        {"too large", "<Task><Data>" + std::string(2 * 1024 * 1024, 'x') + "</Data></Task>"},
        {"odd UTF-16", std::string("\xFF\xFE\x00\xD8<\0", 6)},
    };
    for (const Case& c : cases) {
        plant("Broken", c.bytes);
        task.reset();
        EXPECT_EQ(folder->getTask(L"Broken", task), standin::kSchedEMalformedXml) << c.what;
        EXPECT_EQ(task, nullptr) << c.what;
    }
    plant("Gone", kForeignTask);
    EXPECT_EQ(folder->deleteTask(L"\\Gone", 0), kSOk);
    EXPECT_FALSE(fs::exists(taskFile("Gone")));
}

TEST_F(TaskSchedulerTest, TheChainsNeedAJoinedApartmentAndAConnection) {
    std::unique_ptr<TaskService> service;
    std::unique_ptr<WorkItemScheduler> scheduler;
    com_.uninitialize();
    EXPECT_EQ(scheduling_->createTaskService(service), kCoENotInitialized);
    EXPECT_EQ(scheduling_->createWorkItemScheduler(scheduler), kCoENotInitialized);
    ASSERT_EQ(com_.initialize(), kSOk);
    ASSERT_EQ(scheduling_->createTaskService(service), kSOk);
    std::unique_ptr<TaskFolder> folder;
    EXPECT_EQ(service->getFolder(L"\\", folder), hresultFromWin32(kErrorOnlyIfConnected));
    ASSERT_EQ(service->connect(), kSOk);
    EXPECT_EQ(service->getFolder(L"\\Nowhere", folder), kHResultFileNotFound);
}

TEST_F(TaskSchedulerTest, AWorkItemIsStoredOnSaveAndActivatedAgain) {
    std::unique_ptr<WorkItemScheduler> scheduler;
    ASSERT_EQ(scheduling_->createWorkItemScheduler(scheduler), kSOk);
    std::unique_ptr<WorkItem> item;
    EXPECT_EQ(scheduler->activate(kName, item), kHResultFileNotFound);
    ASSERT_EQ(scheduler->newWorkItem(kName, item), kSOk);
    EXPECT_EQ(item->setAccountInformation(L""), kSOk);
    std::uint16_t index = 9;
    std::unique_ptr<WorkItemTrigger> trigger;
    ASSERT_EQ(item->createTrigger(index, trigger), kSOk);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(item->setCreator(L"Vemra"), kSOk);
    EXPECT_EQ(item->setComment(L"Two\nlines, 100%"), kSOk);
    EXPECT_EQ(item->setApplicationName(L"C:\\Program Files\\Korin\\Service.exe"), kSOk);
    EXPECT_EQ(item->setFlags(kTaskFlagRunIfConnectedToInternet), kSOk);
    const WorkItemTriggerRecord record = testing::hourlyWorkItemTrigger(37);
    ASSERT_EQ(trigger->setTrigger(record), kSOk);
    std::unique_ptr<WorkItemFile> file;
    ASSERT_EQ(item->queryPersistFile(file), kSOk);
    const std::string job = folder_.driveC("Windows/Tasks/Vemra Korin Player Updater.job");
    EXPECT_FALSE(fs::exists(job)) << "stored on save only";
    ASSERT_EQ(file->save(), kSOk);
    EXPECT_TRUE(fs::exists(job));

    std::unique_ptr<WorkItem> again;
    EXPECT_EQ(scheduler->newWorkItem(kName, again), hresultFromWin32(kErrorFileExists));
    ASSERT_EQ(scheduler->activate(kName, again), kSOk);
    std::uint16_t count = 0;
    ASSERT_EQ(again->getTriggerCount(count), kSOk);
    ASSERT_EQ(count, 1);
    std::unique_ptr<WorkItemTrigger> first;
    EXPECT_EQ(again->getTrigger(1, first), standin::kSchedETriggerNotFound);
    ASSERT_EQ(again->getTrigger(0, first), kSOk);
    WorkItemTriggerRecord read{};
    read.triggerSize = 48;
    ASSERT_EQ(first->getTrigger(read), kSOk);
    EXPECT_EQ(std::memcmp(&read, &record, sizeof record), 0);
    standin::WorkItemData data;
    ASSERT_EQ(standin::TaskStore(*machine_).readWorkItem(kName, data), kSOk);
    EXPECT_EQ(data.creator, L"Vemra");
    EXPECT_EQ(data.comment, L"Two\nlines, 100%");
    EXPECT_EQ(data.applicationName, L"C:\\Program Files\\Korin\\Service.exe");
    EXPECT_EQ(data.accountName, L"");
    EXPECT_EQ(data.flags, kTaskFlagRunIfConnectedToInternet);

    std::ofstream(folder_.driveC("Windows/Tasks/Bad.job")) << "[Work Item]\nTrigger=1 2 3\n";
    EXPECT_EQ(scheduler->activate(L"Bad", again), standin::kSchedEInvalidTask);
    EXPECT_EQ(scheduler->deleteWorkItem(kName), kSOk);
    EXPECT_EQ(scheduler->deleteWorkItem(kName), kHResultFileNotFound);
}

}  // namespace
}  // namespace korin
