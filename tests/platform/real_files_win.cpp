#include "platform/files_win.h"
#include "platform/real_files.h"

namespace korin::testing {

std::unique_ptr<Files> makeRealFiles() {
    return std::make_unique<WinFiles>();
}

}  // namespace korin::testing
