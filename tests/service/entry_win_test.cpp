// The process entry over the real Win32 adapters (run under Wine): the path it
// takes for its own is the module's, however the program was started.

#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/platform.h"
#include "platform/real_files.h"
#include "service/entry.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "ground/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace korin {
namespace {

// The program's first argument as it was typed: a bare name when it was found
// through PATH.
std::wstring typedProgramName() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring name = arguments != nullptr && count > 0 ? arguments[0] : L"";
    LocalFree(arguments);
    return name;
}

// The first line of a UTF-16LE log, without its line end.
std::wstring firstLogLine(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    const std::wstring text = wideFromUtf16(units);
    return text.substr(0, text.find(L"\r\n"));
}

TEST(WinEntry, TakesTheModulesPathNotTheTypedName) {
    testing::TemporaryWorkingFolder folder;
    std::filesystem::create_directories(folder.path() / "Tervalon" / "Korin");
    WinClock clock;
    WinFiles files;
    Platform platform{.clock = &clock, .files = &files};
    logOptions().verbose = true;
    const std::wstring typed = typedProgramName();
    const wchar_t* argv[] = {typed.c_str(), L"-unknown"};
    EXPECT_EQ(runProgram(platform, 2, argv), 0);
    runtimeConfig() = RuntimeConfig{};
    logOptions() = LogOptions{};

    const std::wstring line = firstLogLine(
        testing::readFileBytes(folder.path() / "Tervalon" / "Korin" / "KorinInstall32.log"));
    const std::wstring logged = line.substr(line.find(L"] ") + 2);
    const DWORD attributes = GetFileAttributesW(logged.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES)
        << utf8FromWide(logged) << " typed as " << utf8FromWide(typed);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // The Wine layer starts a copy by bare name from another folder and says
    // where the copy lies.
    if (const wchar_t* expected = _wgetenv(L"KORIN_EXPECTED_MODULE")) {
        EXPECT_EQ(_wcsicmp(logged.c_str(), expected), 0)
            << utf8FromWide(logged) << " expected " << utf8FromWide(expected);
    }
}

}  // namespace
}  // namespace korin
