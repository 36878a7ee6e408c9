#include "fleet/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace korin::fleet {

namespace {

bool exited(pid_t pid) {
    siginfo_t info{};
    // WNOWAIT leaves the zombie, so the id stays ours until it is reaped.
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

[[noreturn]] void failChild(int reportFd) {
    const int error = errno;
    (void)!write(reportFd, &error, sizeof error);
    _exit(127);
}

}  // namespace

void ProcessGroupTraits::close(pid_t leader) {
    kill(leader, SIGTERM);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!exited(leader) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-leader, SIGKILL);
    waitpid(leader, nullptr, 0);
}

UniqueProcess startProcess(const std::vector<std::string>& argv, const std::string& outputFile,
                           int cpu, std::string& error) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return UniqueProcess();
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(report[0]);
        setpgid(0, 0);
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
            _exit(127);
        }
        if (cpu >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(cpu, &set);
            if (sched_setaffinity(0, sizeof set, &set) != 0) {
                failChild(report[1]);
            }
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            failChild(report[1]);
        }
        execvp(args[0], args.data());
        failChild(report[1]);
    }
    ::close(report[1]);
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        ::close(report[0]);
        return UniqueProcess();
    }
    setpgid(pid, pid);
    UniqueProcess process(pid);
    int childError = 0;
    const ssize_t got = read(report[0], &childError, sizeof childError);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        error = argv[0] + ": " + std::strerror(childError);
        return UniqueProcess();
    }
    return process;
}

bool processFinished(UniqueProcess& process, int& status) {
    if (!process || !exited(process.get())) {
        return !process;
    }
    const pid_t leader = process.release();
    kill(-leader, SIGKILL);
    int raw = 0;
    waitpid(leader, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

double treeCpuSeconds(pid_t root) {
    struct Entry {
        pid_t parent;
        unsigned long long ticks;
    };
    std::map<pid_t, Entry> processes;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), last; !error && it != last;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        const std::string name = path.filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream in(path / "stat");
        std::string line;
        std::getline(in, line);
        // The command name may hold blanks and parentheses: fields follow its last ')'.
        const std::size_t end = line.rfind(')');
        if (end == std::string::npos) {
            continue;
        }
        std::istringstream fields(line.substr(end + 1));
        std::string state, skip;
        pid_t parent = 0;
        unsigned long long user = 0, system = 0;
        fields >> state >> parent;
        for (int i = 0; i < 9; ++i) {  // pgrp ... cmajflt
            fields >> skip;
        }
        if (fields >> user >> system) {
            processes[static_cast<pid_t>(std::stol(name))] = {parent, user + system};
        }
    }
    unsigned long long ticks = 0;
    for (const auto& [pid, entry] : processes) {
        for (pid_t up = pid; up > 1;) {
            if (up == root) {
                ticks += entry.ticks;
                break;
            }
            const auto found = processes.find(up);
            up = found == processes.end() ? 0 : found->second.parent;
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace korin::fleet
