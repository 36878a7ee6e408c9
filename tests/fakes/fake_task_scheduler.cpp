#include "fakes/fake_task_scheduler.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <memory>
#include <utility>

namespace korin::testing {

namespace {

constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
constexpr HResult kHResultFileExists = static_cast<HResult>(0x80070050u);

// Every object counts itself alive, so a test can see what was not released.
class Counted {
  public:
    explicit Counted(FakeTaskScheduling& scheduling) : s_(scheduling) { ++s_.liveObjects; }
    ~Counted() { --s_.liveObjects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

  protected:
    FakeTaskScheduling& s_;
};

template <typename Fake, typename Port, typename... Args>
HResult handOut(std::unique_ptr<Port>& out, Args&&... args) {
    out = std::make_unique<Fake>(std::forward<Args>(args)...);
    return kSOk;
}

// --- 2.0: the objects below a definition share its copy of the task.

using TaskCopy = std::shared_ptr<FakeTask>;

class FakeRepetition final : public RepetitionPattern, Counted {
  public:
    FakeRepetition(FakeTaskScheduling& s, TaskCopy task, FakeTask::Trigger& trigger)
        : Counted(s), task_(std::move(task)), trigger_(trigger) {}
    HResult putInterval(const std::wstring& interval) override {
        if (auto injected = s_.fault("putInterval")) {
            return *injected;
        }
        trigger_.interval = interval;
        return kSOk;
    }
    HResult putDuration(const std::wstring& duration) override {
        if (auto injected = s_.fault("putDuration")) {
            return *injected;
        }
        trigger_.duration = duration;
        return kSOk;
    }

  private:
    TaskCopy task_;
    FakeTask::Trigger& trigger_;
};

class FakeDailyTrigger final : public DailyTrigger, Counted {
  public:
    FakeDailyTrigger(FakeTaskScheduling& s, TaskCopy task, FakeTask::Trigger& trigger)
        : Counted(s), task_(std::move(task)), trigger_(trigger) {}
    HResult putId(const std::wstring& id) override {
        if (auto injected = s_.fault("putId")) {
            return *injected;
        }
        trigger_.id = id;
        return kSOk;
    }
    HResult putStartBoundary(const std::wstring& boundary) override {
        if (auto injected = s_.fault("putStartBoundary")) {
            return *injected;
        }
        trigger_.startBoundary = boundary;
        return kSOk;
    }
    HResult putDaysInterval(std::int16_t days) override {
        if (auto injected = s_.fault("putDaysInterval")) {
            return *injected;
        }
        trigger_.daysInterval = days;
        return kSOk;
    }
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        if (auto injected = s_.fault("getRepetition")) {
            return *injected;
        }
        return handOut<FakeRepetition>(repetition, s_, task_, trigger_);
    }

  private:
    TaskCopy task_;
    FakeTask::Trigger& trigger_;
};

class FakeTrigger final : public Trigger, Counted {
  public:
    FakeTrigger(FakeTaskScheduling& s, TaskCopy task, FakeTask::Trigger& trigger)
        : Counted(s), task_(std::move(task)), trigger_(trigger) {}
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        if (auto injected = s_.fault("getRepetition")) {
            return *injected;
        }
        return handOut<FakeRepetition>(repetition, s_, task_, trigger_);
    }
    HResult queryDailyTrigger(std::unique_ptr<DailyTrigger>& daily) override {
        if (auto injected = s_.fault("queryDailyTrigger")) {
            return *injected;
        }
        if (trigger_.type != kTaskTriggerDaily) {
            return kENoInterface;
        }
        return handOut<FakeDailyTrigger>(daily, s_, task_, trigger_);
    }

