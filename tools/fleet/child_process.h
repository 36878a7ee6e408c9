#pragma once

// The programs korin-fleet runs (korin-publish, the nginx update host, wrk):
// each in a process group of its own, owned so that it and whatever it started are
// ended on every path out, and sent SIGTERM should korin-fleet itself die.

#include "platform/unique_resource.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace korin::fleet {

struct ProcessGroupTraits {
    static pid_t invalid() { return -1; }
    // SIGTERM to the leader, a few seconds' grace, then SIGKILL to the group;
    // the leader is reaped last so that its id cannot name another group.
    static void close(pid_t leader);
};
using UniqueProcess = UniqueResource<pid_t, ProcessGroupTraits>;

// Starts argv[0] (looked up in PATH) with standard output and error written
// to outputFile; cpu >= 0 pins it (and what it starts) to that CPU. An empty
// owner with the reason in error when it cannot start.
UniqueProcess startProcess(const std::vector<std::string>& argv, const std::string& outputFile,
                           int cpu, std::string& error);

// True once the process has exited: its exit status (128 + signal when a
// signal ended it) in status, the rest of its group ended, the owner empty.
bool processFinished(UniqueProcess& process, int& status);

// CPU seconds (user and system) used so far by root and every live process
// below it, read from /proc.
double treeCpuSeconds(pid_t root);

}  // namespace korin::fleet
