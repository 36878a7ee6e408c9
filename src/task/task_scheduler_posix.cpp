#include "task/task_scheduler_posix.h"

#include "platform/adapters_posix.h"
#include "platform/standin/task_store.h"
#include "support/text.h"

#include <new>
#include <type_traits>
#include <utility>

namespace korin {

namespace {

using standin::TaskStore;
using standin::XmlElement;
using Tree = std::shared_ptr<XmlElement>;

// The Task Scheduler 2.0 flag bits RegisterTaskDefinition knows.
constexpr std::int32_t kTaskValidateOnly = 0x1;
constexpr std::int32_t kTaskCreate = 0x2;
constexpr std::int32_t kTaskUpdate = 0x4;
constexpr std::int32_t kTaskDisable = 0x8;
constexpr std::uint16_t kTriggerTypeLast = 7;  // TASK_EVENT_TRIGGER_AT_LOGON

// Running out of memory is the one exception a call can meet; it answers
// E_OUTOFMEMORY as COM would.
template <typename Call>
HResult guarded(Call&& call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

// --- 2.0: every object of a definition shares its tree ---

class StandInRepetitionPattern final : public RepetitionPattern {
  public:
    StandInRepetitionPattern(Tree tree, XmlElement& trigger)
        : tree_(std::move(tree)), trigger_(trigger) {}
    HResult putInterval(const std::wstring& interval) override {
        return put(L"Interval", interval);
    }
    HResult putDuration(const std::wstring& duration) override {
        return put(L"Duration", duration);
    }

  private:
    HResult put(std::wstring_view name, const std::wstring& value) {
        return guarded([&] {
            trigger_.ensureChild(L"Repetition", standin::kTriggerOrder)
                .ensureChild(name, standin::kRepetitionOrder)
                .text = value;
            return kSOk;
        });
    }
    Tree tree_;
    XmlElement& trigger_;
};

HResult repetitionOf(const Tree& tree, XmlElement& trigger,
                     std::unique_ptr<RepetitionPattern>& repetition) {
    return guarded([&] {
        repetition = std::make_unique<StandInRepetitionPattern>(tree, trigger);
        return kSOk;
    });
}

class StandInDailyTrigger final : public DailyTrigger {
  public:
    StandInDailyTrigger(Tree tree, XmlElement& trigger) : tree_(std::move(tree)), trigger_(trigger) {}
    HResult putId(const std::wstring& id) override {
        return guarded([&] {
            trigger_.setAttribute(L"id", id);
            return kSOk;
        });
    }
    HResult putStartBoundary(const std::wstring& boundary) override {
        return guarded([&] {
            trigger_.ensureChild(L"StartBoundary", standin::kTriggerOrder).text = boundary;
            return kSOk;
        });
    }
    HResult putDaysInterval(std::int16_t days) override {
        if (days < 1) {
            return kEInvalidArg;
        }
        return guarded([&] {
            trigger_.ensureChild(L"ScheduleByDay", standin::kTriggerOrder)
                .ensureChild(L"DaysInterval", {})
                .text = std::to_wstring(days);
            return kSOk;
        });
    }
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        return repetitionOf(tree_, trigger_, repetition);
    }

  private:
    Tree tree_;
    XmlElement& trigger_;
};

class StandInTrigger final : public Trigger {
  public:
    StandInTrigger(Tree tree, XmlElement& trigger) : tree_(std::move(tree)), trigger_(trigger) {}
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        return repetitionOf(tree_, trigger_, repetition);
    }
    HResult queryDailyTrigger(std::unique_ptr<DailyTrigger>& daily) override {
        if (trigger_.name != L"CalendarTrigger" || trigger_.child(L"ScheduleByDay") == nullptr) {
            return kENoInterface;
        }
        return guarded([&] {
            daily = std::make_unique<StandInDailyTrigger>(tree_, trigger_);
            return kSOk;
        });
    }