  private:
    TaskCopy task_;
    FakeTask::Trigger& trigger_;
};

class FakeTriggerCollection final : public TriggerCollection, Counted {
  public:
    FakeTriggerCollection(FakeTaskScheduling& s, TaskCopy task)
        : Counted(s), task_(std::move(task)) {}
    HResult getCount(std::int32_t& count) override {
        if (auto injected = s_.fault("getCount")) {
            return *injected;
        }
        count = static_cast<std::int32_t>(task_->triggers.size());
        return kSOk;
    }
    HResult getItem(std::int32_t index, std::unique_ptr<Trigger>& trigger) override {
        if (auto injected = s_.fault("getItem")) {
            return *injected;
        }
        if (index < 1 || index > static_cast<std::int32_t>(task_->triggers.size())) {
            return kEInvalidArg;
        }
        return handOut<FakeTrigger>(trigger, s_, task_,
                                    *std::next(task_->triggers.begin(), index - 1));
    }
    HResult create(std::int32_t type, std::unique_ptr<Trigger>& trigger) override {
        if (auto injected = s_.fault("createTrigger")) {
            return *injected;
        }
        FakeTask::Trigger made;
        made.type = type;
        task_->triggers.push_back(made);
        return handOut<FakeTrigger>(trigger, s_, task_, task_->triggers.back());
    }

  private:
    TaskCopy task_;
};

class FakeExecAction final : public ExecAction, Counted {
  public:
    FakeExecAction(FakeTaskScheduling& s, TaskCopy task, FakeTask::Action& action)
        : Counted(s), task_(std::move(task)), action_(action) {}
    HResult putPath(const std::wstring& path) override {
        if (auto injected = s_.fault("putPath")) {
            return *injected;
        }
        action_.path = path;
        return kSOk;
    }

  private:
    TaskCopy task_;
    FakeTask::Action& action_;
};

class FakeAction final : public Action, Counted {
  public:
    FakeAction(FakeTaskScheduling& s, TaskCopy task, FakeTask::Action& action)
        : Counted(s), task_(std::move(task)), action_(action) {}
    HResult queryExecAction(std::unique_ptr<ExecAction>& exec) override {
        if (auto injected = s_.fault("queryExecAction")) {
            return *injected;
        }
        if (action_.type != kTaskActionExec) {
            return kENoInterface;
        }
        return handOut<FakeExecAction>(exec, s_, task_, action_);
    }

  private:
    TaskCopy task_;
    FakeTask::Action& action_;
};

class FakeActionCollection final : public ActionCollection, Counted {
  public:
    FakeActionCollection(FakeTaskScheduling& s, TaskCopy task)
        : Counted(s), task_(std::move(task)) {}
    HResult clear() override {
        if (auto injected = s_.fault("clearActions")) {
            return *injected;
        }
        task_->actions.clear();
        return kSOk;
    }
    HResult create(std::int32_t type, std::unique_ptr<Action>& action) override {
        if (auto injected = s_.fault("createAction")) {
            return *injected;
        }
        FakeTask::Action made;
        made.type = type;
        task_->actions.push_back(made);
        return handOut<FakeAction>(action, s_, task_, task_->actions.back());
    }

  private:
    TaskCopy task_;
};

class FakeSettings final : public TaskSettings, Counted {
  public:
    FakeSettings(FakeTaskScheduling& s, TaskCopy task) : Counted(s), task_(std::move(task)) {}
    HResult putStartWhenAvailable(bool value) override {
        return put("putStartWhenAvailable", task_->startWhenAvailable, value);
    }
    HResult putCompatibility(std::int32_t compatibility) override {
        return put("putCompatibility", task_->compatibility, compatibility);
    }
    HResult putDisallowStartIfOnBatteries(bool value) override {
        return put("putDisallowStartIfOnBatteries", task_->disallowStartIfOnBatteries, value);
    }
    HResult putRunOnlyIfNetworkAvailable(bool value) override {
        return put("putRunOnlyIfNetworkAvailable", task_->runOnlyIfNetworkAvailable, value);
    }

