// korin-fleet forecast: the fleet file's rejections, and a small fleet whose
// outcome the program's rules imply.

#include "fleet/fleet_file.h"
#include "fleet/forecast.h"
#include "fleet/machine_platform.h"
#include "fleet/machine_seed.h"
#include "fleet/published_tree.h"

#include "platform/platform.h"
#include "platform/runtime_library.h"
#include "platform/files_contract.h"
#include "platform/real_files.h"
#include "platform/registry_contract.h"
#include "settings/runtime_config.h"
#include "settings/settings_file.h"
#include "support/log.h"
#include "task/update_task.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace korin::fleet {
namespace {

namespace fs = std::filesystem;

struct Rejection {
    const char* text;
    const char* reason;  // a part of the error
};

// clang-format off
const Rejection kRejections[] = {
    {"seed -1",                                       "line 1: seed"},
    {"seed 1\n\nstart 2026-02-30T10:00Z",            "line 3: start"},
    {"start 2026-01-05 10:00",                        "start"},
    {"on always 1.5",                                 "on always"},
    {"on office 0.5 15",                              "on office"},
    {"on office 0.5 1 18 9",                          "on office"},
    {"installed Flash 31.0.0.1 0.5",                  "installed"},
    {"installed Plugin 31.0.1 0.5",                   "installed"},
    {"installed Plugin 31.0.0.1 0.7\ninstalled Plugin 32.0.0.1 0.4", "add up to more than 1"},
    {"player-file Plugin 31.0.0.1",                   "player-file"},
    {"installer-failure 2",                           "installer-failure"},
    {"install-delay-minutes -5",                      "install-delay-minutes"},
    {"clock-offset-seconds x",                        "clock-offset-seconds"},
    {"last-check-spread-hours 100",                   "last-check-spread-hours"},
    {"check-frequency-before 0",                      "check-frequency-before"},
    {"windows 11",                                    "windows"},
    {"on always 0.5\non office 0.3 1",                "add up to 1"},
    {"colour blue",                                   "unknown statement 'colour'"},
};
// clang-format on

TEST(FleetFile, RejectsEachMalformedStatementNamingItsLine) {
    for (const Rejection& row : kRejections) {
        FleetPlan plan = defaultFleet();
        std::string error;
        EXPECT_FALSE(parseFleetFile(row.text, plan, error)) << row.text;
        EXPECT_NE(error.find(row.reason), std::string::npos) << row.text << ": " << error;
    }
}

// The simulated machines' registry and files are held to the contracts of
// the stand-in and Win32 adapters. Like the fake, the registry keeps its two
// views apart rather than one inside the other.
TEST(FleetPorts, HoldTheFilesAndRegistryContracts) {
    MemoryFiles files(L"C:\\Windows\\SysWOW64");
    ASSERT_TRUE(files.createDirectory(L"C:\\Contract"));
    testing::holdsTheFilesContract(files, L"C:\\Contract");
    MemoryRegistry registry;
    testing::holdsTheRegistryContract(registry, L"KorinContract");
}

// A release of Plugin 32.0.0.465 for players of major 31, its full package
// a package signed under the development authority.
class SmallRelease {
  public:
    SmallRelease() {
        const fs::path sau = folder_.path() / "pub/korinplayer/update/current/sau";
        write(sau / "currentmajor.xml",
              "<version><Player major=\"32\" majorBeta=\"33\" loudVer=\"32.0.0.465\"/></version>");
        for (const char* folder : {"31", "32", "32.0.0.465"}) {
            write(sau / folder / "xml/version.xml",
                  "<version><Plugin major=\"32\" minor=\"0\" buildMajor=\"0\" buildMinor=\"465\" "
                  "minVer=\"31.0.0.0\"/><SAUConfig checkFrequency=\"1\"/></version>");
            write(sau / folder / "xml/patch.xml", "<patch/>");
        }
        write(sau / "31/install/install_all_win_pl_sgn.z",
              testing::readFileBytes(fs::path(KORIN_TRUST_VECTORS_DIR) / "direct.p7"));
        std::string error;
        loaded_ = tree.load(folder_.path().string(), error);
    }
    bool loaded() const { return loaded_; }
    PublishedTree tree;