  private:
    Tree tree_;
    XmlElement& trigger_;
};

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

class StandInTriggerCollection final : public TriggerCollection {
  public:
    explicit StandInTriggerCollection(Tree tree) : tree_(std::move(tree)) {}
    HResult getCount(std::int32_t& count) override {
        const XmlElement* triggers = tree_->child(L"Triggers");
        count = triggers != nullptr ? static_cast<std::int32_t>(triggers->children.size()) : 0;
        return kSOk;
    }
    HResult getItem(std::int32_t index, std::unique_ptr<Trigger>& trigger) override {
        std::int32_t count = 0;
        getCount(count);
        if (index < 1 || index > count) {
            return kEInvalidArg;
        }
        return guarded([&] {
            trigger = std::make_unique<StandInTrigger>(
                tree_, *tree_->child(L"Triggers")->children[static_cast<std::size_t>(index - 1)]);
            return kSOk;
        });
    }
    HResult create(std::int32_t type, std::unique_ptr<Trigger>& trigger) override {
        for (const TriggerKind& kind : kTriggerKinds) {
            if (kind.type != type) {
                continue;
            }
            return guarded([&] {
                auto made = std::make_unique<XmlElement>(kind.element);
                made->ensureChild(L"Enabled", standin::kTriggerOrder).text = L"true";
                if (kind.schedule != nullptr) {
                    XmlElement& schedule = made->ensureChild(kind.schedule, standin::kTriggerOrder);
                    if (type == kTaskTriggerDaily) {
                        schedule.appendChild(L"DaysInterval").text = L"1";
                    }
                }
                XmlElement& triggers = tree_->ensureChild(L"Triggers", standin::kTaskOrder);
                triggers.children.push_back(std::move(made));
                trigger = std::make_unique<StandInTrigger>(tree_, *triggers.children.back());
                return kSOk;
            });
        }
        return kEInvalidArg;
    }

  private:
    Tree tree_;
};

class StandInExecAction final : public ExecAction {
  public:
    StandInExecAction(Tree tree, XmlElement& exec) : tree_(std::move(tree)), exec_(exec) {}
    HResult putPath(const std::wstring& path) override {
        return guarded([&] {
            exec_.ensureChild(L"Command", standin::kExecOrder).text = path;
            return kSOk;
        });
    }

  private:
    Tree tree_;
    XmlElement& exec_;
};

class StandInAction final : public Action {
  public:
    StandInAction(Tree tree, XmlElement& action) : tree_(std::move(tree)), action_(action) {}
    HResult queryExecAction(std::unique_ptr<ExecAction>& exec) override {
        if (action_.name != L"Exec") {
            return kENoInterface;
        }
        return guarded([&] {
            exec = std::make_unique<StandInExecAction>(tree_, action_);
            return kSOk;
        });
    }

  private:
    Tree tree_;
    XmlElement& action_;
};

// TASK_ACTION_TYPE and the element each kind is written as.
constexpr std::pair<std::int32_t, const wchar_t*> kActionKinds[] = {
    {0, L"Exec"}, {5, L"ComHandler"}, {6, L"SendEmail"}, {7, L"ShowMessage"}};

class StandInActionCollection final : public ActionCollection {
  public:
    explicit StandInActionCollection(Tree tree) : tree_(std::move(tree)) {}
    HResult create(std::int32_t type, std::unique_ptr<Action>& action) override {
        for (const auto& kind : kActionKinds) {
            const wchar_t* element = kind.second;
            if (kind.first == type) {
                return guarded([&] {
                    XmlElement& made =
                        tree_->ensureChild(L"Actions", standin::kTaskOrder).appendChild(element);
                    action = std::make_unique<StandInAction>(tree_, made);
                    return kSOk;
                });
            }
        }
        return kEInvalidArg;
    }
    // IActionCollection::Clear: every action goes; the Actions element and
    // its Context stay.
    HResult clear() override {
        if (XmlElement* actions = tree_->child(L"Actions")) {
            actions->children.clear();
        }
        return kSOk;
    }

  private:
    Tree tree_;
};

class StandInTaskSettings final : public TaskSettings {
  public:
    explicit StandInTaskSettings(Tree tree) : tree_(std::move(tree)) {}
    HResult putStartWhenAvailable(bool value) override { return put(L"StartWhenAvailable", value); }
    HResult putCompatibility(std::int32_t compatibility) override {
        // TASK_COMPATIBILITY_AT (0) to V2_4 (6); the file says it as its version.
        if (compatibility < 0 || compatibility > 6) {
            return kEInvalidArg;
        }
        return guarded([&] {
            tree_->setAttribute(L"version", L"1." + std::to_wstring(compatibility));
            return kSOk;
        });
    }
    HResult putDisallowStartIfOnBatteries(bool value) override {
        return put(L"DisallowStartIfOnBatteries", value);
    }
    HResult putRunOnlyIfNetworkAvailable(bool value) override {
        return put(L"RunOnlyIfNetworkAvailable", value);
    }

  private:
    HResult put(std::wstring_view name, bool value) {
        return guarded([&] {
            tree_->ensureChild(L"Settings", standin::kTaskOrder)
                .ensureChild(name, standin::kSettingsOrder)
                .text = value ? L"true" : L"false";
            return kSOk;
        });
    }
    Tree tree_;
};

class StandInRegistrationInfo final : public RegistrationInfo {
  public:
    explicit StandInRegistrationInfo(Tree tree) : tree_(std::move(tree)) {}
    HResult putAuthor(const std::wstring& author) override { return put(L"Author", author); }
    HResult putDescription(const std::wstring& description) override {
        return put(L"Description", description);
    }

