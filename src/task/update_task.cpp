#include "task/update_task.h"

#include "platform/com_runtime.h"
#include "platform/platform.h"
#include "platform/runtime_library.h"
#include "platform/system_info.h"
#include "platform/error_codes.h"
#include "support/log.h"
#include "support/string_table.h"
#include "task/task_scheduler.h"

#include <cstdint>
#include <cwchar>
#include <memory>
#include <new>

namespace korin {

namespace {

constexpr wchar_t kRootFolder[] = L"\\";
constexpr wchar_t kAuthor[] = L"Vemra";
constexpr wchar_t kTriggerId[] = L"UpdateTrigger";
constexpr wchar_t kSystemAccount[] = L"SYSTEM";
constexpr wchar_t kEveryHour[] = L"PT1H";
constexpr wchar_t kForOneDay[] = L"P1D";
constexpr std::uint32_t kVerPlatformWin32Nt = 2;
constexpr std::uint32_t kMinutesPerHour = 60;
constexpr std::uint32_t kMinutesPerDay = 1440;

// One createUpdateTask call's record.
struct TaskRegistration {
    std::wstring modulePath;
    int schedulerVersion = 1;
};

bool failed(HResult result) {
    return !succeeded(result);
}

// 2.0 on NT 6.0 and later, 1.0 before (and on anything that is not NT). An
// unanswered version query reads as the zeroed record, so 1.0.
int schedulerVersion(const Platform& platform) {
    OsVersionInfo version;
    if (!platform.system->getVersionEx(version)) {
        version = OsVersionInfo{};
    }
    return version.platformId == kVerPlatformWin32Nt && version.majorVersion >= 6 ? 2 : 1;
}

// A failed step's entry, with the thread's last error as it stands now (for
// COM calls often 0 or unrelated: the code alone names the step). False, so
// that a step that stops can return it.
bool logFailure(const Platform& platform, int code, LogLevel level = Error) {
    writeLog(platform, level, logCodeLastError(code));
    return false;
}

// Runs a procedure inside the apartment it joined and leaves it once, after
// the procedure has released everything it obtained. A failed join is
// logged and nothing else happens.
template <typename Procedure>
bool inApartment(const Platform& platform, HResult joined, int joinCode, Procedure procedure) {
    if (failed(joined)) {
        return logFailure(platform, joinCode);
    }
    struct Leave {
        ComRuntime& com;
        ~Leave() { com.uninitialize(); }
    } leave{*platform.com};
    return procedure();
}

// --- Task Scheduler 2.0 ---

struct RootFolderCodes {
    int security;
    int service;
    int connect;
    int folder;
};
constexpr RootFolderCodes kCreateCodes{kLogTaskComSecurityFailed, kLogTaskServiceNotCreated,
                                       kLogTaskServiceNotConnected, kLogTaskRootFolderUnavailable};
constexpr RootFolderCodes kDeleteCodes{
    kLogDeleteTaskComSecurityFailed, kLogDeleteTaskServiceNotCreated,
    kLogDeleteTaskServiceNotConnected, kLogDeleteTaskRootFolderUnavailable};

// The process's COM security, the task service on the local machine and its
// root folder: the start both 2.0 procedures share.
bool openRootFolder(const Platform& platform, const RootFolderCodes& codes,
                    std::unique_ptr<TaskService>& service, std::unique_ptr<TaskFolder>& folder) {
    if (failed(platform.com->initializeSecurity(kRpcCAuthnLevelPktPrivacy,
                                                kRpcCImpLevelImpersonate))) {
        return logFailure(platform, codes.security);
    }
    if (failed(platform.taskScheduling->createTaskService(service))) {
        return logFailure(platform, codes.service);
    }
    if (failed(service->connect())) {
        return logFailure(platform, codes.connect);
    }
    if (failed(service->getFolder(kRootFolder, folder))) {
        return logFailure(platform, codes.folder);
    }
    return true;
}

// Both paths ask the scheduler to start a missed run later and to keep the
// task in the 2.0 form. A refused StartWhenAvailable is told on the console
// only, and nothing is registered.
bool putSharedSettings(const Platform& platform, TaskDefinition& definition,
                       std::unique_ptr<TaskSettings>& settings) {
    if (failed(definition.getSettings(settings))) {
        return logFailure(platform, kLogTaskSettingsUnavailable);
    }
    if (const HResult result = settings->putStartWhenAvailable(true); failed(result)) {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"%x", static_cast<unsigned>(result));
        platform.console->write(std::wstring(L"\nCannot put setting information: ") + hex);
        return false;
    }
    if (failed(settings->putCompatibility(kTaskCompatibilityV2))) {
        logFailure(platform, kLogTaskCompatibilityRejected);
    }
    return true;
}

// Makes the task run this program and nothing else. A stored task's actions
// are cleared first: a task of this name made by someone else must not go on
// running its own program once we register it as SYSTEM.
bool putProgramAction(const Platform& platform, TaskDefinition& definition,
                      const std::wstring& modulePath, bool clearStored) {
    std::unique_ptr<ActionCollection> actions;
    if (failed(definition.getActions(actions)) || (clearStored && failed(actions->clear()))) {
        return logFailure(platform, kLogTaskActionsUnavailable);
    }
    std::unique_ptr<Action> action;
    if (failed(actions->create(kTaskActionExec, action))) {
        return logFailure(platform, kLogTaskExecActionNotCreated);
    }
    std::unique_ptr<ExecAction> exec;
    if (failed(action->queryExecAction(exec))) {
        return logFailure(platform, kLogTaskExecActionUnavailable);
    }
    if (failed(exec->putPath(modulePath))) {
        return logFailure(platform, kLogTaskPathRejected);
    }
    return true;
}

HResult registerUpdateTask(TaskFolder& folder, TaskDefinition& definition) {
    return folder.registerTaskDefinition(kUpdateTaskName, definition, kTaskCreateOrUpdate,
                                         kSystemAccount, kTaskLogonInteractiveToken, L"");
}

// An existing task: its first trigger repeats hourly, two settings, its one
// action and the account change; the rest of it stays as stored.
bool updateTask(const Platform& platform, TaskFolder& folder,
                std::unique_ptr<RegisteredTask> registered, const std::wstring& modulePath) {
    std::unique_ptr<TaskDefinition> definition;
    const HResult got = registered->getDefinition(definition);
    registered.reset();
    if (failed(got)) {
        return logFailure(platform, kLogTaskDefinitionUnavailable);
    }
    std::unique_ptr<TriggerCollection> triggers;
    if (failed(definition->getTriggers(triggers))) {
        return logFailure(platform, kLogTaskTriggersUnavailable);
    }
    std::int32_t count = 0;
    if (failed(triggers->getCount(count))) {
        return logFailure(platform, kLogTaskTriggerCountUnavailable);
    }
    if (count < 1) {
        return logFailure(platform, kLogTaskHasNoTrigger);
    }
    std::unique_ptr<Trigger> first;
    if (failed(triggers->getItem(1, first))) {
        return logFailure(platform, kLogTaskFirstTriggerUnavailable);
    }
    std::unique_ptr<RepetitionPattern> repetition;
    if (failed(first->getRepetition(repetition))) {
        return logFailure(platform, kLogTaskRepetitionUnavailable);
    }
    if (failed(repetition->putInterval(kEveryHour))) {
        return logFailure(platform, kLogTaskIntervalRejected);
    }
    std::unique_ptr<TaskSettings> settings;
    if (!putSharedSettings(platform, *definition, settings) ||
        !putProgramAction(platform, *definition, modulePath, true)) {
        return false;
    }
    if (failed(registerUpdateTask(folder, *definition))) {
        return logFailure(platform, kLogTaskUpdateNotRegistered);
    }
    writeLog(platform, Info, logCodeMessage(kLogTaskUpdated));
    return true;
}

bool putNewTrigger(const Platform& platform, TaskDefinition& definition) {
    std::unique_ptr<TriggerCollection> triggers;
    if (failed(definition.getTriggers(triggers))) {
        return logFailure(platform, kLogTaskNewTriggersUnavailable);
    }
    std::unique_ptr<Trigger> trigger;
    if (failed(triggers->create(kTaskTriggerDaily, trigger))) {
        return logFailure(platform, kLogTaskDailyTriggerNotCreated);
    }
    std::unique_ptr<DailyTrigger> daily;
    if (failed(trigger->queryDailyTrigger(daily))) {
        return logFailure(platform, kLogTaskDailyTriggerUnavailable);
    }
    if (failed(daily->putId(kTriggerId))) {
        logFailure(platform, kLogTaskTriggerIdRejected);
    }
    if (failed(daily->putStartBoundary(randomStartBoundary(platform)))) {
        logFailure(platform, kLogTaskStartBoundaryRejected);
    }
    if (failed(daily->putDaysInterval(1))) {
        return logFailure(platform, kLogTaskDaysIntervalRejected);
    }
    std::unique_ptr<RepetitionPattern> repetition;
    if (failed(daily->getRepetition(repetition))) {
        return logFailure(platform, kLogTaskNewRepetitionUnavailable);
    }
    if (failed(repetition->putDuration(kForOneDay))) {
        return logFailure(platform, kLogTaskDurationRejected);
    }
    if (failed(repetition->putInterval(kEveryHour))) {
        return logFailure(platform, kLogTaskNewIntervalRejected);
    }
    return true;
}

bool createNewTask(const Platform& platform, std::unique_ptr<TaskService> service,
                   TaskFolder& folder, const std::wstring& modulePath) {
    std::unique_ptr<TaskDefinition> definition;
    const HResult made = service->newTask(0, definition);
    service.reset();
    if (failed(made)) {
        return logFailure(platform, kLogTaskNewDefinitionFailed);
    }
    std::unique_ptr<TaskSettings> settings;
    if (!putSharedSettings(platform, *definition, settings)) {
        return false;
    }
    if (failed(settings->putDisallowStartIfOnBatteries(false))) {
        logFailure(platform, kLogTaskBatterySettingRejected);
    }
    if (failed(settings->putRunOnlyIfNetworkAvailable(true))) {
        logFailure(platform, kLogTaskNetworkSettingRejected);
    }
    std::unique_ptr<RegistrationInfo> info;
    if (failed(definition->getRegistrationInfo(info))) {
        return logFailure(platform, kLogTaskRegistrationInfoUnavailable);
    }
    if (failed(info->putAuthor(kAuthor))) {
        return logFailure(platform, kLogTaskAuthorRejected);
    }
    const std::wstring description(loadLocalizedText(*platform.strings, kTaskDescriptionText));
    if (failed(info->putDescription(description))) {
        return logFailure(platform, kLogTaskDescriptionRejected);
    }
    if (!putNewTrigger(platform, *definition) ||
        !putProgramAction(platform, *definition, modulePath, false)) {
        return false;
    }
    if (failed(registerUpdateTask(folder, *definition))) {
        return logFailure(platform, kLogTaskNewNotRegistered);
    }
    writeLog(platform, Info, logCodeMessage(kLogTaskRegistered));
    return true;
}

bool createWithTaskService(const Platform& platform, const std::wstring& modulePath) {
    std::unique_ptr<TaskService> service;
    std::unique_ptr<TaskFolder> folder;
    if (!openRootFolder(platform, kCreateCodes, service, folder)) {
        return false;
    }
    // Whether the task exists is read from the pointer alone, not the status.
    std::unique_ptr<RegisteredTask> registered;
    folder->getTask(kUpdateTaskName, registered);
    if (registered) {
        service.reset();
        return updateTask(platform, *folder, std::move(registered), modulePath);
    }
    return createNewTask(platform, std::move(service), *folder, modulePath);
}

// --- Task Scheduler 1.0 ---

// The work item's one trigger: daily from 1 January 2000 at 00:mm, repeated
// hourly for a day; every other field zero.
WorkItemTriggerRecord dailyTriggerRecord(const Platform& platform) {
    WorkItemTriggerRecord record;
    record.beginYear = 2000;
    record.beginMonth = 1;
    record.beginDay = 1;
    std::uint32_t draw = 0;
    record.startMinute =
        static_cast<std::uint16_t>(platform.random->draw(draw) ? draw % kMinutesPerHour : 0);
    record.minutesDuration = kMinutesPerDay;
    record.minutesInterval = kMinutesPerHour;
    record.triggerType = kTaskTimeTriggerDaily;
    record.typeWords[0] = 1;  // Daily.DaysInterval
    return record;
}

// An existing work item: only its first trigger's interval changes.
bool updateWorkItem(const Platform& platform, WorkItem& item) {
    std::uint16_t count = 0;
    if (failed(item.getTriggerCount(count))) {
        return logFailure(platform, kLogWorkItemTriggerCountUnavailable);
    }
    if (count == 0) {
        return logFailure(platform, kLogWorkItemHasNoTrigger);
    }
    std::unique_ptr<WorkItemTrigger> trigger;
    if (failed(item.getTrigger(0, trigger))) {
        return logFailure(platform, kLogWorkItemTriggerUnavailable);
    }
    WorkItemTriggerRecord record;
    if (failed(trigger->getTrigger(record))) {
        return logFailure(platform, kLogWorkItemTriggerNotRead);
    }
    record.minutesInterval = kMinutesPerHour;
    if (failed(trigger->setTrigger(record))) {
        return logFailure(platform, kLogWorkItemTriggerNotWritten);
    }
    std::unique_ptr<WorkItemFile> file;
    if (failed(item.queryPersistFile(file))) {
        return logFailure(platform, kLogWorkItemUpdatePersistUnavailable);
    }
    if (failed(file->save())) {
        return logFailure(platform, kLogWorkItemUpdateNotSaved);
    }
    writeLog(platform, Info, logCodeMessage(kLogWorkItemUpdated));
    return true;
}

bool createNewWorkItem(const Platform& platform, std::unique_ptr<WorkItemScheduler> scheduler,
                       const std::wstring& modulePath) {
    std::unique_ptr<WorkItem> item;
    const HResult made = scheduler->newWorkItem(kUpdateTaskName, item);
    scheduler.reset();
    if (failed(made)) {
        return logFailure(platform, kLogWorkItemNotCreated);
    }
    // An empty account name is the local system account.
    if (failed(item->setAccountInformation(L""))) {
        return logFailure(platform, kLogWorkItemAccountRejected);
    }
    std::uint16_t index = 0;
    std::unique_ptr<WorkItemTrigger> trigger;
    if (failed(item->createTrigger(index, trigger))) {
        return logFailure(platform, kLogWorkItemTriggerNotCreated);
    }
    if (failed(item->setCreator(kAuthor))) {
        logFailure(platform, kLogWorkItemCreatorRejected, Warning);
    }
    const std::wstring comment(loadLocalizedText(*platform.strings, kTaskDescriptionText));
    if (failed(item->setComment(comment))) {
        logFailure(platform, kLogWorkItemCommentRejected, Warning);
    }
    if (failed(item->setApplicationName(modulePath))) {
        logFailure(platform, kLogWorkItemApplicationRejected, Warning);
    }
    if (failed(item->setFlags(kTaskFlagRunIfConnectedToInternet))) {
        logFailure(platform, kLogWorkItemFlagsRejected, Warning);
    }
    if (failed(trigger->setTrigger(dailyTriggerRecord(platform)))) {
        return logFailure(platform, kLogWorkItemTriggerNotSet);
    }
    std::unique_ptr<WorkItemFile> file;
    if (failed(item->queryPersistFile(file))) {
        return logFailure(platform, kLogWorkItemNewPersistUnavailable);
    }
    if (failed(file->save())) {
        return logFailure(platform, kLogWorkItemNewNotSaved);
    }
    writeLog(platform, Info, logCodeMessage(kLogWorkItemSaved));
    return true;
}

bool createWithWorkItemScheduler(const Platform& platform, const std::wstring& modulePath) {
    std::unique_ptr<WorkItemScheduler> scheduler;
    if (failed(platform.taskScheduling->createWorkItemScheduler(scheduler))) {
        return logFailure(platform, kLogWorkItemSchedulerNotCreated);
    }
    std::unique_ptr<WorkItem> item;
    const HResult activated = scheduler->activate(kUpdateTaskName, item);
    if (succeeded(activated)) {
        scheduler.reset();
        return updateWorkItem(platform, *item);
    }
    if (activated == kHResultFileNotFound) {
        return createNewWorkItem(platform, std::move(scheduler), modulePath);
    }
    return logFailure(platform, kLogWorkItemNotActivated);
}

}  // namespace

