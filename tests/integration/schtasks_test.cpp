// korin-machine schtasks on a stand-in machine: schtasks.exe's output and
// exit codes, and a task started as the scheduler starts it.

#include "integration/machine_fixture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "C:\\Program Files\\Korin\\korin-test-installer.exe";

std::string taskXml(const std::string& command) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           "<RegistrationInfo><Author>Tester</Author></RegistrationInfo>"
           "<Triggers><CalendarTrigger><StartBoundary>2000-01-01T00:00:00Z</StartBoundary>"
           "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>"
           "</Triggers><Actions Context=\"Author\"><Exec><Command>" +
           command + "</Command></Exec></Actions></Task>\n";
}

class SchtasksTest : public MachineFixture {
  protected:
    std::string plantFile(const std::string& name, const std::string& text) {
        const std::string file = root_ + "/" + name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
};

TEST_F(SchtasksTest, CommandsAnswerAsSchtasksDoes) {
    const std::string xml = plantFile("task.xml", taskXml("C:\\Tools\\x.exe"));
    const std::string broken = plantFile("broken.xml", "<Task><Actions>");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // a line the output holds; empty for none
    };
    const Case cases[] = {
        {{"/query"}, 0, "INFO: There are no scheduled tasks presently available"},
        {{"/create", "/tn", "Updater", "/xml", xml},
         0,
         "SUCCESS: The scheduled task \"Updater\" has successfully been created."},
        {{"/create", "/tn", "Updater", "/xml", xml}, 1, ""},
        {{"/create", "/tn", "Updater", "/xml", xml, "/f"}, 0, ""},
        {{"/create", "/tn", "Vendor\\Other", "/xml", xml}, 0, ""},
        {{"/create", "/tn", "Bad", "/xml", broken}, 1, ""},
        {{"/query"}, 0, "Updater                                  N/A                    Ready"},
        {{"/query"}, 0, "Folder: \\Vendor"},
        {{"/query", "/tn", "\\Vendor\\Other"}, 0, "Other "},
        {{"/query", "/tn", "Updater", "/xml"}, 0, "      <Command>C:\\Tools\\x.exe</Command>"},
        {{"/query", "/tn", "Nothing"}, 1, ""},
        {{"/delete", "/tn", "Updater"}, 2, ""},
        {{"/delete", "/tn", "Updater", "/f"},
         0,
         "SUCCESS: The scheduled task \"Updater\" was successfully deleted."},
        {{"/delete", "/tn", "Updater", "/f"}, 1, ""},
        {{"/run", "/tn", "Updater"}, 1, ""},
        {{"/frobnicate"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"schtasks"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult result = machine(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args[0] << " " << result.out << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        if (c.exitCode == 1) {
            EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
        }
    }
    EXPECT_NE(machine({"schtasks", "/query", "/tn", "Nothing"})
                  .err.find("ERROR: The system cannot find the file specified."),
              std::string::npos);
    EXPECT_TRUE(fs::exists(driveC("Windows/System32/Tasks/Vendor/Other")));
    EXPECT_FALSE(fs::exists(driveC("Windows/System32/Tasks/Bad")));
}

TEST_F(SchtasksTest, RunStartsTheProgramWithoutArgumentsInSystem32) {
    fs::create_directories(driveC("Program Files/Korin"));
    fs::copy_file(std::string(KORIN_BIN_DIR) + "/korin-test-installer",
                  driveC("Program Files/Korin/korin-test-installer.exe"));
    const std::string xml = plantFile("task.xml", taskXml(kProgram));
    ASSERT_EQ(
        machine({"schtasks", "/create", "/tn", "Vemra Korin Player Updater", "/xml", xml}).exitCode,
        0);
    // Started from elsewhere: the task's folder is the scheduler's, not ours.
    const RunResult result =
        run("korin-machine", {"schtasks", "/run", "/tn", "Vemra Korin Player Updater"}, root_);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "SUCCESS: Attempted to run the scheduled task \"Vemra Korin Player Updater\".\n");

    const std::string record = driveC("Windows/System32/installer-record.txt");
    for (int i = 0; i < 200 && !fs::exists(record); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fs::exists(record)) << "the program did not run in System32";
    EXPECT_EQ(readFile(record),
              "\"" + std::string(kProgram) + "\"\nC:\\Windows\\System32\n" + kProgram + "\n");
}

}  // namespace
}  // namespace korin::integration
