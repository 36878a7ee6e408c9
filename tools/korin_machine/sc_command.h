#pragma once

#include "platform/standin/machine.h"
#include "platform/standin/registry_db.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `sc create|config|description|query|qc|start|stop|delete NAME [options]`,
// like sc.exe: an option's name ends with its "=" and the value is the next
// argument (`binPath= PATH`). Exits as sc.exe does: 0 on success, the Win32
// error of the call that failed, 1639 for a malformed command (nothing is
// touched). args start after "sc".
int runScCommand(const Machine& machine, RegistryDb& registry, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err);

}  // namespace korin::standin
