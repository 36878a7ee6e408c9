// The test installer's facts on a stand-in machine: the command line the
// stand-in hands over, and the folder and program as Windows paths of the
// machine that KORIN_MACHINE_ROOT names.

#include "installer/test_installer.h"
#include "platform/standin/machine.h"
#include "ground/text.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace korin::testing {

InstallerFacts installerFacts() {
    const char* line = std::getenv("KORIN_COMMAND_LINE");
    const char* root = std::getenv("KORIN_MACHINE_ROOT");
    std::error_code error;
    // Canonical, as /proc/self/exe is.
    const standin::Machine machine(
        std::filesystem::weakly_canonical(root != nullptr ? root : "", error).string());
    const std::string folder = std::filesystem::current_path(error).string();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    return {line != nullptr ? line : "", utf8FromWide(machine.windowsPath(folder)),
            utf8FromWide(machine.windowsPath(self))};
}

}  // namespace korin::testing
