#include "platform/standin/task_service.h"

#include "ground/text.h"

#include <algorithm>
#include <utility>

namespace korin::standin {

namespace {

constexpr std::int32_t kTriggerTypeDaily = 2;      // TASK_TRIGGER_DAILY
constexpr std::uint16_t kTimeTriggerDaily = 1;     // TASK_TIME_TRIGGER_DAILY
constexpr std::uint16_t kTimeTriggerTypeLast = 7;  // TASK_EVENT_TRIGGER_AT_LOGON
constexpr std::int32_t kLogonTypeGroup = 4;        // TASK_LOGON_GROUP

// TASK_TRIGGER_TYPE2 and the element each kind is written as.
struct TriggerKind {
    std::int32_t type;
    const wchar_t* element;
    const wchar_t* schedule;
};
constexpr TriggerKind kTriggerKinds[] = {{0, L"EventTrigger", nullptr},
                                         {1, L"TimeTrigger", nullptr},
                                         {2, L"CalendarTrigger", L"ScheduleByDay"},
                                         {3, L"CalendarTrigger", L"ScheduleByWeek"},
                                         {4, L"CalendarTrigger", L"ScheduleByMonth"},
                                         {5, L"CalendarTrigger", L"ScheduleByMonthDayOfWeek"},
                                         {6, L"IdleTrigger", nullptr},
                                         {7, L"RegistrationTrigger", nullptr},
                                         {8, L"BootTrigger", nullptr},
                                         {9, L"LogonTrigger", nullptr},
                                         {11, L"SessionStateChangeTrigger", nullptr}};

// TASK_ACTION_TYPE and the element each kind is written as.
constexpr std::pair<std::int32_t, const wchar_t*> kActionKinds[] = {
    {0, L"Exec"}, {5, L"ComHandler"}, {6, L"SendEmail"}, {7, L"ShowMessage"}};

// TASK_LOGON_TYPE as the file names it; none for no logon, a group or a
// service account.
const wchar_t* logonTypeName(std::int32_t logonType) {
    switch (logonType) {
        case 1:
            return L"Password";
        case 2:
            return L"S4U";
        case 3:
            return L"InteractiveToken";
        case 6:
            return L"InteractiveTokenOrPassword";
        default:
            return nullptr;
    }
}

// The account given at registration becomes the task's principal; the
// local system is kept by its SID, as Windows writes it.
void applyPrincipal(XmlElement& task, const std::wstring& user, std::int32_t logonType) {
    if (user.empty()) {
        return;  // the definition's own principal stays
    }
    XmlElement& principals = task.ensureChild(L"Principals", kTaskOrder);
    XmlElement* principal = principals.child(L"Principal");
    if (principal == nullptr) {
        principal = &principals.appendChild(L"Principal");
        principal->setAttribute(L"id", L"Author");
    }
    std::erase_if(principal->children, [](const auto& element) {
        return element->name == L"UserId" || element->name == L"GroupId" ||
               element->name == L"LogonType";
    });
    const bool system = equalsIgnoreCase(user, L"SYSTEM") ||
                        equalsIgnoreCase(user, L"NT AUTHORITY\\SYSTEM") || user == L"S-1-5-18";
    const bool group = logonType == kLogonTypeGroup;
    principal->ensureChild(group ? L"GroupId" : L"UserId", kPrincipalOrder).text =
        system ? L"S-1-5-18" : user;
    if (const wchar_t* name = logonTypeName(logonType)) {
        principal->ensureChild(L"LogonType", kPrincipalOrder).text = name;
    }
}

}  // namespace

HResult createSchedulerObject(bool comJoined) {
    return comJoined ? kSOk : kCoENotInitialized;
}

HResult requireConnection(bool connected) {
    return connected ? kSOk : hresultFromWin32(kErrorOnlyIfConnected);
}

HResult openTaskFolder(const TaskStore& store, const std::wstring& path, std::wstring& folder) {
    std::wstring normal;
    if (!path.empty() && path != L"\\" && !TaskStore::normalTaskPath(path, normal)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    if (!store.folderExists(normal)) {
        return kHResultFileNotFound;
    }
    folder = std::move(normal);
    return kSOk;
}

std::wstring taskPathIn(const std::wstring& folder, const std::wstring& name) {
    return !name.empty() && name[0] == L'\\' ? name : folder + L"\\" + name;
}

HResult newTask(std::uint32_t flags, std::unique_ptr<XmlElement>& task) {
    if (flags != 0) {
        return kEInvalidArg;
    }
    task = newTaskDefinition();
    return kSOk;
}

HResult registerTask(const TaskStore& store, const std::wstring& path, const XmlElement& definition,
                     std::int32_t flags, const std::wstring& user, std::int32_t logonType,
                     const std::wstring& sddl) {
    if ((flags & (kTaskValidateOnly | kTaskCreate | kTaskUpdate)) == 0) {
        return kEInvalidArg;
    }
    if (!hasRequiredNodes(definition)) {
        return kSchedEMissingNode;
    }
    if ((flags & (kTaskCreate | kTaskUpdate)) == 0) {
        return kSOk;  // validated only
    }
    std::wstring normal;
    if (!TaskStore::normalTaskPath(path, normal)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    const bool exists = store.taskExists(normal);
    if (exists && (flags & kTaskUpdate) == 0) {
        return hresultFromWin32(kErrorAlreadyExists);
    }
    if (!exists && (flags & kTaskCreate) == 0) {
        return kHResultFileNotFound;
    }
    const std::unique_ptr<XmlElement> task = definition.clone();
    applyPrincipal(*task, user, logonType);
    XmlElement& info = task->ensureChild(L"RegistrationInfo", kTaskOrder);
    info.ensureChild(L"URI", kRegistrationInfoOrder).text = normal;
    if (!sddl.empty()) {
        info.ensureChild(L"SecurityDescriptor", kRegistrationInfoOrder).text = sddl;
    }
    if ((flags & kTaskDisable) != 0) {
        setTaskSetting(*task, L"Enabled", false);
    }
    return store.writeTask(normal, *task);
}

HResult deleteTask(const TaskStore& store, const std::wstring& path, std::int32_t flags) {
    if (flags != 0) {
        return kEInvalidArg;
    }
    return store.deleteTask(path);
}

std::int32_t triggerCount(const XmlElement& task) {
    const XmlElement* triggers = task.child(L"Triggers");
    return triggers != nullptr ? static_cast<std::int32_t>(triggers->children.size()) : 0;
}

XmlElement* triggerAt(const XmlElement& task, std::int32_t index) {
    if (index < 1 || index > triggerCount(task)) {
        return nullptr;
    }
    return task.child(L"Triggers")->children[static_cast<std::size_t>(index - 1)].get();
}

HResult createTrigger(XmlElement& task, std::int32_t type, XmlElement*& trigger) {
    const auto kind = std::find_if(std::begin(kTriggerKinds), std::end(kTriggerKinds),
                                   [&](const TriggerKind& known) { return known.type == type; });
    if (kind == std::end(kTriggerKinds)) {
        return kEInvalidArg;
    }
    auto made = std::make_unique<XmlElement>(kind->element);
    made->ensureChild(L"Enabled", kTriggerOrder).text = L"true";
    if (kind->schedule != nullptr) {
        XmlElement& schedule = made->ensureChild(kind->schedule, kTriggerOrder);
        if (type == kTriggerTypeDaily) {
            schedule.appendChild(L"DaysInterval").text = L"1";
        }
    }
    XmlElement& triggers = task.ensureChild(L"Triggers", kTaskOrder);
    triggers.children.push_back(std::move(made));
    trigger = triggers.children.back().get();
    return kSOk;
}

bool isDailyTrigger(const XmlElement& trigger) {
    return trigger.name == L"CalendarTrigger" && trigger.child(L"ScheduleByDay") != nullptr;
}

void setTriggerId(XmlElement& trigger, const std::wstring& id) {
    trigger.setAttribute(L"id", id);
}

void setStartBoundary(XmlElement& trigger, const std::wstring& boundary) {
    trigger.ensureChild(L"StartBoundary", kTriggerOrder).text = boundary;
}

HResult setDaysInterval(XmlElement& trigger, std::int16_t days) {
    if (days < 1) {
        return kEInvalidArg;
    }
    trigger.ensureChild(L"ScheduleByDay", kTriggerOrder).ensureChild(L"DaysInterval", {}).text =
        std::to_wstring(days);
    return kSOk;
}

void setRepetition(XmlElement& trigger, std::wstring_view name, const std::wstring& value) {
    trigger.ensureChild(L"Repetition", kTriggerOrder).ensureChild(name, kRepetitionOrder).text =
        value;
}

HResult createAction(XmlElement& task, std::int32_t type, XmlElement*& action) {
    for (const auto& [kind, element] : kActionKinds) {
        if (kind == type) {
            action = &task.ensureChild(L"Actions", kTaskOrder).appendChild(element);
            return kSOk;
        }
    }
    return kEInvalidArg;
}

void clearActions(XmlElement& task) {
    if (XmlElement* actions = task.child(L"Actions")) {
        actions->children.clear();
    }
}

bool isExecAction(const XmlElement& action) {
    return action.name == L"Exec";
}

void setExecPath(XmlElement& exec, const std::wstring& path) {
    exec.ensureChild(L"Command", kExecOrder).text = path;
}

void setTaskSetting(XmlElement& task, std::wstring_view name, bool value) {
    task.ensureChild(L"Settings", kTaskOrder).ensureChild(name, kSettingsOrder).text =
        value ? L"true" : L"false";
}

HResult setCompatibility(XmlElement& task, std::int32_t compatibility) {
    if (compatibility < 0 || compatibility > 6) {
        return kEInvalidArg;
    }
    task.setAttribute(L"version", L"1." + std::to_wstring(compatibility));
    return kSOk;
}

void setRegistrationInfo(XmlElement& task, std::wstring_view name, const std::wstring& value) {
    task.ensureChild(L"RegistrationInfo", kTaskOrder)
        .ensureChild(name, kRegistrationInfoOrder)
        .text = value;
}

bool validWorkItemTrigger(const WorkItemTriggerRecord& record) {
    return record.triggerSize == 48 && record.triggerType <= kTimeTriggerTypeLast &&
           record.beginMonth >= 1 && record.beginMonth <= 12 && record.beginDay >= 1 &&
           record.beginDay <= 31 && record.startHour < 24 && record.startMinute < 60 &&
           (record.minutesInterval == 0 || record.minutesInterval < record.minutesDuration) &&
           (record.triggerType != kTimeTriggerDaily || record.typeWords[0] != 0);
}

HResult getWorkItemTrigger(const WorkItemData& item, std::size_t index,
                           WorkItemTriggerRecord& record) {
    if (record.triggerSize != 48) {
        return kEInvalidArg;
    }
    if (index >= item.triggers.size()) {
        return kSchedETriggerNotFound;
    }
    record = item.triggers[index];
    return kSOk;
}

HResult setWorkItemTrigger(WorkItemData& item, std::size_t index,
                           const WorkItemTriggerRecord& record) {
    if (!validWorkItemTrigger(record)) {
        return kEInvalidArg;
    }
    if (index >= item.triggers.size()) {
        return kSchedETriggerNotFound;
    }
    item.triggers[index] = record;
    return kSOk;
}

HResult workItemTriggerExists(const WorkItemData& item, std::size_t index) {
    return index < item.triggers.size() ? kSOk : kSchedETriggerNotFound;
}

HResult addWorkItemTrigger(WorkItemData& item, const SystemTime& now, std::uint16_t& index) {
    if (item.triggers.size() >= 0xFFFF) {
        return kEInvalidArg;
    }
    WorkItemTriggerRecord made;
    made.beginYear = now.year;
    made.beginMonth = now.month;
    made.beginDay = now.day;
    made.startHour = now.hour;
    made.startMinute = now.minute;
    item.triggers.push_back(made);
    index = static_cast<std::uint16_t>(item.triggers.size() - 1);
    return kSOk;
}

HResult checkNewWorkItem(const TaskStore& store, const std::wstring& name) {
    WorkItemData stored;
    const HResult check = store.readWorkItem(name, stored);
    if (check != kHResultFileNotFound) {
        return succeeded(check) ? hresultFromWin32(kErrorFileExists) : check;
    }
    return kSOk;
}

}  // namespace korin::standin