  private:
    HResult put(std::wstring_view name, const std::wstring& value) {
        return guarded([&] {
            tree_->ensureChild(L"RegistrationInfo", standin::kTaskOrder)
                .ensureChild(name, standin::kRegistrationInfoOrder)
                .text = value;
            return kSOk;
        });
    }
    Tree tree_;
};

class StandInTaskDefinition final : public TaskDefinition {
  public:
    explicit StandInTaskDefinition(Tree tree) : tree_(std::move(tree)) {}
    HResult getTriggers(std::unique_ptr<TriggerCollection>& triggers) override {
        return make(triggers);
    }
    HResult getSettings(std::unique_ptr<TaskSettings>& settings) override { return make(settings); }
    HResult getRegistrationInfo(std::unique_ptr<RegistrationInfo>& info) override {
        return make(info);
    }
    HResult getActions(std::unique_ptr<ActionCollection>& actions) override {
        return make(actions);
    }
    const XmlElement& task() const { return *tree_; }

  private:
    template <typename Object>
    HResult make(std::unique_ptr<Object>& object) {
        return guarded([&] {
            if constexpr (std::is_same_v<Object, TriggerCollection>) {
                object = std::make_unique<StandInTriggerCollection>(tree_);
            } else if constexpr (std::is_same_v<Object, TaskSettings>) {
                object = std::make_unique<StandInTaskSettings>(tree_);
            } else if constexpr (std::is_same_v<Object, RegistrationInfo>) {
                object = std::make_unique<StandInRegistrationInfo>(tree_);
            } else {
                object = std::make_unique<StandInActionCollection>(tree_);
            }
            return kSOk;
        });
    }
    Tree tree_;
};

HResult definitionOf(const XmlElement& task, std::unique_ptr<TaskDefinition>& definition) {
    return guarded([&] {
        definition = std::make_unique<StandInTaskDefinition>(Tree(task.clone()));
        return kSOk;
    });
}

class StandInRegisteredTask final : public RegisteredTask {
  public:
    explicit StandInRegisteredTask(std::unique_ptr<XmlElement> task) : task_(std::move(task)) {}
    // A definition of its own: changes reach the store only by registration.
    HResult getDefinition(std::unique_ptr<TaskDefinition>& definition) override {
        return definitionOf(*task_, definition);
    }

  private:
    std::unique_ptr<XmlElement> task_;
};

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
    XmlElement& principals = task.ensureChild(L"Principals", standin::kTaskOrder);
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
    const bool group = logonType == 4;
    principal->ensureChild(group ? L"GroupId" : L"UserId", standin::kPrincipalOrder).text =
        system ? L"S-1-5-18" : user;
    if (const wchar_t* name = logonTypeName(logonType)) {
        principal->ensureChild(L"LogonType", standin::kPrincipalOrder).text = name;
    }
}

class StandInTaskFolder final : public TaskFolder {
  public:
    StandInTaskFolder(TaskStore store, std::wstring path) : store_(store), path_(std::move(path)) {}

    HResult getTask(const std::wstring& path, std::unique_ptr<RegisteredTask>& task) override {
        return guarded([&] {
            std::unique_ptr<XmlElement> stored;
            const HResult result = store_.readTask(taskPath(path), stored);
            if (succeeded(result)) {
                task = std::make_unique<StandInRegisteredTask>(std::move(stored));
            }
            return result;
        });
    }