  private:
    template <typename T>
    HResult put(const char* operation, std::optional<T>& field, T value) {
        if (auto injected = s_.fault(operation)) {
            return *injected;
        }
        field = value;
        return kSOk;
    }
    TaskCopy task_;
};

class FakeRegistrationInfo final : public RegistrationInfo, Counted {
  public:
    FakeRegistrationInfo(FakeTaskScheduling& s, TaskCopy task)
        : Counted(s), task_(std::move(task)) {}
    HResult putAuthor(const std::wstring& author) override {
        if (auto injected = s_.fault("putAuthor")) {
            return *injected;
        }
        task_->author = author;
        return kSOk;
    }
    HResult putDescription(const std::wstring& description) override {
        if (auto injected = s_.fault("putDescription")) {
            return *injected;
        }
        task_->description = description;
        return kSOk;
    }

  private:
    TaskCopy task_;
};

class FakeDefinition final : public TaskDefinition, Counted {
  public:
    FakeDefinition(FakeTaskScheduling& s, FakeTask task)
        : Counted(s), task_(std::make_shared<FakeTask>(std::move(task))) {}
    HResult getTriggers(std::unique_ptr<TriggerCollection>& triggers) override {
        if (auto injected = s_.fault("getTriggers")) {
            return *injected;
        }
        return handOut<FakeTriggerCollection>(triggers, s_, task_);
    }
    HResult getSettings(std::unique_ptr<TaskSettings>& settings) override {
        if (auto injected = s_.fault("getSettings")) {
            return *injected;
        }
        return handOut<FakeSettings>(settings, s_, task_);
    }
    HResult getRegistrationInfo(std::unique_ptr<RegistrationInfo>& info) override {
        if (auto injected = s_.fault("getRegistrationInfo")) {
            return *injected;
        }
        return handOut<FakeRegistrationInfo>(info, s_, task_);
    }
    HResult getActions(std::unique_ptr<ActionCollection>& actions) override {
        if (auto injected = s_.fault("getActions")) {
            return *injected;
        }
        return handOut<FakeActionCollection>(actions, s_, task_);
    }
    const FakeTask& task() const { return *task_; }

  private:
    TaskCopy task_;
};

class FakeRegisteredTask final : public RegisteredTask, Counted {
  public:
    FakeRegisteredTask(FakeTaskScheduling& s, FakeTask task) : Counted(s), task_(std::move(task)) {}
    HResult getDefinition(std::unique_ptr<TaskDefinition>& definition) override {
        if (auto injected = s_.fault("getDefinition")) {
            return *injected;
        }
        return handOut<FakeDefinition>(definition, s_, task_);
    }

  private:
    FakeTask task_;
};

class FakeFolder final : public TaskFolder, Counted {
  public:
    using Counted::Counted;
    HResult getTask(const std::wstring& path, std::unique_ptr<RegisteredTask>& task) override {
        if (auto injected = s_.fault("getTask")) {
            return *injected;
        }
        auto found = s_.tasks.find(path);
        if (found == s_.tasks.end()) {
            return kHResultFileNotFound;
        }
        return handOut<FakeRegisteredTask>(task, s_, found->second);
    }
    HResult registerTaskDefinition(const std::wstring& path, TaskDefinition& definition,
                                   std::int32_t flags, const std::wstring& user,
                                   std::int32_t logonType, const std::wstring& sddl) override {
        if (auto injected = s_.fault("registerTaskDefinition")) {
            return *injected;
        }
        FakeTask stored = dynamic_cast<FakeDefinition&>(definition).task();
        stored.flags = flags;
        stored.user = user;
        stored.logonType = logonType;
        stored.sddl = sddl;
        s_.tasks[path] = std::move(stored);
        return kSOk;
    }
    HResult deleteTask(const std::wstring& name, std::int32_t) override {
        if (auto injected = s_.fault("deleteTask")) {
            return *injected;
        }
        return s_.tasks.erase(name) == 1 ? kSOk : kHResultFileNotFound;
    }
};

class FakeService final : public TaskService, Counted {
  public:
    using Counted::Counted;
    HResult connect() override { return s_.fault("connect").value_or(kSOk); }
    HResult getFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) override {
        if (auto injected = s_.fault("getFolder")) {
            return *injected;
        }
        if (path != L"\\") {
            return kHResultFileNotFound;
        }
        return handOut<FakeFolder>(folder, s_);
    }
    HResult newTask(std::uint32_t, std::unique_ptr<TaskDefinition>& definition) override {
        if (auto injected = s_.fault("newTask")) {
            return *injected;
        }
        return handOut<FakeDefinition>(definition, s_, FakeTask{});
    }
};

