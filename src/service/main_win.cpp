// The product's composition root: the Win32 adapters of WinPlatform.

#include "service/entry.h"
#include "service/win_platform_win.h"

int wmain(int argc, wchar_t** argv) {
    korin::WinPlatform bundle;
    if (!bundle.checkComplete()) {
        return korin::kExitIncompletePlatform;
    }
    return korin::runProgram(bundle.platform(), argc, argv);
}
