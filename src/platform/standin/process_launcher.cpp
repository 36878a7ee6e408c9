#include "platform/standin/process_launcher.h"

#include "platform/error_codes.h"
#include "platform/standin/host_errors.h"
#include "ground/text.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

extern char** environ;

namespace korin::standin {

namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// What CreateProcessW takes as the program when no application name is
// given: the quoted first token, or the text up to the first white space.
std::wstring programToken(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const auto close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    std::size_t end = 0;
    while (end < commandLine.size() && !isBlank(commandLine[end])) {
        ++end;
    }
    return commandLine.substr(0, end);
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Spawn attributes and file actions, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Starts the program as a grandchild, so that it belongs to no one here and
// outlives this process: a short-lived child spawns it and reports back.
// Returns 0 and the pid, or the errno of the spawn.
int spawnDetached(const std::string& program, char* const* argv, char* const* envp,
                  const std::string& folder, pid_t& pid) {
    SpawnSetup setup;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    // No console: the standard streams lead nowhere; no handle is inherited.
    for (int fd = 0; fd < 3; ++fd) {
        posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null",
                                         fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    }

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return errno;
    }
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (child == 0) {
        pid_t grandchild = 0;
        const int result[2] = {posix_spawn(&grandchild, program.c_str(), &setup.actions,
                                           &setup.attributes, argv, envp),
                               static_cast<int>(grandchild)};
        const ssize_t ignored = write(report[1], result, sizeof result);
        (void)ignored;
        _exit(0);
    }
    close(report[1]);
    int result[2] = {ECHILD, 0};
    ssize_t got;
    do {
        got = read(report[0], result, sizeof result);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof result)) {
        return ECHILD;
    }
    pid = static_cast<pid_t>(result[1]);
    return result[0];
}

// What CreateProcessW refuses of the program file: a folder, or neither an
// ELF binary nor a "#!" script.
std::uint32_t checkProgram(const std::string& program) {
    const int fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return win32ErrorFromErrno(errno, program);
    }
    char magic[4] = {};
    const ssize_t got = read(fd, magic, sizeof magic);
    struct stat info;
    const bool directory = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    close(fd);
    if (directory) {
        return kErrorAccessDenied;
    }
    const bool elf = got == 4 && std::memcmp(magic,
                                             "\x7f"
                                             "ELF",
                                             4) == 0;
    const bool script = got >= 2 && magic[0] == '#' && magic[1] == '!';
    if (!elf && !script) {
        return kErrorBadExeFormat;
    }
    // Windows asks no execute permission of a program file.
    if ((info.st_mode & S_IXUSR) == 0) {
        chmod(program.c_str(), info.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
    }
    return kErrorSuccess;
}

// The service's environment with the caller's entries added, and the command
// line as the program's GetCommandLineW would give it. envp() points into it.
class SpawnEnvironment {
  public:
    SpawnEnvironment(const std::wstring& commandLine, const std::vector<std::string>& added) {
        owned_.push_back("KORIN_COMMAND_LINE=" + utf8FromWide(commandLine));
        owned_.insert(owned_.end(), added.begin(), added.end());
        const auto replaced = [&added](const char* entry) {
            for (const std::string& entryAdded : added) {
                const std::size_t name = entryAdded.find('=') + 1;
                if (std::strncmp(entry, entryAdded.c_str(), name) == 0) {
                    return true;
                }
            }
            return std::strncmp(entry, "KORIN_COMMAND_LINE=", 19) == 0;
        };
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!replaced(*entry)) {
                envp_.push_back(*entry);
            }
        }
        for (std::string& entry : owned_) {
            envp_.push_back(entry.data());
        }
        envp_.push_back(nullptr);
    }
    SpawnEnvironment(const SpawnEnvironment&) = delete;
    SpawnEnvironment& operator=(const SpawnEnvironment&) = delete;

    char* const* envp() const { return envp_.data(); }

  private:
    std::vector<std::string> owned_;
    std::vector<char*> envp_;
};

