#pragma once

#include "platform/standin/registry_db.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// Exit codes of korin-machine: 0 done, 1 the command failed on the machine,
// 2 the command was malformed (nothing was touched).
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// `reg query|add|delete KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f] [/reg:32|/reg:64]`,
// like reg.exe. args start after "reg".
int runRegCommand(RegistryDb& registry, bool is64BitMachine, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err);

}  // namespace korin::standin
