#pragma once

#include "platform/registry.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `netsh winhttp set proxy [proxy-server=]SERVERS [[bypass-list=]HOSTS]`,
// `netsh winhttp reset proxy` and `netsh winhttp show proxy`, with netsh's
// output. set and reset write both registry views, as running the 64-bit
// and the 32-bit netsh would; show reports the view of the registry given
// (a 32-bit program's, the one the service reads). args start after "netsh".
int runNetshCommand(Registry& registry, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err);

}  // namespace korin::standin
