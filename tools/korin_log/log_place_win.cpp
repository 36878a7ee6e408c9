#include "log_place.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace korin {

namespace {

std::string utf8Of(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        return {};
    }
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(bytes - 1));
    return result;
}

}  // namespace

std::optional<std::filesystem::path> defaultLogPath(std::string& error) {
    wchar_t folder[MAX_PATH] = {};
    // GetSystemWow64DirectoryW fails on 32-bit Windows, where System32 is the place.
    UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        length = GetSystemDirectoryW(folder, MAX_PATH);
    }
    if (length == 0 || length >= MAX_PATH) {
        error = "the system folder is unknown (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    return std::filesystem::path(std::wstring(folder, length) +
                                 L"\\Tervalon\\Korin\\KorinInstall32.log");
}

}  // namespace korin

int wmain(int argc, wchar_t** argv) {
    // The lines are UTF-8 bytes, LF-ended, the same on both builds.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(korin::utf8Of(argv[i]));
    }
    return korin::korinLogMain(args);
}
