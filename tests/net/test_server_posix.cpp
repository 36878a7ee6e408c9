#include "net/test_server_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace korin::testing {

int runCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TestServer::~TestServer() {
    stop();
}

bool TestServer::start(const std::string& root, const std::string& work, std::string& error,
                       const std::string& address, const std::string& serverProgram) {
    root_ = root;
    work_ = work;
    const std::string certs = work + "/certs";
    if (runCommand(std::string(KORIN_SOURCE_DIR) +
                   "/tools/update_server/make_test_certificates.sh '" + certs + "'") != 0) {
        error = "the test certificates could not be made";
        return false;
    }
    const std::string ready = work + "/server-ready";
    const std::string program =
        serverProgram.empty() ? std::string(KORIN_BIN_DIR) + "/korin-update-server" : serverProgram;
    const std::string log = work + "/server.log";
    std::vector<std::string> args = {program,
                                     "--root",
                                     root,
                                     "--cert",
                                     certs + "/server.pem",
                                     "--key",
                                     certs + "/server.key",
                                     "--address",
                                     address,
                                     "--ready-file",
                                     ready,
                                     "--request-log",
                                     work + "/requests.log"};
    if (serverProgram.empty()) {
        for (const char* option : {"--second-port", "8443", "--http-port", "8080"}) {
            args.push_back(option);
        }
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid_ = -1;
        error = "cannot start " + program;
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        std::ifstream in(ready);
        if (in >> address_) {
            return true;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            std::ifstream messages(log);
            std::getline(messages, error, '\0');
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    error = "the server did not come up";
    return false;
}

void TestServer::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

std::vector<std::string> TestServer::requestTargets() const {
    std::ifstream in(work_ + "/requests.log", std::ios::binary);
    std::vector<std::string> targets;
    for (std::string line; std::getline(in, line);) {
        targets.push_back(line);
    }
    return targets;
}

void TestServer::misbehave(const std::string& path, const std::string& mode) const {
    std::ofstream(root_ + "/misbehave", std::ios::app) << path << " " << mode << "\n";
}

}  // namespace korin::testing