// --- 1.0: a work item's objects share its copy until saved.

using WorkItemCopy = std::shared_ptr<FakeWorkItem>;

class FakeWorkItemTrigger final : public WorkItemTrigger, Counted {
  public:
    FakeWorkItemTrigger(FakeTaskScheduling& s, WorkItemCopy item, WorkItemTriggerRecord& record)
        : Counted(s), item_(std::move(item)), record_(record) {}
    HResult getTrigger(WorkItemTriggerRecord& record) override {
        if (auto injected = s_.fault("getTrigger")) {
            return *injected;
        }
        if (record.triggerSize != 48) {
            return kEInvalidArg;
        }
        record = record_;
        return kSOk;
    }
    HResult setTrigger(const WorkItemTriggerRecord& record) override {
        if (auto injected = s_.fault("setTrigger")) {
            return *injected;
        }
        record_ = record;
        return kSOk;
    }

  private:
    WorkItemCopy item_;
    WorkItemTriggerRecord& record_;
};

class FakeWorkItemFile final : public WorkItemFile, Counted {
  public:
    FakeWorkItemFile(FakeTaskScheduling& s, std::wstring name, WorkItemCopy item)
        : Counted(s), name_(std::move(name)), item_(std::move(item)) {}
    HResult save() override {
        if (auto injected = s_.fault("save")) {
            return *injected;
        }
        s_.workItems[name_] = *item_;
        return kSOk;
    }

  private:
    std::wstring name_;
    WorkItemCopy item_;
};

class FakeWorkItemObject final : public WorkItem, Counted {
  public:
    FakeWorkItemObject(FakeTaskScheduling& s, std::wstring name, FakeWorkItem item)
        : Counted(s),
          name_(std::move(name)),
          item_(std::make_shared<FakeWorkItem>(std::move(item))) {}
    HResult getTriggerCount(std::uint16_t& count) override {
        if (auto injected = s_.fault("getTriggerCount")) {
            return *injected;
        }
        count = static_cast<std::uint16_t>(item_->triggers.size());
        return kSOk;
    }
    HResult getTrigger(std::uint16_t index, std::unique_ptr<WorkItemTrigger>& trigger) override {
        if (auto injected = s_.fault("getWorkItemTrigger")) {
            return *injected;
        }
        if (index >= item_->triggers.size()) {
            return kEInvalidArg;
        }
        return handOut<FakeWorkItemTrigger>(trigger, s_, item_,
                                            *std::next(item_->triggers.begin(), index));
    }
    HResult createTrigger(std::uint16_t& index,
                          std::unique_ptr<WorkItemTrigger>& trigger) override {
        if (auto injected = s_.fault("createWorkItemTrigger")) {
            return *injected;
        }
        index = static_cast<std::uint16_t>(item_->triggers.size());
        item_->triggers.emplace_back();
        return handOut<FakeWorkItemTrigger>(trigger, s_, item_, item_->triggers.back());
    }
    HResult setAccountInformation(const std::wstring& accountName) override {
        if (auto injected = s_.fault("setAccountInformation")) {
            return *injected;
        }
        item_->account = accountName;
        return kSOk;
    }
    HResult setCreator(const std::wstring& creator) override {
        return put("setCreator", item_->creator, creator);
    }
    HResult setComment(const std::wstring& comment) override {
        return put("setComment", item_->comment, comment);
    }
    HResult setApplicationName(const std::wstring& applicationName) override {
        return put("setApplicationName", item_->applicationName, applicationName);
    }
    HResult setFlags(std::uint32_t flags) override { return put("setFlags", item_->flags, flags); }
    HResult queryPersistFile(std::unique_ptr<WorkItemFile>& file) override {
        if (auto injected = s_.fault("queryPersistFile")) {
            return *injected;
        }
        return handOut<FakeWorkItemFile>(file, s_, name_, item_);
    }

