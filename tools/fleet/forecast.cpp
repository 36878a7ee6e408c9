#include "forecast.h"

#include "machine_platform.h"
#include "machine_seed.h"

#include "ground/text.h"
#include "platform/standin/machine_setup.h"
#include "manifest/manifest_readers.h"
#include "manifest/player_inventory.h"
#include "settings/auto_update_mode.h"
#include "settings/runtime_config.h"
#include "settings/settings_file.h"
#include "task/update_task.h"
#include "update/update_cycle.h"
#include "update/update_state.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <unordered_map>

namespace korin::fleet {

namespace {

using Time = std::int64_t;  // FILETIME units
constexpr Time kMinute = static_cast<Time>(kFileTimeMinute);
constexpr Time kHour = static_cast<Time>(kFileTimeHour);
constexpr Time kDay = 24 * kHour;
constexpr std::uint64_t kModelSalt = 0x6D6F64656C6C6564ULL;

const wchar_t* const kPlayerKeys[] = {L"Software\\Tervalonix\\KorinPlayerActiveX",
                                      L"Software\\Tervalonix\\KorinPlayerPlugin",
                                      L"Software\\Tervalonix\\KorinPlayerPepper"};
const char* const kTypeNames[] = {"ActiveX", "Plugin", "Pepper"};
const wchar_t* const kPlayerFiles[] = {L"C:\\Korin\\ActiveX.ocx", L"C:\\Korin\\Plugin.dll",
                                       L"C:\\Korin\\Pepper.dll"};
constexpr int kAlwaysOn = -1;

PlayerVersion versionOf(const std::string& text) {
    PlayerVersion version;
    std::uint32_t parts[4] = {0, 0, 0, 0};
    std::sscanf(text.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    version.major = parts[0];
    version.minor = parts[1];
    version.buildMajor = parts[2];
    version.buildMinor = parts[3];
    return version;
}

std::string textOf(const PlayerVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.buildMajor) + "." + std::to_string(version.buildMinor);
}

double uniform(standin::SeededRandom& random) {
    return random.next() / 4294967296.0;
}

// What the offer installs: for each package, the player type and the
// version its folder's version manifest offers (read by the program's own
// reader); and the version each type is current at.
struct OfferFacts {
    struct Install {
        int type = -1;
        std::string version;
    };
    std::vector<Install> byObject;  // by tree object id
    std::optional<PlayerVersion> current[3];
};

std::optional<PlayerVersion> offeredIn(const Platform& platform, const PublishedTree& tree,
                                       const std::string& folder, int type) {
    const std::uint32_t id =
        tree.find("/pub/korinplayer/update/current/sau/" + folder + "/xml/version.xml");
    if (id == PublishedTree::kMissing) {
        return std::nullopt;
    }
    PlayerUpdateInfo record;
    record.type = static_cast<PlayerType>(type + 1);
    std::uint32_t frequency = 1;
    if (!parseVersionManifest(platform, tree.object(id).body.c_str(), &record, &frequency) ||
        isZeroVersion(record.offeredVersion)) {
        return std::nullopt;
    }
    return record.offeredVersion;
}

OfferFacts readOffer(const Platform& platform, const PublishedTree& tree) {
    OfferFacts facts;
    facts.byObject.resize(tree.capacity());
    static const char* const kTags[] = {"_ax_sgn.z", "_pl_sgn.z", "_pep_sgn.z"};
    for (std::uint32_t id = 1; id < tree.capacity(); ++id) {
        const TreeObject& object = tree.object(id);
        if (object.target.empty()) {
            break;
        }
        if (object.kind != RequestKind::FullPackage && object.kind != RequestKind::PatchPackage) {
            continue;
        }
        const std::string root = "/sau/";
        const std::size_t begin = object.target.find(root);
        const std::size_t end = object.target.find("/install/");
        for (int type = 0; type < 3; ++type) {
            const std::string tag = kTags[type];
            if (begin == std::string::npos || end == std::string::npos ||
                object.target.size() < tag.size() ||
                object.target.compare(object.target.size() - tag.size(), tag.size(), tag) != 0) {
                continue;
            }
            const std::string folder =
                object.target.substr(begin + root.size(), end - begin - root.size());
            if (auto version = offeredIn(platform, tree, folder, type)) {
                facts.byObject[id] = {type, textOf(*version)};
            }
        }
    }
    std::unique_ptr<PlayerUpdateInfo> records[3];
    std::unique_ptr<std::uint32_t> frequency;
    const std::uint32_t currentMajor =
        tree.find("/pub/korinplayer/update/current/sau/currentmajor.xml");
    if (parseCurrentMajor(platform, tree.object(currentMajor).body.c_str(), records[0], records[1],
                          records[2], frequency)) {
        for (int type = 0; type < 3; ++type) {
            facts.current[type] =
                offeredIn(platform, tree, std::to_string(records[type]->major), type);
        }
    }
    return facts;
}

// What one cycle did to the machine, kept to be replayed for the same input.
struct RegistryChange {
    int view = 32;
    std::wstring path;
    std::wstring name;
    bool deleted = false;
    std::uint32_t type = 0;
    std::string data;
    bool isNow = false;  // the data was the clock's time: replayed as the time then
};
struct CycleEffect {
    std::vector<std::uint32_t> requests;
    std::vector<RegistryChange> changes;
    int launches = 0;
    std::uint32_t lastPackage = PublishedTree::kMissing;
    bool silentAfter = true;
};

std::string numberBytes(std::uint64_t value, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

std::uint64_t numberOf(const std::string* bytes) {
    std::uint64_t value = 0;
    if (bytes != nullptr) {
        for (std::size_t i = std::min<std::size_t>(bytes->size(), 8); i-- > 0;) {
            value = (value << 8) | static_cast<unsigned char>((*bytes)[i]);
        }
    }
    return value;
}

const std::wstring kStateKeyLower = L"software\\tervalonix\\korinplayersau";
const std::wstring kLastCheckLower = L"lastupdatecheck";

// Everything a cycle reads but the time: the registry (the last check aside,
// which only decides whether the cycle is due) and the launch's fate.
void memoKey(const MemoryRegistry& registry, bool launchSucceeds, std::string& key) {
    auto append = [&key](const std::wstring& text) {
        key.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    };
    key.clear();
    key.push_back(launchSucceeds ? '1' : '0');
    for (const MemoryRegistry::Key& entry : registry.keys()) {
        key.push_back(static_cast<char>(entry.view));
        append(entry.path);
        key.push_back('\n');
        const bool state = entry.view == 32 && entry.path == kStateKeyLower;
        for (const MemoryRegistry::Value& value : entry.values) {
            if (state && value.name == kLastCheckLower) {
                continue;
            }
            append(value.name);
            key.push_back('=');
            key.push_back(static_cast<char>('0' + value.type % 64));
            key += value.data;
            key.push_back('\n');
        }
    }
}

std::vector<RegistryChange> registryChanges(const std::vector<MemoryRegistry::Key>& before,
                                            const std::vector<MemoryRegistry::Key>& after,
                                            std::uint64_t now) {
    std::vector<RegistryChange> changes;
    const std::string nowBytes = numberBytes(now, 8);
    auto findKey = [](const std::vector<MemoryRegistry::Key>& keys,
                      const MemoryRegistry::Key& k) -> const MemoryRegistry::Key* {
        for (const auto& key : keys) {
            if (key.view == k.view && key.path == k.path) {
                return &key;
            }
        }
        return nullptr;
    };
    auto findValue = [](const MemoryRegistry::Key* key,
                        const std::wstring& name) -> const MemoryRegistry::Value* {
        if (key != nullptr) {
            for (const auto& value : key->values) {
                if (value.name == name) {
                    return &value;
                }
            }
        }
        return nullptr;
    };
    for (const auto& key : after) {
        const MemoryRegistry::Key* old = findKey(before, key);
        for (const auto& value : key.values) {
            const MemoryRegistry::Value* was = findValue(old, value.name);
            if (was == nullptr || was->type != value.type || was->data != value.data) {
                changes.push_back({key.view, key.path, value.name, false, value.type, value.data,
                                   value.type == kRegQword && value.data == nowBytes});
            }
        }
    }
    for (const auto& key : before) {
        const MemoryRegistry::Key* kept = findKey(after, key);
        for (const auto& value : key.values) {
            if (findValue(kept, value.name) == nullptr) {
                changes.push_back({key.view, key.path, value.name, true, 0, {}, false});
            }
        }
    }
    return changes;
}

// One simulated machine: what the simulator models about it.
struct MachineModel {
    std::uint64_t seed = 0;
    Time clockOffset = 0;
    int clockOffsetSeconds = 0;
    int startMinute = 0;
    int office = kAlwaysOn;
    Time onStart = 0;  // local minutes of the day, as FILETIME spans
    Time onEnd = 0;
    Time utcOffset = 0;
    std::string installed[3];
};

class Simulator {
  public:
    Simulator(const FleetPlan& plan, PublishedTree& tree, const OfferFacts& offer,
              const ForecastRun& run, std::uint32_t minutes)
        : plan_(plan),
          tree_(tree),
          offer_(offer),
          run_(run),
          machine_(tree, plan.windows),
          start_(static_cast<Time>(plan.start)),
          end_(start_ + static_cast<Time>(minutes) * kMinute) {
        result.minutes = minutes;
        result.targets = tree.capacity();
        result.requests.assign(static_cast<std::size_t>(minutes) * result.targets, 0);
        result.updatedAt.assign(minutes, 0);
        result.notifyAt.assign(minutes, 0);
    }

    void simulate(std::uint64_t index);
    ForecastResult result;

  private:
    MachineModel model(std::uint64_t index);
    void setUp(const MachineModel& machine);
    void putStandingFiles();
    Time nextSlot(Time machineTime) const;
    Time nextRun(Time machineTime) const;
    Time nextDueEstimate() const;
    Time nextWakeUp(Time at);
    const CycleEffect& cycle(std::uint64_t index, Time now, bool launchSucceeds);
    void install(std::uint64_t index, Time when, int type, const std::string& version);
    bool isUpdated() const;
    std::uint32_t minuteOf(Time machineTime) const {
        return static_cast<std::uint32_t>((machineTime - model_.clockOffset - start_) / kMinute);
    }

    const FleetPlan& plan_;
    PublishedTree& tree_;
    const OfferFacts& offer_;
    const ForecastRun& run_;
    MachinePlatform machine_;
    Time start_;
    Time end_;
    MachineModel model_;
    std::unordered_map<std::string, CycleEffect> memo_;
    std::string key_;
};

MachineModel Simulator::model(std::uint64_t index) {
    MachineModel machine;
    machine.seed = machineSeed(plan_.seed, index);
    standin::SeededRandom random(machine.seed ^ kModelSalt);
    if (plan_.clockOffsetSeconds > 0) {
        const std::uint32_t span = 2 * static_cast<std::uint32_t>(plan_.clockOffsetSeconds) + 1;
        machine.clockOffsetSeconds =
            static_cast<int>(random.next() % span) - plan_.clockOffsetSeconds;
        machine.clockOffset = static_cast<Time>(machine.clockOffsetSeconds) * 10000000;
    }
    double on = uniform(random);
    if (on >= plan_.alwaysOn) {
        on -= plan_.alwaysOn;
        for (std::size_t i = 0; i < plan_.office.size(); ++i) {
            machine.office = static_cast<int>(i);
            if (on < plan_.office[i].share) {
                break;
            }
            on -= plan_.office[i].share;
        }
    }
    // Each office machine starts and stops at its own minute of the hour.
    const Time boot = static_cast<Time>(random.next() % 60) * kMinute;
    const Time stop = static_cast<Time>(random.next() % 60) * kMinute;
    if (machine.office != kAlwaysOn) {
        const OfficeShare& office = plan_.office[static_cast<std::size_t>(machine.office)];
        machine.onStart = office.startHour * kHour + boot;
        machine.onEnd = office.endHour * kHour + stop;
        machine.utcOffset = office.utcOffsetMinutes * kMinute;
    }
    for (int type = 0; type < 3; ++type) {
        double draw = uniform(random);
        for (const InstalledShare& share : plan_.installed) {
            if (share.type != type) {
                continue;
            }
            if (draw < share.share) {
                machine.installed[type] = share.version;
                break;
            }
            draw -= share.share;
        }
    }
    return machine;
}

void Simulator::putStandingFiles() {
    machine_.files.reset();
    machine_.files.putFile(machine_.systemFolder32() + kSettingsFileRelativePath,
                           "SilentAutoUpdateEnable=1\r\n");
    for (int type = 0; type < 3; ++type) {
        const std::string* version = machine_.registry.get(32, kPlayerKeys[type], L"Version");
        if (version == nullptr) {
            continue;
        }
        for (const PlayerFile& file : plan_.playerFiles) {
            if (file.type == type && standin::regSzData(wideFromUtf8(file.version)) == *version) {
                machine_.files.putFile(kPlayerFiles[type], file.content);
            }
        }
    }
    machine_.files.written = false;
}

void Simulator::setUp(const MachineModel& machine) {
    model_ = machine;
    machine_.registry.clear();
    const Platform& platform = machine_.platform();
    // The state -install leaves, or a check some hours before the release.
    const Time machineStart = start_ + machine.clockOffset;
    machine_.clock.now = static_cast<std::uint64_t>(machineStart);
    writeUpdateAttempts(platform, 0);
    if (plan_.lastCheckSpreadHours > 0) {
        standin::SeededRandom random(machine.seed ^ (kModelSalt + 1));
        const Time back =
            static_cast<Time>(random.next() % (plan_.lastCheckSpreadHours * 60u)) * kMinute;
        machine_.clock.now = static_cast<std::uint64_t>(machineStart - back);
        writeLastUpdateCheck(platform, false);
        const auto before = static_cast<std::uint32_t>(plan_.checkFrequencyBefore);
        writeCheckFrequency(platform, &before);
    } else {
        writeLastUpdateCheck(platform, true);
        writeCheckFrequency(platform, nullptr);
    }
    for (int type = 0; type < 3; ++type) {
        if (machine.installed[type].empty()) {
            continue;
        }
        machine_.registry.set(32, kPlayerKeys[type], L"Version", kRegSz,
                              standin::regSzData(wideFromUtf8(machine.installed[type])));
        for (const PlayerFile& file : plan_.playerFiles) {
            if (file.type == type) {
                for (int view : {32, 64}) {
                    machine_.registry.set(view, kPlayerKeys[type], L"PlayerPath", kRegSz,
                                          standin::regSzData(kPlayerFiles[type]));
                }
                break;
            }
        }
    }
    putStandingFiles();
}

Time Simulator::nextSlot(Time machineTime) const {
    Time slot = machineTime / kHour * kHour + model_.startMinute * kMinute;
    return slot < machineTime ? slot + kHour : slot;
}

// The first run of the hourly task at or after machineTime (machine clock):
// every slot while the machine is on, and one run at power-on after slots
// were missed while it was off.
Time Simulator::nextRun(Time machineTime) const {
    if (model_.office == kAlwaysOn) {
        return nextSlot(machineTime);
    }
    const Time local = machineTime - model_.clockOffset + model_.utcOffset;
    for (Time day = local / kDay - 1;; ++day) {
        const int weekday = dayOfWeek(static_cast<std::uint64_t>(day * kDay));
        if (weekday == 0 || weekday == 6) {
            continue;
        }
        const Time on = day * kDay + model_.onStart;
        const Time off = day * kDay + model_.onEnd;
        if (off <= local) {
            continue;
        }
        const Time toMachine = model_.clockOffset - model_.utcOffset;
        if (local < on) {
            return on + toMachine;  // started when available
        }
        const Time slot = nextSlot(machineTime);
        if (slot - toMachine < off) {
            return slot;
        }
    }
}

// When the recorded check falls due (isCheckDue is asked there to confirm).
Time Simulator::nextDueEstimate() const {
    const std::uint64_t last =
        numberOf(machine_.registry.get(32, kUpdateStateKey, kValueLastUpdateCheck));
    const std::string* days = machine_.registry.get(32, kUpdateStateKey, kValueCheckFrequency);
    const std::uint64_t frequency = std::clamp<std::uint64_t>(days ? numberOf(days) : 1, 1, 3);
    return static_cast<Time>(last + frequency * static_cast<std::uint64_t>(kDay)) + 1;
}

// The next run that can do something. The estimate skips the runs before
// it only if the program agrees that its check is not due by then: a due
// rule that came earlier than the estimate is then run by run, never lost.
Time Simulator::nextWakeUp(Time at) {
    const Time next = nextRun(at + 1);
    const Time estimate = nextDueEstimate();
    if (estimate <= next) {
        return next;
    }
    machine_.clock.now = static_cast<std::uint64_t>(estimate - 1);
    return isCheckDue(machine_.platform()) ? next : nextRun(estimate);
}

const CycleEffect& Simulator::cycle(std::uint64_t, Time now, bool launchSucceeds) {
    memoKey(machine_.registry, launchSucceeds, key_);
    const auto known = memo_.find(key_);
    if (known != memo_.end()) {
        return known->second;
    }
    // The program's own cycle, the first time for this input.
    ++result.cyclesRun;
    const Platform& platform = machine_.platform();
    const std::vector<MemoryRegistry::Key> before = machine_.registry.keys();
    machine_.http.requests.clear();
    machine_.processes.succeeds = launchSucceeds;
    machine_.processes.launches = 0;
    machine_.files.written = false;
    runUpdateCycle(platform);
    CycleEffect effect;
    effect.requests = machine_.http.requests;
    effect.changes =
        registryChanges(before, machine_.registry.keys(), static_cast<std::uint64_t>(now));
    effect.launches = machine_.processes.launches;
    for (std::uint32_t id : effect.requests) {
        const RequestKind kind = tree_.object(id).kind;
        if (kind == RequestKind::FullPackage || kind == RequestKind::PatchPackage) {
            effect.lastPackage = id;
        }
    }
    if (machine_.files.written) {
        effect.silentAfter = isSilentAutoUpdateEnabled(platform);
    }
    putStandingFiles();
    return memo_.emplace(key_, std::move(effect)).first->second;
}

bool Simulator::isUpdated() const {
    bool any = false;
    for (int type = 0; type < 3; ++type) {
        if (model_.installed[type].empty()) {
            continue;
        }
        any = true;
        if (!offer_.current[type] ||
            compareVersions(versionOf(model_.installed[type]), *offer_.current[type]) < 0) {
            return false;
        }
    }
    return any;
}

void Simulator::install(std::uint64_t index, Time when, int type, const std::string& version) {
    const bool wasUpdated = isUpdated();
    model_.installed[type] = version;
    machine_.registry.set(32, kPlayerKeys[type], L"Version", kRegSz,
                          standin::regSzData(wideFromUtf8(version)));
    putStandingFiles();
    if (!wasUpdated && isUpdated()) {
        ++result.updatedAt[minuteOf(when)];
    }
    if (run_.trace != nullptr) {
        *run_.trace << "installed " << index << " " << when << " " << kTypeNames[type] << " "
                    << version << "\n";
    }
}

void Simulator::simulate(std::uint64_t index) {
    MachineModel machine = model(index);
    // The task's start minute, drawn by the program from the machine's
    // random source as at -install.
    machine_.random.reseed(machine.seed);
    const std::wstring boundary = randomStartBoundary(machine_.platform());
    machine.startMinute = (boundary[14] - L'0') * 10 + (boundary[15] - L'0');
    setUp(machine);
    if (run_.keepStartMinutes) {
        result.startMinutes.push_back(machine.startMinute);
    }
    standin::SeededRandom launches(machine.seed ^ (kModelSalt + 2));
    bool hasPlayer = false;
    for (const std::string& version : machine.installed) {
        hasPlayer = hasPlayer || !version.empty();
    }
    result.machinesWithPlayers += hasPlayer ? 1 : 0;
    result.updatedAtStart += isUpdated() ? 1 : 0;
    if (run_.trace != nullptr) {
        std::ostream& trace = *run_.trace;
        trace << "machine " << index << " seed " << machine.seed << " clock-offset "
              << machine.clockOffsetSeconds << " start-minute " << machine.startMinute
              << " installed ";
        const char* separator = "";
        for (int type = 0; type < 3; ++type) {
            if (!machine.installed[type].empty()) {
                trace << separator << kTypeNames[type] << "=" << machine.installed[type];
                separator = ",";
            }
        }
        trace << "\n";
    }

    const Platform& platform = machine_.platform();
    const Time endMachine = end_ + model_.clockOffset;
    struct Pending {
        Time when;
        int type;
        std::string version;
    };
    std::vector<Pending> pending;
    auto installDue = [&](Time upTo) {
        while (!pending.empty() && pending.front().when <= upTo) {
            const Pending done = pending.front();
            pending.erase(pending.begin());
            if (done.when < endMachine) {
                install(index, done.when, done.type, done.version);
            }
        }
    };
    for (Time at = nextRun(start_ + model_.clockOffset); at < endMachine;) {
        installDue(at);
        machine_.clock.now = static_cast<std::uint64_t>(at);
        if (run_.trace != nullptr) {
            *run_.trace << "run " << index << " " << at << "\n";
        }
        if (isCheckDue(platform)) {
            ++result.cycles;
            const bool launchSucceeds = uniform(launches) >= plan_.installerFailure;
            const CycleEffect& effect = cycle(index, at, launchSucceeds);
            const std::uint32_t minute = minuteOf(at);
            std::uint32_t* counts =
                &result.requests[static_cast<std::size_t>(minute) * result.targets];
            for (std::uint32_t id : effect.requests) {
                ++counts[id];
                if (run_.trace != nullptr) {
                    *run_.trace << "request " << index << " " << at << " "
                                << tree_.object(id).target << "\n";
                }
            }
            for (const RegistryChange& change : effect.changes) {
                if (change.deleted) {
                    std::unique_ptr<RegistryKey> key;
                    if (machine_.registry.openKey(
                            RegistryRoot::LocalMachine, change.path,
                            kKeySetValue | (change.view == 64 ? kKeyWow64_64Key : 0), key) == 0) {
                        key->deleteValue(change.name);
                    }
                    continue;
                }
                machine_.registry.set(
                    change.view, change.path, change.name, change.type,
                    change.isNow ? numberBytes(static_cast<std::uint64_t>(at), 8) : change.data);
            }
            if (effect.launches > 0) {
                const OfferFacts::Install& what = offer_.byObject[effect.lastPackage];
                if (what.type >= 0) {
                    pending.push_back(
                        {at + plan_.installDelayMinutes * kMinute, what.type, what.version});
                }
            }
            if (!effect.silentAfter) {
                ++result.notifyAt[minute];
                ++result.notifyMachines;
                break;  // the service's later runs stop at the settings gate
            }
        }
        at = nextWakeUp(at);
    }
    installDue(endMachine);
}

}  // namespace

ForecastResult simulateFleet(const FleetPlan& plan, PublishedTree& tree, const ForecastRun& run) {
    const std::uint32_t minutes = static_cast<std::uint32_t>(run.days) * 24 * 60;
    // The program's start-up reads the fleet's Windows and a settings file
    // that enables silent updating, once for the process, as a service does.
    MachinePlatform startUp(tree, plan.windows);
    startUp.files.putFile(startUp.systemFolder32() + kSettingsFileRelativePath,
                          "SilentAutoUpdateEnable=1\r\n");
    initRuntimeConfig(startUp.platform());
    const OfferFacts offer = readOffer(startUp.platform(), tree);

    const int threads = run.trace != nullptr ? 1 : std::max(1, run.threads);
    constexpr std::uint64_t kBlock = 1024;
    std::atomic<std::uint64_t> nextBlock{0};
    std::vector<std::unique_ptr<Simulator>> simulators;
    for (int i = 0; i < threads; ++i) {
        simulators.push_back(std::make_unique<Simulator>(plan, tree, offer, run, minutes));
    }
    auto work = [&](Simulator& simulator) {
        for (;;) {
            const std::uint64_t first = nextBlock.fetch_add(1) * kBlock;
            if (first >= run.machines) {
                return;
            }
            const std::uint64_t last = std::min(run.machines, first + kBlock);
            for (std::uint64_t index = first; index < last; ++index) {
                simulator.simulate(index);
            }
        }
    };
    if (threads == 1) {
        work(*simulators[0]);
    } else {
        std::vector<std::thread> workers;
        for (auto& simulator : simulators) {
            workers.emplace_back(work, std::ref(*simulator));
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }

    ForecastResult result = std::move(simulators[0]->result);
    for (std::size_t i = 1; i < simulators.size(); ++i) {
        const ForecastResult& other = simulators[i]->result;
        for (std::size_t j = 0; j < result.requests.size(); ++j) {
            result.requests[j] += other.requests[j];
        }
        for (std::uint32_t m = 0; m < minutes; ++m) {
            result.updatedAt[m] += other.updatedAt[m];
            result.notifyAt[m] += other.notifyAt[m];
        }
        result.updatedAtStart += other.updatedAtStart;
        result.machinesWithPlayers += other.machinesWithPlayers;
        result.cycles += other.cycles;
        result.cyclesRun += other.cyclesRun;
        result.notifyMachines += other.notifyMachines;
    }
    result.machines = run.machines;
    result.days = run.days;
    return result;
}

}  // namespace korin::fleet
