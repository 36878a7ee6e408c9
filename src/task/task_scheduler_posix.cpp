#include "task/task_scheduler_posix.h"

#include "platform/clock_posix.h"
#include "platform/standin/task_service.h"
#include "platform/standin/task_store.h"

#include <new>
#include <type_traits>
#include <utility>

namespace korin {

namespace {

using standin::TaskStore;
using standin::XmlElement;
using Tree = std::shared_ptr<XmlElement>;

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
            standin::setRepetition(trigger_, name, value);
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
    StandInDailyTrigger(Tree tree, XmlElement& trigger)
        : tree_(std::move(tree)), trigger_(trigger) {}
    HResult putId(const std::wstring& id) override {
        return guarded([&] {
            standin::setTriggerId(trigger_, id);
            return kSOk;
        });
    }
    HResult putStartBoundary(const std::wstring& boundary) override {
        return guarded([&] {
            standin::setStartBoundary(trigger_, boundary);
            return kSOk;
        });
    }
    HResult putDaysInterval(std::int16_t days) override {
        return guarded([&] { return standin::setDaysInterval(trigger_, days); });
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
        if (!standin::isDailyTrigger(trigger_)) {
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

class StandInTriggerCollection final : public TriggerCollection {
  public:
    explicit StandInTriggerCollection(Tree tree) : tree_(std::move(tree)) {}
    HResult getCount(std::int32_t& count) override {
        count = standin::triggerCount(*tree_);
        return kSOk;
    }
    HResult getItem(std::int32_t index, std::unique_ptr<Trigger>& trigger) override {
        XmlElement* item = standin::triggerAt(*tree_, index);
        if (item == nullptr) {
            return kEInvalidArg;
        }
        return guarded([&] {
            trigger = std::make_unique<StandInTrigger>(tree_, *item);
            return kSOk;
        });
    }
    HResult create(std::int32_t type, std::unique_ptr<Trigger>& trigger) override {
        return guarded([&] {
            XmlElement* made = nullptr;
            const HResult result = standin::createTrigger(*tree_, type, made);
            if (succeeded(result)) {
                trigger = std::make_unique<StandInTrigger>(tree_, *made);
            }
            return result;
        });
    }

  private:
    Tree tree_;
};

class StandInExecAction final : public ExecAction {
  public:
    StandInExecAction(Tree tree, XmlElement& exec) : tree_(std::move(tree)), exec_(exec) {}
    HResult putPath(const std::wstring& path) override {
        return guarded([&] {
            standin::setExecPath(exec_, path);
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
        if (!standin::isExecAction(action_)) {
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

class StandInActionCollection final : public ActionCollection {
  public:
    explicit StandInActionCollection(Tree tree) : tree_(std::move(tree)) {}
    HResult create(std::int32_t type, std::unique_ptr<Action>& action) override {
        return guarded([&] {
            XmlElement* made = nullptr;
            const HResult result = standin::createAction(*tree_, type, made);
            if (succeeded(result)) {
                action = std::make_unique<StandInAction>(tree_, *made);
            }
            return result;
        });
    }
    HResult clear() override {
        standin::clearActions(*tree_);
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
        return guarded([&] { return standin::setCompatibility(*tree_, compatibility); });
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
            standin::setTaskSetting(*tree_, name, value);
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
            standin::setRegistrationInfo(*tree_, name, value);
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

class StandInTaskFolder final : public TaskFolder {
  public:
    StandInTaskFolder(TaskStore store, std::wstring path) : store_(store), path_(std::move(path)) {}

    HResult getTask(const std::wstring& path, std::unique_ptr<RegisteredTask>& task) override {
        return guarded([&] {
            std::unique_ptr<XmlElement> stored;
            const HResult result = store_.readTask(standin::taskPathIn(path_, path), stored);
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
        if (mine == nullptr) {
            return kEInvalidArg;
        }
        return guarded([&] {
            return standin::registerTask(store_, standin::taskPathIn(path_, path), mine->task(),
                                         flags, user, logonType, sddl);
        });
    }

    HResult deleteTask(const std::wstring& name, std::int32_t flags) override {
        return guarded(
            [&] { return standin::deleteTask(store_, standin::taskPathIn(path_, name), flags); });
    }

  private:
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
        if (const HResult refused = standin::requireConnection(connected_); !succeeded(refused)) {
            return refused;
        }
        return guarded([&] {
            std::wstring normal;
            const HResult result = standin::openTaskFolder(store_, path, normal);
            if (succeeded(result)) {
                folder = std::make_unique<StandInTaskFolder>(store_, normal);
            }
            return result;
        });
    }
    HResult newTask(std::uint32_t flags, std::unique_ptr<TaskDefinition>& definition) override {
        if (const HResult refused = standin::requireConnection(connected_); !succeeded(refused)) {
            return refused;
        }
        return guarded([&] {
            std::unique_ptr<XmlElement> task;
            const HResult result = standin::newTask(flags, task);
            if (succeeded(result)) {
                definition = std::make_unique<StandInTaskDefinition>(Tree(std::move(task)));
            }
            return result;
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

class StandInWorkItemTrigger final : public WorkItemTrigger {
  public:
    StandInWorkItemTrigger(std::shared_ptr<WorkItemState> item, std::size_t index)
        : item_(std::move(item)), index_(index) {}
    HResult getTrigger(WorkItemTriggerRecord& record) override {
        return standin::getWorkItemTrigger(item_->data, index_, record);
    }
    HResult setTrigger(const WorkItemTriggerRecord& record) override {
        return standin::setWorkItemTrigger(item_->data, index_, record);
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
        if (const HResult missing = standin::workItemTriggerExists(item_->data, index);
            !succeeded(missing)) {
            return missing;
        }
        return guarded([&] {
            trigger = std::make_unique<StandInWorkItemTrigger>(item_, index);
            return kSOk;
        });
    }
    HResult createTrigger(std::uint16_t& index,
                          std::unique_ptr<WorkItemTrigger>& trigger) override {
        return guarded([&] {
            const HResult result = standin::addWorkItemTrigger(
                item_->data, StandInClock(store_.machine()).systemTime(), index);
            if (succeeded(result)) {
                trigger = std::make_unique<StandInWorkItemTrigger>(item_, index);
            }
            return result;
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
            const HResult check = standin::checkNewWorkItem(store_, name);
            if (succeeded(check)) {
                auto state = std::make_shared<WorkItemState>();
                state->name = name;
                item = std::make_unique<StandInWorkItem>(store_, std::move(state));
            }
            return check;
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
    if (const HResult refused = standin::createSchedulerObject(com_.joined());
        !succeeded(refused)) {
        return refused;
    }
    return guarded([&] {
        service = std::make_unique<StandInTaskService>(TaskStore(machine_));
        return kSOk;
    });
}

HResult StandInTaskScheduling::createWorkItemScheduler(
    std::unique_ptr<WorkItemScheduler>& scheduler) {
    if (const HResult refused = standin::createSchedulerObject(com_.joined());
        !succeeded(refused)) {
        return refused;
    }
    return guarded([&] {
        scheduler = std::make_unique<StandInWorkItemScheduler>(TaskStore(machine_));
        return kSOk;
    });
}

}  // namespace korin
