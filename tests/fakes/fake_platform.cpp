#include "fakes/fake_platform.h"

#include "ground/text.h"
#include "platform/last_error.h"
#include "platform/shell.h"
#include "settings/runtime_config.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "support/log.h"

namespace korin::testing {

FakePlatform::FakePlatform() {
    runtimeConfig() = RuntimeConfig{};
    logOptions() = LogOptions{};
    clearSettingsFilePathCache();
    VOZA::WindowsFileManager::clearFolderCaches();
    setLastError(0);
    files.addFolder(kLogFolder);
    for (int csidl : {kCsidlAppData, kCsidlLocalAppData}) {
        files.addFolder(shell.folders.at(csidl));
    }
    platform_.clock = &clock;
    platform_.files = &files;
    platform_.registry = &registry;
    platform_.system = &system;
    platform_.strings = &strings;
    platform_.shell = &shell;
    platform_.http = &http;
    platform_.cryptoLibraries = &cryptoLibraries;
    platform_.guids = &guids;
    platform_.processes = &processes;
    platform_.serviceControl = &serviceControl;
    platform_.serviceDispatcher = &serviceDispatcher;
    platform_.com = &com;
    platform_.taskScheduling = &taskScheduling;
    platform_.random = &random;
    platform_.console = &console;
    files.addFolder(files.tempPath);
}

std::vector<std::wstring> logLinesOf(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    const std::wstring text = wideFromUtf16(units);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
         start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::vector<std::wstring> logEntriesOf(const std::string& bytes) {
    std::vector<std::wstring> entries;
    for (const std::wstring& line : logLinesOf(bytes)) {
        const auto space = line.find(L' ');
        entries.push_back(space == std::wstring::npos ? line : line.substr(space + 1));
    }
    return entries;
}

std::vector<std::wstring> FakePlatform::logLines() const {
    return logLinesOf(files.content(std::wstring(kLogFolder) + L"\\KorinInstall32.log"));
}

std::vector<std::wstring> FakePlatform::logEntries() const {
    return logEntriesOf(files.content(std::wstring(kLogFolder) + L"\\KorinInstall32.log"));
}

std::vector<std::wstring> FakePlatform::logEntriesWithCodes(const std::set<int>& codes) const {
    std::vector<std::wstring> entries;
    for (const std::wstring& entry : logEntries()) {
        const auto start = entry.find(L"] ");
        if (start == std::wstring::npos) {
            continue;
        }
        const std::wstring code = entry.substr(start + 2, entry.find(L' ', start + 2) - start - 2);
        for (int wanted : codes) {
            if (code == std::to_wstring(wanted)) {
                entries.push_back(entry);
                break;
            }
        }
    }
    return entries;
}

}  // namespace korin::testing
