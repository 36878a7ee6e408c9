#include "log_place.h"

#include "platform/standin/machine.h"
#include "platform/standin/machine_setup.h"
#include "platform/standin/program_view.h"
#include "platform/standin/registry_db.h"
#include "service/standin_platform_posix.h"
#include "platform/winhttp_proxy_setting.h"
#include "ground/text.h"

namespace korin {

std::optional<std::filesystem::path> defaultLogPath(std::string& error) {
    std::optional<standin::Machine> machine = standin::Machine::fromEnvironment(error);
    if (!machine) {
        return std::nullopt;
    }
    const std::unique_ptr<standin::RegistryDb> registry =
        standin::RegistryDb::open(machine->registryFile(), error);
    if (!registry) {
        return std::nullopt;
    }
    // The service is a 32-bit program: SysWOW64 on a 64-bit machine.
    const standin::ProgramView service(std::move(*machine),
                                       standin::readMachineFacts(*registry).is64Bit);
    return std::filesystem::path(
        service.hostPath(L"C:\\Windows\\System32\\Tervalon\\Korin\\KorinInstall32.log"));
}

std::string machineProxySetting() {
    std::string error;
    // The stand-in bundle's registry is the one the service sees.
    const std::unique_ptr<StandInPlatform> standIn = StandInPlatform::open(error);
    if (!standIn) {
        return {};
    }
    return utf8FromWide(describeWinHttpProxySetting(*standIn->platform().registry));
}

}  // namespace korin

int main(int argc, char** argv) {
    return korin::korinLogMain(std::vector<std::string>(argv + 1, argv + argc));
}
