#include "integration/machine_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace korin::integration {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

void MachineFixture::SetUp() {
    // The folder only: the machine is made by the administrator's tool itself.
    std::string error;
    ASSERT_TRUE(folder_.create("it", error, false)) << error;
    root_ = folder_.root();
    const RunResult init = run("korin-machine", {"init"}, root_);
    ASSERT_EQ(init.exitCode, 0) << init.err;
}

std::string MachineFixture::driveC(const std::string& relative) const {
    return folder_.driveC(relative);
}

std::string MachineFixture::readFile(const std::string& hostPath) const {
    return slurp(hostPath);
}

std::string MachineFixture::serviceLog() const {
    const std::string bytes =
        readFile(driveC("Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"));
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text += bytes[i];
    }
    return text;
}

void MachineFixture::writePatchOffer() const {
    const std::string installer = std::string(KORIN_BIN_DIR) + "/korin-test-installer";
    std::filesystem::copy_file(installer, root_ + "/full.exe");
    std::filesystem::copy_file(installer, root_ + "/patch.exe");
    std::ofstream(root_ + "/patch.exe", std::ios::binary | std::ios::app) << "patch";
    std::ofstream(root_ + "/offer.txt")
        << "major 32\nmajorBeta 33\nloudVer 32.0.0.465\n"
        << "offer Plugin release 32.0.0.465\npatch Plugin release 31 p31 " << kDigestAbc << " "
        << kDigestAbc << "\n";
}

RunResult MachineFixture::run(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingFolder, bool withMachine) {
    const std::string binary =
        program.starts_with("/") ? program : std::string(KORIN_BIN_DIR) + "/" + program;
    const std::string out = root_ + "/.run-out";
    const std::string err = root_ + "/.run-err";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("KORIN_MACHINE_ROOT=", 0) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (withMachine) {
        environment.push_back("KORIN_MACHINE_ROOT=" + root_);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argvStrings = {binary};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string folder = workingFolder.empty() ? driveC("Windows/System32") : workingFolder;
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    RunResult result;
    if (posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
}

}  // namespace korin::integration
