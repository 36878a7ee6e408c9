#include "platform/files_posix.h"
#include "platform/standin/machine.h"
#include "platform/standin/program_view.h"
#include "platform/real_files.h"

namespace korin::testing {

std::unique_ptr<Files> makeRealFiles() {
    // Paths outside any machine are host paths (Z:); no machine root is used.
    return std::make_unique<StandInFiles>(
        standin::ProgramView(standin::Machine("/nonexistent-korin-machine"), false));
}

}  // namespace korin::testing
