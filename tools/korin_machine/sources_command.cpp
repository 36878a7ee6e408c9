#include "sources_command.h"

#include "reg_command.h"

#include "platform/standin/machine_sources.h"

#include <charconv>

namespace korin::standin {

namespace {

constexpr char kClockUsage[] =
    "usage: korin-machine clock set YYYY-MM-DDTHH:MM[:SS[.fffffff]]Z | show | reset\n";
constexpr char kRandomUsage[] = "usage: korin-machine random seed N | show | reset\n";

bool parseSeed(const std::string& text, std::uint64_t& seed) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, seed);
    return error == std::errc() && at == end && !text.empty();
}

}  // namespace

int runClockCommand(const Machine& machine, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err) {
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "set" && args.size() == 2) {
        const auto time = parseClockTime(args[1]);
        if (!time) {
            err << "korin-machine: '" << args[1] << "' is not a UTC time YYYY-MM-DDTHH:MM[:SS]Z\n";
            return kExitUsage;
        }
        if (!setClock(machine, *time)) {
            err << "korin-machine: cannot write the machine's clock\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    if (verb == "reset" && args.size() == 1) {
        if (!resetClock(machine)) {
            err << "korin-machine: cannot reset the machine's clock\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    if (verb == "show" && args.size() == 1) {
        const auto set = setClockTime(machine);
        out << (set ? formatClockTime(*set) + " (set, standing still)" : "real time") << "\n";
        return kExitDone;
    }
    err << kClockUsage;
    return kExitUsage;
}

int runRandomCommand(const Machine& machine, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
    const std::string verb = args.empty() ? "" : args[0];
    std::uint64_t seed = 0;
    if (verb == "seed" && args.size() == 2 && parseSeed(args[1], seed)) {
        if (!seedRandom(machine, seed)) {
            err << "korin-machine: cannot write the machine's random state\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    if (verb == "reset" && args.size() == 1) {
        if (!resetRandom(machine)) {
            err << "korin-machine: cannot reset the machine's random source\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    if (verb == "show" && args.size() == 1) {
        const auto state = randomState(machine);
        out << (state ? "seeded, state " + std::to_string(*state) : "the kernel's source") << "\n";
        return kExitDone;
    }
    err << kRandomUsage;
    return kExitUsage;
}

}  // namespace korin::standin
