// korin-machine: the administrator's tools of a stand-in machine.

#include "platform/standin/machine_setup.h"
#include "netsh_command.h"
#include "network_commands.h"
#include "reg_command.h"
#include "sc_command.h"
#include "schtasks_command.h"
#include "sources_command.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: korin-machine init [--32-bit] [--windows MAJOR.MINOR[.BUILD]] [--language HEX]\n"
    "       korin-machine reg query|add|delete KEY [options]   (like reg.exe)\n"
    "       korin-machine sc create|config|description|query|qc|start|stop|delete NAME [options]"
    "   (like sc.exe)\n"
    "       korin-machine schtasks /query|/run|/delete|/create [/tn NAME] [options]"
    "   (like schtasks.exe)\n"
    "       korin-machine hosts add NAME ADDRESS\n"
    "       korin-machine trust add CERT.pem\n"
    "       korin-machine netsh winhttp set proxy SERVERS [BYPASS] | reset proxy | show proxy\n"
    "       korin-machine clock set YYYY-MM-DDTHH:MM[:SS]Z | show | reset\n"
    "       korin-machine random seed N | show | reset\n"
    "The machine is the folder that KORIN_MACHINE_ROOT names.\n";

int usage(const std::string& why) {
    std::cerr << "korin-machine: " << why << "\n" << kUsage;
    return korin::standin::kExitUsage;
}

bool parseVersion(const std::string& text, korin::standin::MachineFacts& facts) {
    unsigned major = 0, minor = 0, build = 0;
    char extra = 0;
    const int fields = std::sscanf(text.c_str(), "%u.%u.%u%c", &major, &minor, &build, &extra);
    if (fields < 2 || fields > 3) {
        return false;
    }
    facts.majorVersion = major;
    facts.minorVersion = minor;
    facts.buildNumber = fields == 3 ? build : (major >= 10 ? 19045 : 7601);
    return true;
}

int runInit(const std::vector<std::string>& args) {
    korin::standin::MachineFacts facts;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--32-bit") {
            facts.is64Bit = false;
        } else if (args[i] == "--windows" && i + 1 < args.size() &&
                   parseVersion(args[i + 1], facts)) {
            ++i;
        } else if (args[i] == "--language" && i + 1 < args.size()) {
            char* end = nullptr;
            const unsigned long language = std::strtoul(args[++i].c_str(), &end, 16);
            if (*end != '\0' || language == 0 || language > 0xFFFF) {
                return usage("'" + args[i] + "' is not a language identifier in hex");
            }
            facts.uiLanguage = static_cast<std::uint16_t>(language);
        } else {
            return usage("unexpected argument '" + args[i] + "'");
        }
    }
    const char* root = std::getenv(korin::standin::kMachineRootVariable);
    if (root == nullptr || *root == '\0') {
        return usage(std::string(korin::standin::kMachineRootVariable) + " is not set");
    }
    std::string error;
    if (!korin::standin::initMachine(root, facts, error)) {
        std::cerr << "korin-machine: " << error << "\n";
        return korin::standin::kExitFailed;
    }
    return korin::standin::kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usage("a command is needed");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "init") {
        return runInit(rest);
    }
    if (args[0] != "reg" && args[0] != "sc" && args[0] != "schtasks" && args[0] != "hosts" &&
        args[0] != "trust" && args[0] != "netsh" && args[0] != "clock" && args[0] != "random") {
        return usage("unknown command '" + args[0] + "'");
    }
    std::string error;
    auto machine = korin::standin::Machine::fromEnvironment(error);
    if (!machine) {
        std::cerr << "korin-machine: " << error << "\n";
        return korin::standin::kExitUsage;
    }
    if (args[0] == "hosts") {
        return korin::standin::runHostsCommand(*machine, rest, std::cerr);
    }
    if (args[0] == "trust") {
        return korin::standin::runTrustCommand(*machine, rest, std::cerr);
    }
    if (args[0] == "clock") {
        return korin::standin::runClockCommand(*machine, rest, std::cout, std::cerr);
    }
    if (args[0] == "random") {
        return korin::standin::runRandomCommand(*machine, rest, std::cout, std::cerr);
    }
    auto registry = korin::standin::RegistryDb::open(machine->registryFile(), error);
    if (!registry) {
        std::cerr << "korin-machine: " << error << "\n";
        return korin::standin::kExitFailed;
    }
    if (args[0] == "sc") {
        return korin::standin::runScCommand(*machine, *registry, rest, std::cout, std::cerr);
    }
    const korin::standin::MachineFacts facts = korin::standin::readMachineFacts(*registry);
    if (args[0] == "netsh") {
        return korin::standin::runNetshCommand(*registry,
                                               korin::standin::ProgramView(*machine, facts.is64Bit),
                                               rest, std::cout, std::cerr);
    }
    if (args[0] == "schtasks") {
        // The scheduler starts programs with the machine's own launcher, as
        // the service's processes port does.
        const korin::standin::ProcessLauncher launcher(
            korin::standin::ProgramView(*machine, facts.is64Bit));
        return korin::standin::runSchtasksCommand(*machine, facts, launcher, rest, std::cout,
                                                  std::cerr);
    }
    return korin::standin::runRegCommand(*registry, facts.is64Bit, rest, std::cout, std::cerr);
}