  private:
    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    testing::TemporaryWorkingFolder folder_;
    bool loaded_ = false;
};

class SeededDraws final : public SecureRandom {
  public:
    explicit SeededDraws(std::uint64_t seed) : random_(seed) {}
    bool draw(std::uint32_t& value) override {
        value = random_.next();
        return true;
    }

  private:
    standin::SeededRandom random_;
};

// The first minute from which every machine with a player is updated, or -1.
long allUpdatedMinute(const ForecastResult& result) {
    std::uint64_t updated = result.updatedAtStart;
    for (std::uint32_t minute = 0; minute < result.minutes; ++minute) {
        updated += result.updatedAt[minute];
        if (updated == result.machinesWithPlayers) {
            return minute;
        }
    }
    return -1;
}

struct FleetOutcome {
    const char* fleet;
    int days;
    long updatedBy;        // every machine updated by this minute; -1: none ever
    std::uint64_t notify;  // machines in notify mode at the end
};

// Always on and due at once (the state -install leaves): the first hourly
// run starts the installer, which lands install-delay-minutes later. Every
// launch failing: each failure is counted and the check recorded, so after
// seven failed days the eighth check switches the machine to notify mode.
// clang-format off
const FleetOutcome kOutcomes[] = {
    {"installer-failure 0\ninstall-delay-minutes 5\nclock-offset-seconds 300", 2,  60 + 5 + 5, 0},
    {"installer-failure 1\nclock-offset-seconds 300",                          10, -1,         40},
};
// clang-format on

TEST(FleetForecast, SmallFleetFollowsTheProgramsRules) {
    SmallRelease release;
    ASSERT_TRUE(release.loaded());
    for (const FleetOutcome& row : kOutcomes) {
        FleetPlan plan = defaultFleet();
        std::string error;
        ASSERT_TRUE(parseFleetFile(std::string("seed 11\n") + row.fleet, plan, error)) << error;
        ForecastRun run;
        run.machines = 40;
        run.days = row.days;
        run.keepStartMinutes = true;
        std::ostringstream trace;
        run.trace = &trace;
        const ForecastResult result = simulateFleet(plan, release.tree, run);

        EXPECT_EQ(result.machinesWithPlayers, 40u) << row.fleet;
        const long updatedBy = allUpdatedMinute(result);
        if (row.updatedBy < 0) {
            EXPECT_EQ(updatedBy, -1) << row.fleet;
        } else {
            EXPECT_GE(updatedBy, 0) << row.fleet;
            EXPECT_LE(updatedBy, row.updatedBy) << row.fleet;
        }
        EXPECT_EQ(result.notifyMachines, row.notify) << row.fleet;

        // Each machine's task starts at the minute the program draws from
        // the machine's own random source.
        ASSERT_EQ(result.startMinutes.size(), 40u);
        for (std::uint64_t i = 0; i < 40; ++i) {
            SeededDraws draws(machineSeed(11, i));
            Platform platform;
            platform.random = &draws;
            const std::wstring boundary = randomStartBoundary(platform);
            EXPECT_EQ(result.startMinutes[i], std::stoi(boundary.substr(14, 2))) << i;
        }

        // Every machine's first check asks for the manifests in the order
        // the program reads them, then the one package.
        std::map<std::string, std::vector<std::string>> firstRun;
        std::map<std::string, std::string> firstTime;
        std::istringstream lines(trace.str());
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string kind, machine, time, target;
            words >> kind >> machine >> time >> target;
            if (kind == "request" && firstTime.emplace(machine, time).first->second == time) {
                firstRun[machine].push_back(target);
            }
        }
        const std::string sau = "/pub/korinplayer/update/current/sau/";
        const std::vector<std::string> expected = {
            sau + "currentmajor.xml", sau + "31/xml/version.xml", sau + "31/xml/patch.xml",
            sau + "31/install/install_all_win_pl_sgn.z"};
        EXPECT_EQ(firstRun.size(), 40u);
        for (const auto& [machine, targets] : firstRun) {
            EXPECT_EQ(targets, expected) << "machine " << machine;
        }
    }
    // The forecast set the process's start-up state; the next test starts fresh.
    runtimeConfig() = RuntimeConfig{};
    logOptions() = LogOptions{};
    clearSettingsFilePathCache();
}

}  // namespace
}  // namespace korin::fleet