// Starts the checked program with the command line split as the C runtime
// splits it; 0 and the process id, or the Win32 error of the spawn.
std::uint32_t spawnProgram(const std::string& program, const std::wstring& commandLine,
                           const SpawnEnvironment& environment, const std::string& hostFolder,
                           std::uint32_t& processId) {
    std::vector<std::string> arguments;
    for (const std::wstring& argument : splitCommandLine(commandLine)) {
        arguments.push_back(utf8FromWide(argument));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = spawnDetached(program, argv.data(), environment.envp(), hostFolder, pid);
    if (error != 0) {
        return error == ENOEXEC ? kErrorBadExeFormat : win32ErrorFromErrno(error, program);
    }
    processId = static_cast<std::uint32_t>(pid);
    return kErrorSuccess;
}

}  // namespace

std::vector<std::wstring> splitCommandLine(const std::wstring& commandLine) {
    std::vector<std::wstring> arguments;
    const std::size_t n = commandLine.size();
    std::size_t i = 0;
    std::wstring name;
    for (bool quoted = false; i < n; ++i) {
        const wchar_t c = commandLine[i];
        if (c == L'"') {
            quoted = !quoted;
        } else if (!quoted && isBlank(c)) {
            break;
        } else {
            name += c;
        }
    }
    arguments.push_back(name);
    while (true) {
        while (i < n && isBlank(commandLine[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::wstring argument;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(commandLine[i]))) {
            const wchar_t c = commandLine[i];
            if (c == L'\\') {
                std::size_t count = 0;
                while (i < n && commandLine[i] == L'\\') {
                    ++count;
                    ++i;
                }
                if (i < n && commandLine[i] == L'"') {
                    // 2n backslashes and a quote: n and a delimiter;
                    // 2n + 1: n and a literal quote.
                    argument.append(count / 2, L'\\');
                    if (count % 2 == 1) {
                        argument += L'"';
                        ++i;
                    }
                } else {
                    argument.append(count, L'\\');
                }
            } else if (c == L'"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == L'"') {
                    argument += L'"';  // "" inside quotes: one literal quote
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += c;
                ++i;
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::uint32_t ProcessLauncher::start(const std::wstring& applicationName,
                                     const std::wstring& commandLine,
                                     const std::wstring& workingFolder,
                                     const std::vector<std::string>& environment,
                                     std::uint32_t& processId) const {
    try {
        return startOrThrow(applicationName, commandLine, workingFolder, environment, processId);
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
}

std::uint32_t ProcessLauncher::startOrThrow(const std::wstring& applicationName,
                                            const std::wstring& commandLine,
                                            const std::wstring& workingFolder,
                                            const std::vector<std::string>& environment,
                                            std::uint32_t& processId) const {
    std::string program;
    if (const std::uint32_t error = findProgram(applicationName, commandLine, program);
        error != kErrorSuccess) {
        return error;
    }
    if (const std::uint32_t error = checkProgram(program); error != kErrorSuccess) {
        return error;
    }
    const SpawnEnvironment spawnEnvironment(commandLine, environment);
    return spawnProgram(program, commandLine, spawnEnvironment,
                        workingFolder.empty() ? std::string() : view_.hostPath(workingFolder),
                        processId);
}

std::uint32_t ProcessLauncher::findProgram(const std::wstring& applicationName,
                                           const std::wstring& commandLine,
                                           std::string& program) const {
    if (!applicationName.empty()) {
        program = view_.hostPath(applicationName);
        return kErrorSuccess;
    }
    // The platform's search for a name without a folder: the program's
    // own folder, the current folder, the system folders.
    std::wstring name = programToken(commandLine);
    if (name.find(L'.', name.find_last_of(L"\\/") == std::wstring::npos
                            ? 0
                            : name.find_last_of(L"\\/")) == std::wstring::npos) {
        name += L".exe";
    }
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        program = view_.hostPath(name);
        return kErrorSuccess;
    }
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::wstring ownFolder =
        length > 0 ? folderOf(view_.machine().windowsPath(std::string(self, length))) : L"";
    for (const std::wstring& folder :
         {ownFolder, view_.machine().currentDirectory() + L"\\",
          std::wstring(L"C:\\Windows\\System32\\"), std::wstring(L"C:\\Windows\\")}) {
        struct stat info;
        if (!folder.empty() && stat(view_.hostPath(folder + name).c_str(), &info) == 0) {
            program = view_.hostPath(folder + name);
            return kErrorSuccess;
        }
    }
    return kErrorFileNotFound;
}

}  // namespace korin::standin
