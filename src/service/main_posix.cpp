// The stand-in build's composition root: the same program over the stand-in
// machine that KORIN_MACHINE_ROOT names.

#include "service/entry.h"
#include "service/standin_platform_posix.h"
#include "ground/text.h"

#include <cstdio>
#include <vector>

// Exit status when there is no machine to run on.
constexpr int kExitNoMachine = 2;

int main(int argc, char** argv) {
    std::string error;
    auto standIn = korin::StandInPlatform::open(error);
    if (!standIn) {
        std::fprintf(stderr, "korin-update-service: %s\n", error.c_str());
        return kExitNoMachine;
    }
    if (!standIn->checkComplete()) {
        std::fprintf(stderr, "korin-update-service: the %s port is missing\n",
                     korin::missingPort(standIn->platform()));
        return kExitNoMachine;
    }
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(korin::wideFromUtf8(argv[i]));
    }
    std::vector<const wchar_t*> wideArgv;
    for (const std::wstring& argument : arguments) {
        wideArgv.push_back(argument.c_str());
    }
    wideArgv.push_back(nullptr);
    return korin::runProgram(standIn->platform(), argc, wideArgv.data());
}
