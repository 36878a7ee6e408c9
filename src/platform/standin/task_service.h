#pragma once

// The Task Scheduler's rules for its objects, over the machine's task store:
// what each call of the 2.0 and 1.0 object chains checks, the answer it
// gives, and where its value lands in the task. The stand-in's Task
// Scheduler adapter only hands the port's calls over to these.

#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/standin/task_store.h"
#include "platform/standin/task_xml.h"
#include "platform/work_item_trigger.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korin::standin {

// TASK_CREATION: the flag bits RegisterTaskDefinition knows.
inline constexpr std::int32_t kTaskValidateOnly = 0x1;
inline constexpr std::int32_t kTaskCreate = 0x2;
inline constexpr std::int32_t kTaskUpdate = 0x4;
inline constexpr std::int32_t kTaskDisable = 0x8;

// CoCreateInstance of a scheduler class: CO_E_NOTINITIALIZED until the
// calling thread joined an apartment.
HResult createSchedulerObject(bool comJoined);

// --- 2.0 ---

// What GetFolder and NewTask answer before ITaskService::Connect.
HResult requireConnection(bool connected);
// ITaskService::GetFolder: the folder as the store names it ("" for the
// root); HRESULT_FROM_WIN32(123) for a name Windows refuses, (2) for a
// folder that is not there.
HResult openTaskFolder(const TaskStore& store, const std::wstring& path, std::wstring& folder);
// A task's name is below its folder unless it starts at the root.
std::wstring taskPathIn(const std::wstring& folder, const std::wstring& name);
// ITaskService::NewTask: flags must be 0.
HResult newTask(std::uint32_t flags, std::unique_ptr<XmlElement>& task);
// ITaskFolder::RegisterTaskDefinition of a definition's task at its full
// path: the flags (create only: 183 when it exists; update only: 2 when it
// does not; validate only writes nothing), the required nodes, the account
// as the principal (the local system by its SID), the URI and the SDDL.
HResult registerTask(const TaskStore& store, const std::wstring& path, const XmlElement& definition,
                     std::int32_t flags, const std::wstring& user, std::int32_t logonType,
                     const std::wstring& sddl);
// ITaskFolder::DeleteTask: flags must be 0.
HResult deleteTask(const TaskStore& store, const std::wstring& path, std::int32_t flags);

// The parts of a definition, where Windows writes them.
std::int32_t triggerCount(const XmlElement& task);
// ITriggerCollection::get_Item, 1-based: null outside the collection.
XmlElement* triggerAt(const XmlElement& task, std::int32_t index);
// ITriggerCollection::Create: a TASK_TRIGGER_TYPE2 (E_INVALIDARG for
// another), enabled; a daily one every day.
HResult createTrigger(XmlElement& task, std::int32_t type, XmlElement*& trigger);
// Whether QueryInterface(IID_IDailyTrigger) of a trigger succeeds.
bool isDailyTrigger(const XmlElement& trigger);
void setTriggerId(XmlElement& trigger, const std::wstring& id);
void setStartBoundary(XmlElement& trigger, const std::wstring& boundary);
// IDailyTrigger::put_DaysInterval: E_INVALIDARG below 1.
HResult setDaysInterval(XmlElement& trigger, std::int16_t days);
// IRepetitionPattern's Interval and Duration.
void setRepetition(XmlElement& trigger, std::wstring_view name, const std::wstring& value);
// IActionCollection::Create: a TASK_ACTION_TYPE (E_INVALIDARG for another).
HResult createAction(XmlElement& task, std::int32_t type, XmlElement*& action);
// IActionCollection::Clear: every action goes; the Actions element and its
// Context stay.
void clearActions(XmlElement& task);
// Whether QueryInterface(IID_IExecAction) of an action succeeds.
bool isExecAction(const XmlElement& action);
void setExecPath(XmlElement& exec, const std::wstring& path);
// ITaskSettings' boolean properties.
void setTaskSetting(XmlElement& task, std::wstring_view name, bool value);
// ITaskSettings::put_Compatibility: TASK_COMPATIBILITY_AT (0) to V2_4 (6),
// written as the task's version; E_INVALIDARG otherwise.
HResult setCompatibility(XmlElement& task, std::int32_t compatibility);
// IRegistrationInfo's Author and Description.
void setRegistrationInfo(XmlElement& task, std::wstring_view name, const std::wstring& value);

// --- 1.0 ---

// What ITaskTrigger::SetTrigger accepts (E_INVALIDARG otherwise).
bool validWorkItemTrigger(const WorkItemTriggerRecord& record);
// ITaskTrigger::GetTrigger and SetTrigger of the work item's trigger index.
HResult getWorkItemTrigger(const WorkItemData& item, std::size_t index,
                           WorkItemTriggerRecord& record);
HResult setWorkItemTrigger(WorkItemData& item, std::size_t index,
                           const WorkItemTriggerRecord& record);
// ITask::GetTrigger: SCHED_E_TRIGGER_NOT_FOUND past the last.
HResult workItemTriggerExists(const WorkItemData& item, std::size_t index);
// ITask::CreateTrigger: a trigger that runs once, today at the current time.
HResult addWorkItemTrigger(WorkItemData& item, const SystemTime& now, std::uint16_t& index);
// ITaskScheduler::NewWorkItem checks the name at once (nothing is stored
// before the save): HRESULT_FROM_WIN32(80) when a work item has it.
HResult checkNewWorkItem(const TaskStore& store, const std::wstring& name);

}  // namespace korin::standin