  private:
    template <typename T>
    HResult put(const char* operation, T& field, const T& value) {
        if (auto injected = s_.fault(operation)) {
            return *injected;
        }
        field = value;
        return kSOk;
    }
    std::wstring name_;
    WorkItemCopy item_;
};

class FakeWorkItemScheduler final : public WorkItemScheduler, Counted {
  public:
    using Counted::Counted;
    HResult activate(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        if (auto injected = s_.fault("activate")) {
            return *injected;
        }
        auto found = s_.workItems.find(name);
        if (found == s_.workItems.end()) {
            return kHResultFileNotFound;
        }
        return handOut<FakeWorkItemObject>(item, s_, name, found->second);
    }
    HResult newWorkItem(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        if (auto injected = s_.fault("newWorkItem")) {
            return *injected;
        }
        if (s_.workItems.count(name) != 0) {
            return kHResultFileExists;
        }
        return handOut<FakeWorkItemObject>(item, s_, name, FakeWorkItem{});
    }
    HResult deleteWorkItem(const std::wstring& name) override {
        if (auto injected = s_.fault("deleteWorkItem")) {
            return *injected;
        }
        return s_.workItems.erase(name) == 1 ? kSOk : kHResultFileNotFound;
    }
};

}  // namespace

std::optional<HResult> FakeTaskScheduling::fault(const char* operation) {
    if (auto injected = faults.check(operation)) {
        setLastError(faultLastError);
        return static_cast<HResult>(*injected);
    }
    return std::nullopt;
}

HResult FakeTaskScheduling::createTaskService(std::unique_ptr<TaskService>& service) {
    if (auto injected = fault("createTaskService")) {
        return *injected;
    }
    return handOut<FakeService>(service, *this);
}

HResult FakeTaskScheduling::createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) {
    if (auto injected = fault("createWorkItemScheduler")) {
        return *injected;
    }
    return handOut<FakeWorkItemScheduler>(scheduler, *this);
}

// ---- COM runtime, random draws -----------------------------------------------

HResult FakeComRuntime::initializeEx(std::uint32_t flags) {
    calls.push_back("initializeEx " + std::to_string(flags));
    return static_cast<HResult>(faults.check("initializeEx").value_or(kSOk));
}

HResult FakeComRuntime::initialize() {
    calls.push_back("initialize");
    return static_cast<HResult>(faults.check("initialize").value_or(kSOk));
}

HResult FakeComRuntime::initializeSecurity(std::uint32_t authenticationLevel,
                                           std::uint32_t impersonationLevel) {
    calls.push_back("initializeSecurity " + std::to_string(authenticationLevel) + " " +
                    std::to_string(impersonationLevel));
    return static_cast<HResult>(faults.check("initializeSecurity").value_or(kSOk));
}

void FakeComRuntime::uninitialize() {
    calls.push_back("uninitialize");
    liveObjectsAtUninitialize.push_back(scheduling_.liveObjects);
}

void PrintTo(const FakeWorkItem& item, std::ostream* out) {
    *out << "{account " << (item.account ? utf8FromWide(*item.account) : "<none>") << ", creator "
         << utf8FromWide(item.creator) << ", comment " << utf8FromWide(item.comment)
         << ", application " << utf8FromWide(item.applicationName) << ", flags " << item.flags
         << ", triggers";
    for (const WorkItemTriggerRecord& t : item.triggers) {
        *out << " [" << t.triggerSize << " " << t.beginYear << "-" << t.beginMonth << "-"
             << t.beginDay << " to " << t.endYear << "-" << t.endMonth << "-" << t.endDay << " at "
             << t.startHour << ":" << t.startMinute << " every " << t.minutesInterval << " for "
             << t.minutesDuration << " flags " << t.flags << " type " << t.triggerType << " ("
             << t.typeWords[0] << " " << t.typeWords[1] << " " << t.typeWords[2] << " "
             << t.typeWords[3] << ") random " << t.randomMinutesInterval << " reserved "
             << t.reserved1 << " " << t.reserved2 << "]";
    }
    *out << "}";
}

}  // namespace korin::testing
