#pragma once

// The port of the Task Scheduler's COM interfaces, one class per interface
// and one method per COM call: the 2.0 chain (ITaskService, ITaskFolder,
// IRegisteredTask, ITaskDefinition, ...) and the 1.0 chain (ITaskScheduler,
// ITask, ITaskTrigger, IPersistFile). Each call answers the HRESULT as a
// plain number and hands an obtained object out through a unique_ptr, whose
// destruction releases it; an object is filled only on success. Strings are
// wide strings: BSTR and VARIANT stay inside the Win32 adapter. COM does not
// set the thread's last error, and the adapters leave it as the call left it.

#include "platform/error_codes.h"
#include "platform/work_item_trigger.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

inline constexpr std::int32_t kTaskTriggerDaily = 2;
inline constexpr std::int32_t kTaskActionExec = 0;
inline constexpr std::int32_t kTaskCompatibilityV2 = 2;
inline constexpr std::int32_t kTaskCreateOrUpdate = 6;
inline constexpr std::int32_t kTaskLogonInteractiveToken = 3;
inline constexpr std::uint16_t kTaskTimeTriggerDaily = 1;
inline constexpr std::uint32_t kTaskFlagRunIfConnectedToInternet = 0x400;

// --- Task Scheduler 2.0 ---

class RepetitionPattern {
  public:
    virtual ~RepetitionPattern() = default;
    // IRepetitionPattern::put_Interval, put_Duration (ISO 8601 durations).
    virtual HResult putInterval(const std::wstring& interval) = 0;
    virtual HResult putDuration(const std::wstring& duration) = 0;
};

class DailyTrigger {
  public:
    virtual ~DailyTrigger() = default;
    // ITrigger::put_Id, put_StartBoundary; IDailyTrigger::put_DaysInterval.
    virtual HResult putId(const std::wstring& id) = 0;
    virtual HResult putStartBoundary(const std::wstring& boundary) = 0;
    virtual HResult putDaysInterval(std::int16_t days) = 0;
    // ITrigger::get_Repetition.
    virtual HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) = 0;
};

class Trigger {
  public:
    virtual ~Trigger() = default;
    // ITrigger::get_Repetition.
    virtual HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) = 0;
    // QueryInterface for IID_IDailyTrigger: E_NOINTERFACE for another kind.
    virtual HResult queryDailyTrigger(std::unique_ptr<DailyTrigger>& daily) = 0;
};

class TriggerCollection {
  public:
    virtual ~TriggerCollection() = default;
    // ITriggerCollection::get_Count.
    virtual HResult getCount(std::int32_t& count) = 0;
    // ITriggerCollection::get_Item: 1-based; E_INVALIDARG out of range.
    virtual HResult getItem(std::int32_t index, std::unique_ptr<Trigger>& trigger) = 0;
    // ITriggerCollection::Create.
    virtual HResult create(std::int32_t type, std::unique_ptr<Trigger>& trigger) = 0;
};

class ExecAction {
  public:
    virtual ~ExecAction() = default;
    // IExecAction::put_Path.
    virtual HResult putPath(const std::wstring& path) = 0;
};

class Action {
  public:
    virtual ~Action() = default;
    // QueryInterface for IID_IExecAction.
    virtual HResult queryExecAction(std::unique_ptr<ExecAction>& exec) = 0;
};

class ActionCollection {
  public:
    virtual ~ActionCollection() = default;
    // IActionCollection::Clear: the stored task's own actions go, so that the
    // one we create is the only one.
    virtual HResult clear() = 0;
    // IActionCollection::Create.
    virtual HResult create(std::int32_t type, std::unique_ptr<Action>& action) = 0;
};

class TaskSettings {
  public:
    virtual ~TaskSettings() = default;
    // ITaskSettings::put_StartWhenAvailable, put_Compatibility,
    // put_DisallowStartIfOnBatteries, put_RunOnlyIfNetworkAvailable.
    virtual HResult putStartWhenAvailable(bool value) = 0;
    virtual HResult putCompatibility(std::int32_t compatibility) = 0;
    virtual HResult putDisallowStartIfOnBatteries(bool value) = 0;
    virtual HResult putRunOnlyIfNetworkAvailable(bool value) = 0;
};

class RegistrationInfo {
  public:
    virtual ~RegistrationInfo() = default;
    // IRegistrationInfo::put_Author, put_Description.
    virtual HResult putAuthor(const std::wstring& author) = 0;
    virtual HResult putDescription(const std::wstring& description) = 0;
};

class TaskDefinition {
  public:
    virtual ~TaskDefinition() = default;
    // ITaskDefinition::get_Triggers, get_Settings, get_RegistrationInfo,
    // get_Actions.
    virtual HResult getTriggers(std::unique_ptr<TriggerCollection>& triggers) = 0;
    virtual HResult getSettings(std::unique_ptr<TaskSettings>& settings) = 0;
    virtual HResult getRegistrationInfo(std::unique_ptr<RegistrationInfo>& info) = 0;
    virtual HResult getActions(std::unique_ptr<ActionCollection>& actions) = 0;
};