    HResult registerTaskDefinition(const std::wstring& path, TaskDefinition& definition,
                                   std::int32_t flags, const std::wstring& user,
                                   std::int32_t logonType, const std::wstring& sddl) override {
        const auto* mine = dynamic_cast<const StandInTaskDefinition*>(&definition);
        if (mine == nullptr || (flags & (kTaskValidateOnly | kTaskCreate | kTaskUpdate)) == 0) {
            return kEInvalidArg;
        }
        if (!standin::hasRequiredNodes(mine->task())) {
            return standin::kSchedEMissingNode;
        }
        if ((flags & (kTaskCreate | kTaskUpdate)) == 0) {
            return kSOk;  // validated only
        }
        return guarded([&] {
            const std::wstring full = taskPath(path);
            std::wstring normal;
            if (!TaskStore::normalTaskPath(full, normal)) {
                return hresultFromWin32(kErrorInvalidName);
            }
            const bool exists = store_.taskExists(normal);
            if (exists && (flags & kTaskUpdate) == 0) {
                return hresultFromWin32(kErrorAlreadyExists);
            }
            if (!exists && (flags & kTaskCreate) == 0) {
                return kHResultFileNotFound;
            }
            const std::unique_ptr<XmlElement> task = mine->task().clone();
            applyPrincipal(*task, user, logonType);
            XmlElement& info = task->ensureChild(L"RegistrationInfo", standin::kTaskOrder);
            info.ensureChild(L"URI", standin::kRegistrationInfoOrder).text = normal;
            if (!sddl.empty()) {
                info.ensureChild(L"SecurityDescriptor", standin::kRegistrationInfoOrder).text =
                    sddl;
            }
            if ((flags & kTaskDisable) != 0) {
                task->ensureChild(L"Settings", standin::kTaskOrder)
                    .ensureChild(L"Enabled", standin::kSettingsOrder)
                    .text = L"false";
            }
            return store_.writeTask(normal, *task);
        });
    }

    HResult deleteTask(const std::wstring& name, std::int32_t flags) override {
        if (flags != 0) {
            return kEInvalidArg;
        }
        return guarded([&] { return store_.deleteTask(taskPath(name)); });
    }

  private:
    // A name is below this folder unless it starts at the root.
    std::wstring taskPath(const std::wstring& name) const {
        return !name.empty() && name[0] == L'\\' ? name : path_ + L"\\" + name;
    }
    TaskStore store_;
    std::wstring path_;  // "" for the root folder
};

class StandInTaskService final : public TaskService {
  public:
    explicit StandInTaskService(TaskStore store) : store_(store) {}
    HResult connect() override {
        connected_ = true;
        return kSOk;
    }
    HResult getFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) override {
        if (!connected_) {
            return hresultFromWin32(kErrorOnlyIfConnected);
        }
        return guarded([&] {
            std::wstring normal;
            if (!path.empty() && path != L"\\" && !TaskStore::normalTaskPath(path, normal)) {
                return hresultFromWin32(kErrorInvalidName);
            }
            if (!store_.folderExists(normal)) {
                return kHResultFileNotFound;
            }
            folder = std::make_unique<StandInTaskFolder>(store_, normal);
            return kSOk;
        });
    }
    HResult newTask(std::uint32_t flags, std::unique_ptr<TaskDefinition>& definition) override {
        if (!connected_) {
            return hresultFromWin32(kErrorOnlyIfConnected);
        }
        if (flags != 0) {
            return kEInvalidArg;
        }
        return guarded([&] {
            definition = std::make_unique<StandInTaskDefinition>(Tree(standin::newTaskDefinition()));
            return kSOk;
        });
    }

  private:
    TaskStore store_;
    bool connected_ = false;
};

// --- 1.0: a work item's objects share its fields until the save ---

struct WorkItemState {
    std::wstring name;
    standin::WorkItemData data;
};

// What ITaskTrigger::SetTrigger refuses with E_INVALIDARG.
bool validTrigger(const WorkItemTriggerRecord& record) {
    return record.triggerSize == 48 && record.triggerType <= kTriggerTypeLast &&
           record.beginMonth >= 1 && record.beginMonth <= 12 && record.beginDay >= 1 &&
           record.beginDay <= 31 && record.startHour < 24 && record.startMinute < 60 &&
           (record.minutesInterval == 0 || record.minutesInterval < record.minutesDuration) &&
           (record.triggerType != kTaskTimeTriggerDaily || record.typeWords[0] != 0);
}

class StandInWorkItemTrigger final : public WorkItemTrigger {
  public:
    StandInWorkItemTrigger(std::shared_ptr<WorkItemState> item, std::size_t index)
        : item_(std::move(item)), index_(index) {}
    HResult getTrigger(WorkItemTriggerRecord& record) override {
        if (record.triggerSize != 48) {
            return kEInvalidArg;
        }
        if (index_ >= item_->data.triggers.size()) {
            return standin::kSchedETriggerNotFound;
        }
        record = item_->data.triggers[index_];
        return kSOk;
    }
    HResult setTrigger(const WorkItemTriggerRecord& record) override {
        if (!validTrigger(record)) {
            return kEInvalidArg;
        }
        if (index_ >= item_->data.triggers.size()) {
            return standin::kSchedETriggerNotFound;
        }
        item_->data.triggers[index_] = record;
        return kSOk;
    }

  private:
    std::shared_ptr<WorkItemState> item_;
    std::size_t index_;
};

