// The product's composition root: the real Win32 adapters.

#include "net/http_win.h"
#include "platform/adapters_win.h"
#include "platform/platform.h"
#include "service/entry.h"
#include "support/string_table_win.h"
#include "trust/crypto_libraries_win.h"

int wmain(int argc, wchar_t** argv) {
    korin::WinClock clock;
    korin::WinFiles files;
    korin::WinRegistry registry;
    korin::WinSystemInfo system;
    korin::WinStringTable strings;
    korin::WinShell shell;
    korin::WinHttp http;
    korin::WinCryptoLibraries cryptoLibraries;
    korin::WinGuids guids;
    korin::WinProcesses processes;
    korin::Platform platform{
        .clock = &clock,
        .files = &files,
        .registry = &registry,
        .system = &system,
        .strings = &strings,
        .shell = &shell,
        .http = &http,
        .cryptoLibraries = &cryptoLibraries,
        .guids = &guids,
        .processes = &processes,
    };
    return korin::runProgram(platform, argc, argv);
}
