#pragma once

#include "platform/standin/machine.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `hosts add NAME ADDRESS`: a line of the machine's hosts file. args start
// after "hosts".
int runHostsCommand(const Machine& machine, const std::vector<std::string>& args,
                    std::ostream& err);

// `trust add CERT.pem`: the certificates of the file join the machine's
// Root store. args start after "trust".
int runTrustCommand(const Machine& machine, const std::vector<std::string>& args,
                    std::ostream& err);

}  // namespace korin::standin