class StandInWorkItemFile final : public WorkItemFile {
  public:
    StandInWorkItemFile(TaskStore store, std::shared_ptr<WorkItemState> item)
        : store_(store), item_(std::move(item)) {}
    HResult save() override { return store_.writeWorkItem(item_->name, item_->data); }

  private:
    TaskStore store_;
    std::shared_ptr<WorkItemState> item_;
};

class StandInWorkItem final : public WorkItem {
  public:
    StandInWorkItem(TaskStore store, std::shared_ptr<WorkItemState> item)
        : store_(store), item_(std::move(item)) {}

    HResult getTriggerCount(std::uint16_t& count) override {
        count = static_cast<std::uint16_t>(item_->data.triggers.size());
        return kSOk;
    }
    HResult getTrigger(std::uint16_t index, std::unique_ptr<WorkItemTrigger>& trigger) override {
        if (index >= item_->data.triggers.size()) {
            return standin::kSchedETriggerNotFound;
        }
        return guarded([&] {
            trigger = std::make_unique<StandInWorkItemTrigger>(item_, index);
            return kSOk;
        });
    }
    HResult createTrigger(std::uint16_t& index,
                          std::unique_ptr<WorkItemTrigger>& trigger) override {
        if (item_->data.triggers.size() >= 0xFFFF) {
            return kEInvalidArg;
        }
        return guarded([&] {
            // A new trigger runs once, today at the current time, until set.
            const SystemTime now = StandInClock().systemTime();
            WorkItemTriggerRecord made;
            made.beginYear = now.year;
            made.beginMonth = now.month;
            made.beginDay = now.day;
            made.startHour = now.hour;
            made.startMinute = now.minute;
            item_->data.triggers.push_back(made);
            index = static_cast<std::uint16_t>(item_->data.triggers.size() - 1);
            trigger = std::make_unique<StandInWorkItemTrigger>(item_, index);
            return kSOk;
        });
    }
    HResult setAccountInformation(const std::wstring& accountName) override {
        return set(item_->data.accountName, accountName);
    }
    HResult setCreator(const std::wstring& creator) override {
        return set(item_->data.creator, creator);
    }
    HResult setComment(const std::wstring& comment) override {
        return set(item_->data.comment, comment);
    }
    HResult setApplicationName(const std::wstring& applicationName) override {
        return set(item_->data.applicationName, applicationName);
    }
    HResult setFlags(std::uint32_t flags) override {
        item_->data.flags = flags;
        return kSOk;
    }
    HResult queryPersistFile(std::unique_ptr<WorkItemFile>& file) override {
        return guarded([&] {
            file = std::make_unique<StandInWorkItemFile>(store_, item_);
            return kSOk;
        });
    }

  private:
    static HResult set(std::wstring& field, const std::wstring& value) {
        return guarded([&] {
            field = value;
            return kSOk;
        });
    }
    TaskStore store_;
    std::shared_ptr<WorkItemState> item_;
};

class StandInWorkItemScheduler final : public WorkItemScheduler {
  public:
    explicit StandInWorkItemScheduler(TaskStore store) : store_(store) {}
    HResult activate(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        return guarded([&] {
            auto state = std::make_shared<WorkItemState>();
            state->name = name;
            const HResult result = store_.readWorkItem(name, state->data);
            if (succeeded(result)) {
                item = std::make_unique<StandInWorkItem>(store_, std::move(state));
            }
            return result;
        });
    }
    HResult newWorkItem(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        return guarded([&] {
            auto state = std::make_shared<WorkItemState>();
            state->name = name;
            // The name is checked now; nothing is stored before the save.
            const HResult check = store_.readWorkItem(name, state->data);
            if (check != kHResultFileNotFound) {
                return succeeded(check) ? hresultFromWin32(kErrorFileExists) : check;
            }
            item = std::make_unique<StandInWorkItem>(store_, std::move(state));
            return kSOk;
        });
    }
    HResult deleteWorkItem(const std::wstring& name) override {
        return store_.deleteWorkItem(name);
    }

  private:
    TaskStore store_;
};

}  // namespace

HResult StandInTaskScheduling::createTaskService(std::unique_ptr<TaskService>& service) {
    if (!com_.joined()) {
        return kCoENotInitialized;
    }
    return guarded([&] {
        service = std::make_unique<StandInTaskService>(TaskStore(machine_));
        return kSOk;
    });
}

HResult StandInTaskScheduling::createWorkItemScheduler(
    std::unique_ptr<WorkItemScheduler>& scheduler) {
    if (!com_.joined()) {
        return kCoENotInitialized;
    }
    return guarded([&] {
        scheduler = std::make_unique<StandInWorkItemScheduler>(TaskStore(machine_));
        return kSOk;
    });
}

}  // namespace korin
