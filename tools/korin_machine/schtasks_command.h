#pragma once

#include "platform/standin/machine_setup.h"
#include "platform/standin/process_launcher.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `schtasks /query [/tn NAME] [/xml] | /run /tn NAME | /delete /tn NAME /f |
// /create /tn NAME /xml FILE [/f]`, like schtasks.exe on the machine: its
// Task Scheduler 2.0 store on Windows 6.0 and later, 1.0 before. Exit codes
// as schtasks.exe gives them (0 success, 1 failure); a malformed command
// touches nothing and exits 2. /run starts programs through the machine's
// launcher. args start after "schtasks".
int runSchtasksCommand(const Machine& machine, const MachineFacts& facts,
                       const ProcessLauncher& launcher, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err);

}  // namespace korin::standin
