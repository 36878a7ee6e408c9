#pragma once

#include "platform/standin/program_view.h"
#include "platform/standin/registry_db.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `netsh winhttp set proxy [proxy-server=]SERVERS [[bypass-list=]HOSTS]`,
// `netsh winhttp reset proxy` and `netsh winhttp show proxy`, with netsh's
// output. set and reset write both registry views, as running the 64-bit
// and the 32-bit netsh would; show reports the view of the registry given
// (a 32-bit program's, the one the service reads). args start after "netsh".
// view: the machine's; both registry views are written, the 32-bit one shown.
int runNetshCommand(RegistryDb& registry, const ProgramView& view,
                    const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace korin::standin
