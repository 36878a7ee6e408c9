// The hourly task through the program's switches on stand-in machines: the
// store a Windows version uses, the repair of a task of that name made by
// someone else, a delete with nothing to delete, and the start minute of a
// machine whose random source a test seeded.

#include "integration/machine_fixture.h"
#include "platform/standin/seeded_random.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

constexpr char kTask[] = "Vemra Korin Player Updater";

class TaskProgramTest : public MachineFixture {
  protected:
    std::string taskXml() { return machine({"schtasks", "/query", "/tn", kTask, "/xml"}).out; }
};

TEST_F(TaskProgramTest, AForeignTaskOfTheNameIsRepairedToRunTheProgramHourly) {
    ASSERT_EQ(service({"-createDefaultTask"}).exitCode, 0);
    std::string planted = taskXml();
    ASSERT_NE(planted.find("<Interval>PT1H</Interval>"), std::string::npos) << planted;
    planted = std::regex_replace(planted, std::regex("PT1H"), "PT5H");
    planted = std::regex_replace(planted, std::regex("<Author>[^<]*</Author>"),
                                 "<Author>Someone</Author>");
    planted = std::regex_replace(planted, std::regex("<Command>[^<]*</Command>"),
                                 "<Command>C:\\\\Tools\\\\other.exe</Command>");
    std::ofstream(root_ + "/planted.xml") << planted;
    ASSERT_EQ(machine({"schtasks", "/delete", "/tn", kTask, "/f"}).exitCode, 0);
    ASSERT_EQ(
        machine({"schtasks", "/create", "/tn", kTask, "/xml", root_ + "/planted.xml"}).exitCode, 0);

    ASSERT_EQ(service({"-createDefaultTask"}).exitCode, 0);
    const std::string repaired = taskXml();
    EXPECT_NE(repaired.find("<Interval>PT1H</Interval>"), std::string::npos) << repaired;
    EXPECT_NE(repaired.find("<Author>Someone</Author>"), std::string::npos) << repaired;
    EXPECT_EQ(repaired.find("other.exe"), std::string::npos) << repaired;
    EXPECT_NE(repaired.find("korin-update-service</Command>"), std::string::npos) << repaired;
    EXPECT_NE(repaired.find("<UserId>S-1-5-18</UserId>"), std::string::npos) << repaired;
}

TEST_F(TaskProgramTest, EachWindowsVersionGetsItsSchedulersStore) {
    const struct {
        const char* windows;
        const char* taskFile;
    } cases[] = {
        {"10.0", "Windows/System32/Tasks/Vemra Korin Player Updater"},
        {"5.1", "Windows/Tasks/Vemra Korin Player Updater.job"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        ASSERT_EQ(machine({"init", "--windows", c.windows}).exitCode, 0);
        ASSERT_EQ(service({"-createDefaultTask"}).exitCode, 0);
        EXPECT_TRUE(fs::exists(driveC(c.taskFile)));
        ASSERT_EQ(service({"-deleteTask"}).exitCode, 0);
        EXPECT_FALSE(fs::exists(driveC(c.taskFile)));
    }
}

TEST_F(TaskProgramTest, DeletingNoTaskLogsNothing) {
    fs::create_directories(driveC("Windows/SysWOW64/Tervalon/Korin"));
    ASSERT_EQ(service({"-deleteTask"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log")));
}

// Each run of the program continues the machine's seeded sequence: two
// draws per new task, the tens and the units of the start minute.
TEST_F(TaskProgramTest, ASeededMachineDrawsItsStartMinutesFromItsSeedRunAfterRun) {
    for (const std::uint64_t seed : {1ULL, 2ULL, 20260302ULL}) {
        SCOPED_TRACE(seed);
        ASSERT_EQ(machine({"random", "seed", std::to_string(seed)}).exitCode, 0);
        standin::SeededRandom reference(seed);
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(service({"-deleteTask"}).exitCode, 0);
            ASSERT_EQ(service({"-createDefaultTask"}).exitCode, 0);
            const std::uint32_t tens = reference.next() % 6;
            const std::uint32_t units = reference.next() % 10;
            EXPECT_NE(taskXml().find("<StartBoundary>2000-01-01T00:" + std::to_string(tens) +
                                     std::to_string(units) + ":00Z</StartBoundary>"),
                      std::string::npos)
                << taskXml();
        }
        EXPECT_EQ(machine({"random", "show"}).out,
                  "seeded, state " + std::to_string(reference.state()) + "\n");
    }
}

}  // namespace
}  // namespace korin::integration
