#pragma once

// An in-memory Task Scheduler behind both object chains, and the COM
// runtime beside it (its joins).

#include "fakes/fault_injector.h"
#include "platform/com_runtime.h"
#include "task/task_scheduler.h"

#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace korin {

// Records compare field by field: the record has no padding.
inline bool operator==(const WorkItemTriggerRecord& a, const WorkItemTriggerRecord& b) {
    static_assert(sizeof(WorkItemTriggerRecord) == 48);
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

}  // namespace korin

namespace korin::testing {

// A 2.0 task as the store keeps it. A property the core never set stays
// empty (the scheduler's default).
struct FakeTask {
    struct Trigger {
        std::int32_t type = 0;
        std::wstring id;
        std::wstring startBoundary;
        std::optional<std::int16_t> daysInterval;
        std::wstring interval;
        std::wstring duration;
        bool operator==(const Trigger&) const = default;
    };
    struct Action {
        std::int32_t type = 0;
        std::wstring path;
        bool operator==(const Action&) const = default;
    };
    std::wstring author;
    std::wstring description;
    std::list<Trigger> triggers;
    std::list<Action> actions;
    std::optional<bool> startWhenAvailable;
    std::optional<std::int32_t> compatibility;
    std::optional<bool> disallowStartIfOnBatteries;
    std::optional<bool> runOnlyIfNetworkAvailable;
    // Given at registration.
    std::int32_t flags = 0;
    std::wstring user;
    std::int32_t logonType = 0;
    std::wstring sddl;
    bool operator==(const FakeTask&) const = default;
};

// A 1.0 work item as saved.
struct FakeWorkItem {
    std::optional<std::wstring> account;
    std::wstring creator;
    std::wstring comment;
    std::wstring applicationName;
    std::uint32_t flags = 0;
    std::list<WorkItemTriggerRecord> triggers;
    bool operator==(const FakeWorkItem&) const = default;
};
// Failures show a work item's fields, not its bytes.
void PrintTo(const FakeWorkItem& item, std::ostream* out);

// Tasks by name in the root folder (the only folder), work items by name. Every
// port method is a FaultInjector operation named as the method ("connect",
// "getTask", "putId", "setTrigger", ...), where two share a name as below:
// the collections' creates are "createTrigger" and "createAction", the
// action collection's clear "clearActions", the work item's trigger calls
// "getWorkItemTrigger" and "createWorkItemTrigger". An injected HRESULT is
// answered after setting the thread's last error to faultLastError. Objects
// work on copies until registerTaskDefinition or save, as the scheduler's do.
class FakeTaskScheduling final : public TaskScheduling {
  public:
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "activate", "clearActions", "connect", "createAction", "createTaskService",
        "createTrigger", "createWorkItemScheduler", "createWorkItemTrigger", "deleteTask",
        "deleteWorkItem", "getActions", "getCount", "getDefinition", "getFolder", "getItem",
        "getRegistrationInfo", "getRepetition", "getSettings", "getTask", "getTrigger",
        "getTriggerCount", "getTriggers", "getWorkItemTrigger", "newTask", "newWorkItem",
        "putAuthor", "putCompatibility", "putDaysInterval", "putDescription",
        "putDisallowStartIfOnBatteries", "putDuration", "putId", "putInterval", "putPath",
        "putRunOnlyIfNetworkAvailable", "putStartBoundary", "putStartWhenAvailable",
        "queryDailyTrigger", "queryExecAction", "queryPersistFile", "registerTaskDefinition",
        "save", "setAccountInformation", "setApplicationName", "setComment", "setCreator",
        "setFlags", "setTrigger",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::uint32_t faultLastError = 0;
    std::map<std::wstring, FakeTask> tasks;
    std::map<std::wstring, FakeWorkItem> workItems;
    // Objects handed out and not yet released.
    int liveObjects = 0;

    HResult createTaskService(std::unique_ptr<TaskService>& service) override;
    HResult createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) override;

    // The injected answer for this call, if any.
    std::optional<HResult> fault(const char* operation);
};

// Joins answer S_OK unless injected ("initializeEx", "initialize",
// "initializeSecurity"); every call is recorded with its arguments, and the
// objects still alive at each uninitialize.
class FakeComRuntime final : public ComRuntime {
  public:
    explicit FakeComRuntime(const FakeTaskScheduling& scheduling) : scheduling_(scheduling) {}
    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "initializeEx", "initialize", "initializeSecurity",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::vector<std::string> calls;
    std::vector<int> liveObjectsAtUninitialize;

    HResult initializeEx(std::uint32_t flags) override;
    HResult initialize() override;
    HResult initializeSecurity(std::uint32_t authenticationLevel,
                               std::uint32_t impersonationLevel) override;
    void uninitialize() override;

  private:
    const FakeTaskScheduling& scheduling_;
};

}  // namespace korin::testing
