#pragma once

#include "platform/standin/machine.h"

#include <ostream>
#include <string>
#include <vector>

namespace korin::standin {

// `clock set YYYY-MM-DDTHH:MM[:SS[.fffffff]]Z | show | reset`: the machine's
// clock stands at the instant set, or keeps real time again. args start
// after "clock".
int runClockCommand(const Machine& machine, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err);

// `random seed N | show | reset`: the machine's random source draws from
// the seeded sequence, or from the kernel again. args start after "random".
int runRandomCommand(const Machine& machine, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err);

}  // namespace korin::standin
