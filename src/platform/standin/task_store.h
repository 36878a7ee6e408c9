#pragma once

// The stand-in machine's Task Scheduler store, where Windows keeps it: 2.0
// tasks as Task Scheduler XML files below C:\Windows\System32\Tasks (a
// task's path below the root folder is its file's path there), 1.0 work
// items as C:\Windows\Tasks\<name>.job. Each file is written whole (to a
// new file that is then renamed over it), so a reader sees the old task or
// the new one. Answers are HRESULTs, as the Task Scheduler gives them.

#include "platform/standin/machine.h"
#include "platform/standin/task_xml.h"
#include "platform/error_codes.h"
#include "platform/work_item_trigger.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korin::standin {

inline constexpr wchar_t kTasksFolder[] = L"C:\\Windows\\System32\\Tasks";
inline constexpr wchar_t kWorkItemsFolder[] = L"C:\\Windows\\Tasks";

// The Task Scheduler's own codes for a task it cannot read.
inline constexpr HResult kSchedEInvalidTask = static_cast<HResult>(0x8004130Eu);
inline constexpr HResult kSchedETriggerNotFound = static_cast<HResult>(0x80041309u);
inline constexpr HResult kSchedEMissingNode = static_cast<HResult>(0x80041319u);
inline constexpr HResult kSchedEMalformedXml = static_cast<HResult>(0x8004131Au);

// A 1.0 work item's fields. The file is a text of "Field=value" lines (not
// the platform's binary .job layout).
struct WorkItemData {
    std::wstring applicationName;
    std::wstring parameters;
    std::wstring workingDirectory;
    std::wstring comment;
    std::wstring creator;
    std::wstring accountName;
    std::uint32_t flags = 0;
    std::vector<WorkItemTriggerRecord> triggers;
};

// A new task definition as ITaskService::NewTask gives it: the platform's
// default settings, one principal "Author", no trigger, no action.
std::unique_ptr<XmlElement> newTaskDefinition();

// Where Windows puts the children of a task's elements.
inline constexpr std::wstring_view kTaskOrder[] = {L"RegistrationInfo", L"Triggers", L"Principals",
                                                   L"Settings",         L"Data",     L"Actions"};
inline constexpr std::wstring_view kRegistrationInfoOrder[] = {L"Date",
                                                               L"Author",
                                                               L"Version",
                                                               L"Description",
                                                               L"Documentation",
                                                               L"URI",
                                                               L"SecurityDescriptor",
                                                               L"Source"};
inline constexpr std::wstring_view kTriggerOrder[] = {
    L"Repetition",      L"StartBoundary",
    L"EndBoundary",     L"ExecutionTimeLimit",
    L"Enabled",         L"RandomDelay",
    L"ScheduleByDay",   L"ScheduleByWeek",
    L"ScheduleByMonth", L"ScheduleByMonthDayOfWeek"};
inline constexpr std::wstring_view kRepetitionOrder[] = {L"Interval", L"Duration",
                                                         L"StopAtDurationEnd"};
inline constexpr std::wstring_view kPrincipalOrder[] = {L"UserId", L"GroupId", L"LogonType",
                                                        L"RunLevel"};
inline constexpr std::wstring_view kSettingsOrder[] = {L"MultipleInstancesPolicy",
                                                       L"DisallowStartIfOnBatteries",
                                                       L"StopIfGoingOnBatteries",
                                                       L"AllowHardTerminate",
                                                       L"StartWhenAvailable",
                                                       L"RunOnlyIfNetworkAvailable",
                                                       L"IdleSettings",
                                                       L"AllowStartOnDemand",
                                                       L"Enabled",
                                                       L"Hidden",
                                                       L"RunOnlyIfIdle",
                                                       L"WakeToRun",
                                                       L"ExecutionTimeLimit",
                                                       L"Priority"};
inline constexpr std::wstring_view kExecOrder[] = {L"Command", L"Arguments", L"WorkingDirectory"};

// What registration asks of a task: an action, and a program for each
// program action (SCHED_E_MISSINGNODE otherwise).
bool hasRequiredNodes(const XmlElement& task);

class TaskStore {
  public:
    explicit TaskStore(const Machine& machine) : machine_(machine) {}

    const Machine& machine() const { return machine_; }

    // 2.0 tasks by their path below the root folder ("\A\B" or "A\B").
    // HRESULT_FROM_WIN32(2) for a missing task, SCHED_E_MALFORMEDXML for a
    // file that is not a task within the bounds, HRESULT_FROM_WIN32(123) for
    // a name Windows refuses.
    HResult readTask(const std::wstring& path, std::unique_ptr<XmlElement>& task) const;
    HResult writeTask(const std::wstring& path, const XmlElement& task) const;
    HResult deleteTask(const std::wstring& path) const;
    bool taskExists(const std::wstring& path) const;
    bool folderExists(const std::wstring& path) const;
    // Every task's path ("\A\B"), sorted.
    std::vector<std::wstring> taskPaths() const;
    // The task's path as the store names it: a leading "\", no empty part.
    static bool normalTaskPath(const std::wstring& path, std::wstring& normal);

    // 1.0 work items by name, the same codes; SCHED_E_INVALID_TASK for a
    // file that is not a work item.
    HResult readWorkItem(const std::wstring& name, WorkItemData& item) const;
    HResult writeWorkItem(const std::wstring& name, const WorkItemData& item) const;
    HResult deleteWorkItem(const std::wstring& name) const;
    bool workItemExists(const std::wstring& name) const;
    std::vector<std::wstring> workItemNames() const;
    // The work item file's text as it is stored.
    static std::string workItemText(const WorkItemData& item);

  private:
    std::string taskFile(const std::wstring& normalPath) const;
    std::string workItemFile(const std::wstring& name) const;
    HResult writeWhole(const std::string& file, const std::string& bytes) const;
    const Machine& machine_;
};

}  // namespace korin::standin
