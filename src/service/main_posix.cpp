// The stand-in build's composition root: the same program over the stand-in
// machine that KORIN_MACHINE_ROOT names.

#include "net/http_posix.h"
#include "platform/adapters_posix.h"
#include "platform/platform.h"
#include "platform/standin/machine_setup.h"
#include "service/entry.h"
#include "support/string_table_posix.h"
#include "support/text.h"
#include "trust/crypto_libraries_posix.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// Exit status when there is no machine to run on.
constexpr int kExitNoMachine = 2;

int main(int argc, char** argv) {
    std::string error;
    auto machine = korin::standin::Machine::fromEnvironment(error);
    auto database =
        machine ? korin::standin::RegistryDb::open(machine->registryFile(), error) : nullptr;
    if (!database) {
        std::fprintf(stderr, "korin-update-service: %s\n", error.c_str());
        return kExitNoMachine;
    }
    const korin::standin::MachineFacts facts = korin::standin::readMachineFacts(*database);
    korin::PosixClock clock;
    korin::PosixFiles files(*machine, facts.is64Bit);
    korin::PosixRegistry registry(*database, facts.is64Bit);
    korin::PosixSystemInfo system(facts);
    korin::PosixStringTable strings(facts.uiLanguage);
    korin::PosixShell shell(*machine, facts.is64Bit);
    korin::PosixHttp http(*machine);
    korin::PosixCryptoLibraries cryptoLibraries(facts.is64Bit);
    korin::Platform platform{
        .clock = &clock,
        .files = &files,
        .registry = &registry,
        .system = &system,
        .strings = &strings,
        .shell = &shell,
        .http = &http,
        .cryptoLibraries = &cryptoLibraries,
    };
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(korin::wideFromUtf8(argv[i]));
    }
    // The program's own name as Windows would pass it: a path on the machine
    // (Z:\ is the host's root).
    char self[PATH_MAX];
    const char* own = argc > 0 && std::strchr(argv[0], '/') ? argv[0] : "/proc/self/exe";
    if (!arguments.empty() && realpath(own, self) != nullptr) {
        arguments[0] = machine->windowsPath(self);
    }
    std::vector<const wchar_t*> wideArgv;
    for (const std::wstring& argument : arguments) {
        wideArgv.push_back(argument.c_str());
    }
    wideArgv.push_back(nullptr);
    return korin::runProgram(platform, argc, wideArgv.data());
}
