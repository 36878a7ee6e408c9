#include "task/task_scheduler_win.h"

#include "platform/unique_handle_win.h"

#include <mstask.h>
#include <taskschd.h>

#include <cstring>
#include <new>
#include <utility>

namespace korin {

namespace {

// The published identifiers, spelled out so that no import library is needed.
constexpr GUID kClsidTaskScheduler{
    0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
constexpr GUID kIidTaskService{
    0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
constexpr GUID kIidDailyTrigger{
    0x126C5CD8, 0xB288, 0x41D5, {0x8D, 0xBF, 0xE4, 0x91, 0x44, 0x6A, 0xDC, 0x5C}};
constexpr GUID kIidExecAction{
    0x4C3D624D, 0xFD6B, 0x49A3, {0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0, 0x47}};
constexpr GUID kClsidCTaskScheduler{
    0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidTaskScheduler{
    0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kClsidCTask{
    0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidTask{
    0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr GUID kIidPersistFile{
    0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Each port object holds one interface, released when the object goes.
template <typename Interface>
class ComObject {
  public:
    explicit ComObject(ComPtr<Interface> com) : com_(std::move(com)) {}
    Interface* get() const { return com_.get(); }

  protected:
    ComPtr<Interface> com_;
};

// Hands an obtained interface out as its port object. A success without an
// interface is no success: the core would have nothing to call.
template <typename Wrapper, typename Port, typename Interface>
HResult handOut(HRESULT result, ComPtr<Interface>& com, std::unique_ptr<Port>& out) {
    if (FAILED(result)) {
        return result;
    }
    if (!com) {
        return E_POINTER;
    }
    try {
        out = std::make_unique<Wrapper>(std::move(com));
    } catch (const std::bad_alloc&) {
        com.reset();
        return E_OUTOFMEMORY;
    }
    return result;
}

template <typename Interface>
void** outPointer(ComPtr<Interface>& com) {
    return reinterpret_cast<void**>(com.put());
}

template <typename Interface>
IUnknown** outUnknown(ComPtr<Interface>& com) {
    return reinterpret_cast<IUnknown**>(com.put());
}

// A BSTR copy of the text for the length of one call.
template <typename Call>
HResult withBstr(const std::wstring& text, Call call) {
    UniqueBstr bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!bstr) {
        return E_OUTOFMEMORY;
    }
    return call(bstr.get());
}

VARIANT_BOOL variantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// --- 2.0 ---

class WinRepetitionPattern final : public RepetitionPattern, ComObject<IRepetitionPattern> {
  public:
    using ComObject::ComObject;
    HResult putInterval(const std::wstring& interval) override {
        return withBstr(interval, [&](BSTR text) { return com_->put_Interval(text); });
    }
    HResult putDuration(const std::wstring& duration) override {
        return withBstr(duration, [&](BSTR text) { return com_->put_Duration(text); });
    }
};

HResult getRepetitionOf(ITrigger& trigger, std::unique_ptr<RepetitionPattern>& repetition) {
    ComPtr<IRepetitionPattern> pattern;
    return handOut<WinRepetitionPattern>(trigger.get_Repetition(pattern.put()), pattern,
                                         repetition);
}

class WinDailyTrigger final : public DailyTrigger, ComObject<IDailyTrigger> {
  public:
    using ComObject::ComObject;
    HResult putId(const std::wstring& id) override {
        return withBstr(id, [&](BSTR text) { return com_->put_Id(text); });
    }
    HResult putStartBoundary(const std::wstring& boundary) override {
        return withBstr(boundary, [&](BSTR text) { return com_->put_StartBoundary(text); });
    }
    HResult putDaysInterval(std::int16_t days) override { return com_->put_DaysInterval(days); }
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        return getRepetitionOf(*com_.get(), repetition);
    }
};

class WinTrigger final : public Trigger, ComObject<ITrigger> {
  public:
    using ComObject::ComObject;
    HResult getRepetition(std::unique_ptr<RepetitionPattern>& repetition) override {
        return getRepetitionOf(*com_.get(), repetition);
    }
    HResult queryDailyTrigger(std::unique_ptr<DailyTrigger>& daily) override {
        ComPtr<IDailyTrigger> trigger;
        return handOut<WinDailyTrigger>(com_->QueryInterface(kIidDailyTrigger, outPointer(trigger)),
                                        trigger, daily);
    }
};

class WinTriggerCollection final : public TriggerCollection, ComObject<ITriggerCollection> {
  public:
    using ComObject::ComObject;
    HResult getCount(std::int32_t& count) override {
        LONG value = 0;
        const HRESULT result = com_->get_Count(&value);
        count = value;
        return result;
    }
    HResult getItem(std::int32_t index, std::unique_ptr<Trigger>& trigger) override {
        ComPtr<ITrigger> item;
        return handOut<WinTrigger>(com_->get_Item(index, item.put()), item, trigger);
    }
    HResult create(std::int32_t type, std::unique_ptr<Trigger>& trigger) override {
        ComPtr<ITrigger> made;
        return handOut<WinTrigger>(com_->Create(static_cast<TASK_TRIGGER_TYPE2>(type), made.put()),
                                   made, trigger);
    }
};

class WinExecAction final : public ExecAction, ComObject<IExecAction> {
  public:
    using ComObject::ComObject;
    HResult putPath(const std::wstring& path) override {
        return withBstr(path, [&](BSTR text) { return com_->put_Path(text); });
    }
};

class WinAction final : public Action, ComObject<IAction> {
  public:
    using ComObject::ComObject;
    HResult queryExecAction(std::unique_ptr<ExecAction>& exec) override {
        ComPtr<IExecAction> action;
        return handOut<WinExecAction>(com_->QueryInterface(kIidExecAction, outPointer(action)),
                                      action, exec);
    }
};

class WinActionCollection final : public ActionCollection, ComObject<IActionCollection> {
  public:
    using ComObject::ComObject;
    HResult clear() override { return com_->Clear(); }
    HResult create(std::int32_t type, std::unique_ptr<Action>& action) override {
        ComPtr<IAction> made;
        return handOut<WinAction>(com_->Create(static_cast<TASK_ACTION_TYPE>(type), made.put()),
                                  made, action);
    }
};

class WinTaskSettings final : public TaskSettings, ComObject<ITaskSettings> {
  public:
    using ComObject::ComObject;
    HResult putStartWhenAvailable(bool value) override {
        return com_->put_StartWhenAvailable(variantBool(value));
    }
    HResult putCompatibility(std::int32_t compatibility) override {
        return com_->put_Compatibility(static_cast<TASK_COMPATIBILITY>(compatibility));
    }
    HResult putDisallowStartIfOnBatteries(bool value) override {
        return com_->put_DisallowStartIfOnBatteries(variantBool(value));
    }
    HResult putRunOnlyIfNetworkAvailable(bool value) override {
        return com_->put_RunOnlyIfNetworkAvailable(variantBool(value));
    }
};

class WinRegistrationInfo final : public RegistrationInfo, ComObject<IRegistrationInfo> {
  public:
    using ComObject::ComObject;
    HResult putAuthor(const std::wstring& author) override {
        return withBstr(author, [&](BSTR text) { return com_->put_Author(text); });
    }
    HResult putDescription(const std::wstring& description) override {
        return withBstr(description, [&](BSTR text) { return com_->put_Description(text); });
    }
};

class WinTaskDefinition final : public TaskDefinition, public ComObject<ITaskDefinition> {
  public:
    using ComObject::ComObject;
    HResult getTriggers(std::unique_ptr<TriggerCollection>& triggers) override {
        ComPtr<ITriggerCollection> collection;
        return handOut<WinTriggerCollection>(com_->get_Triggers(collection.put()), collection,
                                             triggers);
    }
    HResult getSettings(std::unique_ptr<TaskSettings>& settings) override {
        ComPtr<ITaskSettings> got;
        return handOut<WinTaskSettings>(com_->get_Settings(got.put()), got, settings);
    }
    HResult getRegistrationInfo(std::unique_ptr<RegistrationInfo>& info) override {
        ComPtr<IRegistrationInfo> got;
        return handOut<WinRegistrationInfo>(com_->get_RegistrationInfo(got.put()), got, info);
    }
    HResult getActions(std::unique_ptr<ActionCollection>& actions) override {
        ComPtr<IActionCollection> collection;
        return handOut<WinActionCollection>(com_->get_Actions(collection.put()), collection,
                                            actions);
    }
};

class WinRegisteredTask final : public RegisteredTask, ComObject<IRegisteredTask> {
  public:
    using ComObject::ComObject;
    HResult getDefinition(std::unique_ptr<TaskDefinition>& definition) override {
        ComPtr<ITaskDefinition> got;
        return handOut<WinTaskDefinition>(com_->get_Definition(got.put()), got, definition);
    }
};

// A string VARIANT, freed with the variant.
HResult putString(UniqueVariant& variant, const std::wstring& text) {
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (bstr == nullptr) {
        return E_OUTOFMEMORY;
    }
    variant.get()->vt = VT_BSTR;
    variant.get()->bstrVal = bstr;
    return S_OK;
}

class WinTaskFolder final : public TaskFolder, ComObject<ITaskFolder> {
  public:
    using ComObject::ComObject;
    HResult getTask(const std::wstring& path, std::unique_ptr<RegisteredTask>& task) override {
        ComPtr<IRegisteredTask> found;
        return handOut<WinRegisteredTask>(
            withBstr(path, [&](BSTR text) { return com_->GetTask(text, found.put()); }), found,
            task);
    }
    HResult registerTaskDefinition(const std::wstring& path, TaskDefinition& definition,
                                   std::int32_t flags, const std::wstring& user,
                                   std::int32_t logonType, const std::wstring& sddl) override {
        auto* ours = dynamic_cast<WinTaskDefinition*>(&definition);
        if (ours == nullptr) {
            return E_INVALIDARG;
        }
        UniqueVariant userName;
        UniqueVariant password;
        UniqueVariant descriptor;
        if (const HResult made = putString(userName, user); FAILED(made)) {
            return made;
        }
        if (const HResult made = putString(descriptor, sddl); FAILED(made)) {
            return made;
        }
        ComPtr<IRegisteredTask> registered;
        const HResult result = withBstr(path, [&](BSTR text) {
            return com_->RegisterTaskDefinition(
                text, ours->get(), flags, *userName.get(), *password.get(),
                static_cast<TASK_LOGON_TYPE>(logonType), *descriptor.get(), registered.put());
        });
        return result;
    }
    HResult deleteTask(const std::wstring& name, std::int32_t flags) override {
        return withBstr(name, [&](BSTR text) { return com_->DeleteTask(text, flags); });
    }
};

class WinTaskService final : public TaskService, ComObject<ITaskService> {
  public:
    using ComObject::ComObject;
    HResult connect() override {
        UniqueVariant empty;
        return com_->Connect(*empty.get(), *empty.get(), *empty.get(), *empty.get());
    }
    HResult getFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) override {
        ComPtr<ITaskFolder> got;
        return handOut<WinTaskFolder>(
            withBstr(path, [&](BSTR text) { return com_->GetFolder(text, got.put()); }), got,
            folder);
    }
    HResult newTask(std::uint32_t flags, std::unique_ptr<TaskDefinition>& definition) override {
        ComPtr<ITaskDefinition> made;
        return handOut<WinTaskDefinition>(com_->NewTask(flags, made.put()), made, definition);
    }
};

// --- 1.0 ---

class WinWorkItemTrigger final : public WorkItemTrigger, ComObject<ITaskTrigger> {
  public:
    using ComObject::ComObject;
    HResult getTrigger(WorkItemTriggerRecord& record) override {
        TASK_TRIGGER trigger{};
        trigger.cbTriggerSize = record.triggerSize;
        const HRESULT result = com_->GetTrigger(&trigger);
        if (SUCCEEDED(result)) {
            record = recordOf(trigger);
        }
        return result;
    }
    HResult setTrigger(const WorkItemTriggerRecord& record) override {
        TASK_TRIGGER trigger = triggerOf(record);
        return com_->SetTrigger(&trigger);
    }

  private:
    static WorkItemTriggerRecord recordOf(const TASK_TRIGGER& trigger) {
        WorkItemTriggerRecord record;
        record.triggerSize = trigger.cbTriggerSize;
        record.reserved1 = trigger.Reserved1;
        record.beginYear = trigger.wBeginYear;
        record.beginMonth = trigger.wBeginMonth;
        record.beginDay = trigger.wBeginDay;
        record.endYear = trigger.wEndYear;
        record.endMonth = trigger.wEndMonth;
        record.endDay = trigger.wEndDay;
        record.startHour = trigger.wStartHour;
        record.startMinute = trigger.wStartMinute;
        record.minutesDuration = trigger.MinutesDuration;
        record.minutesInterval = trigger.MinutesInterval;
        record.flags = trigger.rgFlags;
        record.triggerType = static_cast<std::uint32_t>(trigger.TriggerType);
        static_assert(sizeof(trigger.Type) == sizeof(record.typeWords));
        std::memcpy(record.typeWords, &trigger.Type, sizeof(record.typeWords));
        record.reserved2 = trigger.Reserved2;
        record.randomMinutesInterval = trigger.wRandomMinutesInterval;
        return record;
    }
    static TASK_TRIGGER triggerOf(const WorkItemTriggerRecord& record) {
        TASK_TRIGGER trigger{};
        trigger.cbTriggerSize = record.triggerSize;
        trigger.Reserved1 = record.reserved1;
        trigger.wBeginYear = record.beginYear;
        trigger.wBeginMonth = record.beginMonth;
        trigger.wBeginDay = record.beginDay;
        trigger.wEndYear = record.endYear;
        trigger.wEndMonth = record.endMonth;
        trigger.wEndDay = record.endDay;
        trigger.wStartHour = record.startHour;
        trigger.wStartMinute = record.startMinute;
        trigger.MinutesDuration = record.minutesDuration;
        trigger.MinutesInterval = record.minutesInterval;
        trigger.rgFlags = record.flags;
        trigger.TriggerType = static_cast<TASK_TRIGGER_TYPE>(record.triggerType);
        std::memcpy(&trigger.Type, record.typeWords, sizeof(record.typeWords));
        trigger.Reserved2 = record.reserved2;
        trigger.wRandomMinutesInterval = record.randomMinutesInterval;
        return trigger;
    }
};

class WinWorkItemFile final : public WorkItemFile, ComObject<IPersistFile> {
  public:
    using ComObject::ComObject;
    HResult save() override { return com_->Save(nullptr, TRUE); }
};

class WinWorkItem final : public WorkItem, ComObject<ITask> {
  public:
    using ComObject::ComObject;
    HResult getTriggerCount(std::uint16_t& count) override {
        WORD value = 0;
        const HRESULT result = com_->GetTriggerCount(&value);
        count = value;
        return result;
    }
    HResult getTrigger(std::uint16_t index, std::unique_ptr<WorkItemTrigger>& trigger) override {
        ComPtr<ITaskTrigger> got;
        return handOut<WinWorkItemTrigger>(com_->GetTrigger(index, got.put()), got, trigger);
    }
    HResult createTrigger(std::uint16_t& index,
                          std::unique_ptr<WorkItemTrigger>& trigger) override {
        WORD made = 0;
        ComPtr<ITaskTrigger> got;
        const HRESULT result = com_->CreateTrigger(&made, got.put());
        index = made;
        return handOut<WinWorkItemTrigger>(result, got, trigger);
    }
    HResult setAccountInformation(const std::wstring& accountName) override {
        return com_->SetAccountInformation(accountName.c_str(), nullptr);
    }
    HResult setCreator(const std::wstring& creator) override {
        return com_->SetCreator(creator.c_str());
    }
    HResult setComment(const std::wstring& comment) override {
        return com_->SetComment(comment.c_str());
    }
    HResult setApplicationName(const std::wstring& applicationName) override {
        return com_->SetApplicationName(applicationName.c_str());
    }
    HResult setFlags(std::uint32_t flags) override { return com_->SetFlags(flags); }
    HResult queryPersistFile(std::unique_ptr<WorkItemFile>& file) override {
        ComPtr<IPersistFile> persist;
        return handOut<WinWorkItemFile>(com_->QueryInterface(kIidPersistFile, outPointer(persist)),
                                        persist, file);
    }
};

class WinWorkItemScheduler final : public WorkItemScheduler, ComObject<ITaskScheduler> {
  public:
    using ComObject::ComObject;
    HResult activate(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        ComPtr<ITask> task;
        return handOut<WinWorkItem>(com_->Activate(name.c_str(), kIidTask, outUnknown(task)), task,
                                    item);
    }
    HResult newWorkItem(const std::wstring& name, std::unique_ptr<WorkItem>& item) override {
        ComPtr<ITask> task;
        return handOut<WinWorkItem>(
            com_->NewWorkItem(name.c_str(), kClsidCTask, kIidTask, outUnknown(task)), task, item);
    }
    HResult deleteWorkItem(const std::wstring& name) override { return com_->Delete(name.c_str()); }
};

}  // namespace

HResult WinTaskScheduling::createTaskService(std::unique_ptr<TaskService>& service) {
    ComPtr<ITaskService> created;
    return handOut<WinTaskService>(
        CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                         outPointer(created)),
        created, service);
}

HResult WinTaskScheduling::createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>& scheduler) {
    ComPtr<ITaskScheduler> created;
    return handOut<WinWorkItemScheduler>(
        CoCreateInstance(kClsidCTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                         outPointer(created)),
        created, scheduler);
}

}  // namespace korin
