// The stand-in's process creation: the C runtime's splitting of a command
// line, host programs started detached, and Windows' answers for files that
// are no program.

#include "fixtures/temporary_machine_posix.h"
#include "platform/processes_posix.h"
#include "platform/standin/process_launcher.h"
#include "platform/standin/machine.h"
#include "platform/standin/program_view.h"
#include "platform/last_error.h"
#include "platform/standin/machine_setup.h"
#include "platform/error_codes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace korin {
namespace {

namespace fs = std::filesystem;

TEST(SplitCommandLine, SplitsAsTheCRuntimeDoes) {
    const struct {
        const wchar_t* line;
        std::vector<std::wstring> arguments;
    } cases[] = {
        {L"KorinPlayerInstaller.exe -install -iv 11",
         {L"KorinPlayerInstaller.exe", L"-install", L"-iv", L"11"}},
        {L"\"C:\\Program Files\\a.exe\" x", {L"C:\\Program Files\\a.exe", L"x"}},
        {L"C:\\a\\\"b c\"\\ x", {L"C:\\a\\b c\\", L"x"}},  // the name: quotes only group
        {L"p \"a b c\" d e", {L"p", L"a b c", L"d", L"e"}},
        {L"p \"ab\\\"c\" \"\\\\\" d", {L"p", L"ab\"c", L"\\", L"d"}},
        {L"p a\\\\\\b d\"e f\"g h", {L"p", L"a\\\\\\b", L"de fg", L"h"}},
        {L"p a\\\\\\\"b c d", {L"p", L"a\\\"b", L"c", L"d"}},
        {L"p a\\\\\\\\\"b c\" d e", {L"p", L"a\\\\b c", L"d", L"e"}},
        {L"p \"a\"\"b\" c", {L"p", L"a\"b", L"c"}},
        {L"p \"\" \t x", {L"p", L"", L"x"}},
        {L"p \"unterminated arg", {L"p", L"unterminated arg"}},
        {L"", {L""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line, c.line + std::wcslen(c.line)));
        EXPECT_EQ(standin::splitCommandLine(c.line), c.arguments);
    }
}

class ProcessesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(machine_.create("processes", error)) << error;
        root_ = machine_.root();
        machine_.enter("Korin");
    }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(root_ + "/drive_c/Korin/" + name, std::ios::binary) << content;
    }
    // The file the program writes, once it is there.
    std::string waitFor(const std::string& name) {
        const std::string path = root_ + "/drive_c/Korin/" + name;
        for (int i = 0; i < 500 && !fs::exists(path + ".done"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string root_;
    korin::testing::TemporaryMachine machine_;
};

TEST_F(ProcessesTest, ScriptRunsDetachedWithTheSplitArguments) {
    // Arguments one a line, then whether it leads its own session without a
    // terminal, then the command line as GetCommandLineW gives it.
    write("Record.exe",
          "#!/bin/sh\n"
          "for a in \"$@\"; do echo \"arg:$a\"; done > record.txt\n"
          "set -- $(cut -d' ' -f6,7 /proc/$$/stat)\n"
          "[ \"$1\" = $$ ] && echo session:own >> record.txt\n"
          "[ \"$2\" = 0 ] && echo terminal:none >> record.txt\n"
          "echo \"line:$KORIN_COMMAND_LINE\" >> record.txt\n"
          ": > record.txt.done\n");
    standin::Machine machine(root_);
    StandInProcesses processes(standin::ProgramView(machine, true));
    std::wstring commandLine = L"Record.exe -install \"two words\" -iv 11";
    auto process = processes.createProcess(L"C:\\Korin\\Record.exe", commandLine,
                                           kCreateDefaultErrorMode | kDetachedProcess);
    ASSERT_TRUE(process) << lastError();
    EXPECT_GT(process->processId(), 0u);
    EXPECT_EQ(waitFor("record.txt"),
              "arg:-install\narg:two words\narg:-iv\narg:11\nsession:own\nterminal:none\n"
              "line:Record.exe -install \"two words\" -iv 11\n");
}

TEST_F(ProcessesTest, FilesThatAreNoProgramFailAsOnWindows) {
    write("Text.exe", "MZ but not for this machine");
    write("Empty.exe", "");
    standin::Machine machine(root_);
    StandInProcesses processes(standin::ProgramView(machine, true));
    const struct {
        const wchar_t* application;
        std::uint32_t error;
    } cases[] = {
        {L"C:\\Korin\\Text.exe", kErrorBadExeFormat},
        {L"C:\\Korin\\Empty.exe", kErrorBadExeFormat},
        {L"C:\\Korin\\Missing.exe", kErrorFileNotFound},
        {L"C:\\NoSuchFolder\\Missing.exe", kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        std::wstring commandLine = L"x.exe";
        setLastError(0);
        EXPECT_FALSE(processes.createProcess(c.application, commandLine, 0));
        EXPECT_EQ(lastError(), c.error);
    }
}

}  // namespace
}  // namespace korin
