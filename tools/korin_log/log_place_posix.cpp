#include "log_place.h"

#include "platform/standin/machine.h"

namespace korin {

std::optional<std::filesystem::path> defaultLogPath(std::string& error) {
    const std::optional<standin::Machine> machine = standin::Machine::fromEnvironment(error);
    if (!machine) {
        return std::nullopt;
    }
    return std::filesystem::path(
        machine->hostPath(L"C:\\Windows\\System32\\Tervalon\\Korin\\KorinInstall32.log", true));
}

}  // namespace korin

int main(int argc, char** argv) {
    return korin::korinLogMain(std::vector<std::string>(argv + 1, argv + argc));
}