bool createUpdateTask(const Platform& platform, const std::wstring& modulePath) {
    std::unique_ptr<TaskRegistration> registration;
    try {
        registration = std::make_unique<TaskRegistration>(
            TaskRegistration{modulePath, schedulerVersion(platform)});
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::wstring& path = registration->modulePath;
    // Past the record, memory fails only in a text copy; leaving the
    // apartment on the way out is the apartment's own business.
    try {
        if (registration->schedulerVersion == 2) {
            return inApartment(platform, platform.com->initializeEx(kCoinitMultithreaded),
                               kLogTaskComNotInitialized,
                               [&] { return createWithTaskService(platform, path); });
        }
        return inApartment(platform, platform.com->initialize(), kLogWorkItemComNotInitialized,
                           [&] { return createWithWorkItemScheduler(platform, path); });
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool deleteUpdateTask(const Platform& platform) {
    try {
        if (schedulerVersion(platform) == 2) {
            return inApartment(platform, platform.com->initializeEx(kCoinitMultithreaded),
                               kLogDeleteTaskComNotInitialized, [&] {
                                   std::unique_ptr<TaskService> service;
                                   std::unique_ptr<TaskFolder> folder;
                                   return openRootFolder(platform, kDeleteCodes, service, folder) &&
                                          folder->deleteTask(kUpdateTaskName, 0) == kSOk;
                               });
        }
        return inApartment(
            platform, platform.com->initialize(), kLogDeleteWorkItemComNotInitialized, [&] {
                std::unique_ptr<WorkItemScheduler> scheduler;
                if (failed(platform.taskScheduling->createWorkItemScheduler(scheduler))) {
                    return logFailure(platform, kLogDeleteWorkItemSchedulerNotCreated);
                }
                return scheduler->deleteWorkItem(kUpdateTaskName) == kSOk;
            });
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::wstring randomStartBoundary(const Platform& platform) {
    std::uint32_t draw = 0;
    const std::uint32_t tens = platform.random->draw(draw) ? draw % 6 : 0;
    const std::uint32_t units = platform.random->draw(draw) ? draw % 10 : 0;
    std::wstring boundary = L"2000-01-01T00:00:00Z";
    boundary[12] = L'0';
    boundary[14] = static_cast<wchar_t>(L'0' + tens);
    boundary[15] = static_cast<wchar_t>(L'0' + units);
    return boundary;
}

}  // namespace korin