class RegisteredTask {
  public:
    virtual ~RegisteredTask() = default;
    // IRegisteredTask::get_Definition.
    virtual HResult getDefinition(std::unique_ptr<TaskDefinition>& definition) = 0;
};

class TaskFolder {
  public:
    virtual ~TaskFolder() = default;
    // ITaskFolder::GetTask: HRESULT_FROM_WIN32(2) when no task has that name.
    virtual HResult getTask(const std::wstring& path, std::unique_ptr<RegisteredTask>& task) = 0;
    // ITaskFolder::RegisterTaskDefinition with user as a string variant, the
    // password an empty variant and sddl a string variant; the registered
    // task it hands back is released at once.
    virtual HResult registerTaskDefinition(const std::wstring& path, TaskDefinition& definition,
                                           std::int32_t flags, const std::wstring& user,
                                           std::int32_t logonType, const std::wstring& sddl) = 0;
    // ITaskFolder::DeleteTask: HRESULT_FROM_WIN32(2) when there is none.
    virtual HResult deleteTask(const std::wstring& name, std::int32_t flags) = 0;
};

class TaskService {
  public:
    virtual ~TaskService() = default;
    // ITaskService::Connect with four empty variants: the local machine, the
    // current user.
    virtual HResult connect() = 0;
    // ITaskService::GetFolder.
    virtual HResult getFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) = 0;
    // ITaskService::NewTask.
    virtual HResult newTask(std::uint32_t flags, std::unique_ptr<TaskDefinition>& definition) = 0;
};

// --- Task Scheduler 1.0 ---

class WorkItemTrigger {
  public:
    virtual ~WorkItemTrigger() = default;
    // ITaskTrigger::GetTrigger: record.triggerSize is read first.
    virtual HResult getTrigger(WorkItemTriggerRecord& record) = 0;
    // ITaskTrigger::SetTrigger.
    virtual HResult setTrigger(const WorkItemTriggerRecord& record) = 0;
};

class WorkItemFile {
  public:
    virtual ~WorkItemFile() = default;
    // IPersistFile::Save(NULL, TRUE).
    virtual HResult save() = 0;
};

class WorkItem {
  public:
    virtual ~WorkItem() = default;
    // ITask::GetTriggerCount, GetTrigger (0-based), CreateTrigger.
    virtual HResult getTriggerCount(std::uint16_t& count) = 0;
    virtual HResult getTrigger(std::uint16_t index, std::unique_ptr<WorkItemTrigger>& trigger) = 0;
    virtual HResult createTrigger(std::uint16_t& index,
                                  std::unique_ptr<WorkItemTrigger>& trigger) = 0;
    // ITask::SetAccountInformation with a null password.
    virtual HResult setAccountInformation(const std::wstring& accountName) = 0;
    // ITask::SetCreator, SetComment, SetApplicationName; IScheduledWorkItem::SetFlags.
    virtual HResult setCreator(const std::wstring& creator) = 0;
    virtual HResult setComment(const std::wstring& comment) = 0;
    virtual HResult setApplicationName(const std::wstring& applicationName) = 0;
    virtual HResult setFlags(std::uint32_t flags) = 0;
    // QueryInterface for IID_IPersistFile.
    virtual HResult queryPersistFile(std::unique_ptr<WorkItemFile>& file) = 0;
};

class WorkItemScheduler {
  public:
    virtual ~WorkItemScheduler() = default;
    // ITaskScheduler::Activate for IID_ITask: HRESULT_FROM_WIN32(2) when no
    // work item has that name.
    virtual HResult activate(const std::wstring& name, std::unique_ptr<WorkItem>& item) = 0;
    // ITaskScheduler::NewWorkItem (CLSID_CTask, IID_ITask): nothing is stored
    // before the work item's save; HRESULT_FROM_WIN32(80) when it exists.
    virtual HResult newWorkItem(const std::wstring& name, std::unique_ptr<WorkItem>& item) = 0;
    // ITaskScheduler::Delete.
    virtual HResult deleteWorkItem(const std::wstring& name) = 0;
};

// The roots of both chains: CoCreateInstance of an in-process server, in an
// apartment the caller has joined (CO_E_NOTINITIALIZED otherwise).
class TaskScheduling {
  public:
    virtual ~TaskScheduling() = default;
    // CoCreateInstance(CLSID_TaskScheduler, IID_ITaskService).
    virtual HResult createTaskService(std::unique_ptr<TaskService>& service) = 0;
    // CoCreateInstance(CLSID_CTaskScheduler, IID_ITaskScheduler).
    virtual HResult createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) = 0;
};

}  // namespace korin
