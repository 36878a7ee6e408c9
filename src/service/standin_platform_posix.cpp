#include "service/standin_platform_posix.h"

namespace korin {

std::unique_ptr<StandInPlatform> StandInPlatform::open(std::string& error) {
    auto machine = standin::Machine::fromEnvironment(error);
    if (!machine) {
        return nullptr;
    }
    auto database = standin::RegistryDb::open(machine->registryFile(), error);
    if (!database) {
        return nullptr;
    }
    return std::make_unique<StandInPlatform>(std::move(*machine), std::move(database));
}

StandInPlatform::StandInPlatform(standin::Machine machine,
                                 std::unique_ptr<standin::RegistryDb> database)
    : machine_(std::move(machine)),
      database_(std::move(database)),
      facts_(standin::readMachineFacts(*database_)),
      clock_(machine_),
      files_(standin::ProgramView(machine_, facts_.is64Bit)),
      registry_(*database_, standin::ProgramView(machine_, facts_.is64Bit)),
      system_(facts_),
      strings_(facts_.uiLanguage),
      shell_(standin::ProgramView(machine_, facts_.is64Bit)),
      http_(machine_, registry_),
      cryptoLibraries_(facts_.is64Bit),
      processes_(standin::ProgramView(machine_, facts_.is64Bit)),
      serviceControl_(machine_, *database_),
      serviceDispatcher_(machine_, *database_),
      taskScheduling_(machine_, com_),
      random_(machine_),
      platform_{
          .clock = &clock_,
          .files = &files_,
          .registry = &registry_,
          .system = &system_,
          .strings = &strings_,
          .shell = &shell_,
          .http = &http_,
          .cryptoLibraries = &cryptoLibraries_,
          .guids = &guids_,
          .processes = &processes_,
          .serviceControl = &serviceControl_,
          .serviceDispatcher = &serviceDispatcher_,
          .com = &com_,
          .taskScheduling = &taskScheduling_,
          .random = &random_,
          .console = &console_,
      } {}

}  // namespace korin
