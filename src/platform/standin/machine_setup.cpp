#include "platform/standin/machine_setup.h"

#include "platform/registry.h"
#include "ground/text.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace korin::standin {

namespace {

bool readDword(RegistryDb& registry, const std::wstring& key, const std::wstring& name,
               std::uint32_t& out) {
    RegistryValue value;
    return registry.queryValue(key, name, value) == 0 && regDwordValue(value.data, out);
}

bool readText(RegistryDb& registry, const std::wstring& key, const std::wstring& name,
              std::wstring& out) {
    RegistryValue value;
    if (registry.queryValue(key, name, value) != 0) {
        return false;
    }
    out = regSzText(value.data);
    return true;
}

bool makeFolders(const std::string& path, std::string& error) {
    std::string current;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            current = path.substr(0, i);
            if (mkdir(current.c_str(), 0755) != 0 && errno != EEXIST) {
                error = "cannot create " + current + ": " + std::strerror(errno);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::string regDwordData(std::uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) {
        data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return data;
}

bool regDwordValue(const std::string& data, std::uint32_t& out) {
    if (data.size() < 4) {
        return false;
    }
    out = 0;
    for (int i = 3; i >= 0; --i) {
        out = (out << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    }
    return true;
}

std::string regSzData(const std::wstring& text) {
    std::string data;
    for (char16_t unit : utf16FromWide(text)) {
        data.push_back(static_cast<char>(unit & 0xFF));
        data.push_back(static_cast<char>(unit >> 8));
    }
    data.append(2, '\0');
    return data;
}

std::wstring regSzText(const std::string& data) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                              (static_cast<unsigned char>(data[i + 1]) << 8));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    return wideFromUtf16(units);
}

MachineFacts readMachineFacts(RegistryDb& registry) {
    MachineFacts facts;
    std::uint32_t number = 0;
    std::wstring text;
    if (readDword(registry, kVersionKey, L"CurrentMajorVersionNumber", number)) {
        facts.majorVersion = number;
        facts.minorVersion =
            readDword(registry, kVersionKey, L"CurrentMinorVersionNumber", number) ? number : 0;
    } else if (readText(registry, kVersionKey, L"CurrentVersion", text)) {
        // Windows before 10 keeps only "major.minor".
        const auto dot = text.find(L'.');
        facts.majorVersion = static_cast<std::uint32_t>(std::wcstoul(text.c_str(), nullptr, 10));
        facts.minorVersion =
            dot == std::wstring::npos
                ? 0
                : static_cast<std::uint32_t>(std::wcstoul(text.c_str() + dot + 1, nullptr, 10));
    }
    if (readText(registry, kVersionKey, L"CurrentBuildNumber", text)) {
        facts.buildNumber = static_cast<std::uint32_t>(std::wcstoul(text.c_str(), nullptr, 10));
    }
    if (readText(registry, kEnvironmentKey, L"PROCESSOR_ARCHITECTURE", text)) {
        facts.is64Bit = !equalsIgnoreCase(text, L"x86");
    }
    if (readText(registry, kLanguageKey, L"InstallLanguage", text)) {
        const unsigned long language = std::wcstoul(text.c_str(), nullptr, 16);
        if (language != 0 && language <= 0xFFFF) {
            facts.uiLanguage = static_cast<std::uint16_t>(language);
        }
    }
    return facts;
}

bool writeMachineFacts(RegistryDb& registry, const MachineFacts& facts) {
    wchar_t language[8];
    std::swprintf(language, 8, L"%04X", static_cast<unsigned>(facts.uiLanguage));
    const std::wstring version =
        std::to_wstring(facts.majorVersion) + L"." + std::to_wstring(facts.minorVersion);
    bool ok = registry.createKey(kVersionKey) == 0 && registry.createKey(kEnvironmentKey) == 0 &&
              registry.createKey(kLanguageKey) == 0;
    ok = ok &&
         registry.setValue(kVersionKey, L"CurrentMajorVersionNumber", kRegDword,
                           regDwordData(facts.majorVersion)) == 0 &&
         registry.setValue(kVersionKey, L"CurrentMinorVersionNumber", kRegDword,
                           regDwordData(facts.minorVersion)) == 0 &&
         registry.setValue(kVersionKey, L"CurrentVersion", kRegSz, regSzData(version)) == 0 &&
         registry.setValue(kVersionKey, L"CurrentBuildNumber", kRegSz,
                           regSzData(std::to_wstring(facts.buildNumber))) == 0 &&
         registry.setValue(kEnvironmentKey, L"PROCESSOR_ARCHITECTURE", kRegSz,
                           regSzData(facts.is64Bit ? L"AMD64" : L"x86")) == 0 &&
         registry.setValue(kLanguageKey, L"InstallLanguage", kRegSz, regSzData(language)) == 0;
    // The 32-bit view of the version key, as Windows keeps it.
    const std::wstring version32 =
        canonicalKeyPath(true, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true);
    if (ok && facts.is64Bit) {
        ok = registry.createKey(version32) == 0 &&
             registry.setValue(version32, L"CurrentVersion", kRegSz, regSzData(version)) == 0;
    }
    return ok;
}

bool initMachine(const std::string& root, const MachineFacts& facts, std::string& error) {
    static const char* const kFolders[] = {
        "drive_c/Windows/System32/drivers/etc",
        "drive_c/Windows/System32/Tasks",
        "drive_c/Windows/Tasks",
        "drive_c/Windows/Temp",
        "drive_c/ProgramData",
        "drive_c/Program Files",
        "drive_c/Users/Administrator/AppData/Roaming",
        "drive_c/Users/Administrator/AppData/Local/Temp",
    };
    for (const char* folder : kFolders) {
        if (!makeFolders(root + "/" + folder, error)) {
            return false;
        }
    }
    if (facts.is64Bit && (!makeFolders(root + "/drive_c/Windows/SysWOW64", error) ||
                          !makeFolders(root + "/drive_c/Program Files (x86)", error))) {
        return false;
    }
    for (const std::string& file :
         {root + "/drive_c/Windows/System32/drivers/etc/hosts", root + "/trusted-roots.pem"}) {
        std::ofstream touch(file, std::ios::app);
        if (!touch) {
            error = "cannot create " + file;
            return false;
        }
    }
    auto registry = RegistryDb::open(root + "/registry.db", error);
    const bool userFolders =
        registry && registry->createKey(kShellFoldersKey) == 0 &&
        registry->setValue(kShellFoldersKey, L"AppData", kRegSz, regSzData(kUserAppData)) == 0 &&
        registry->setValue(kShellFoldersKey, L"Local AppData", kRegSz,
                           regSzData(kUserLocalAppData)) == 0;
    if (!registry || !userFolders || !writeMachineFacts(*registry, facts)) {
        if (error.empty()) {
            error = "cannot write the machine's facts into its registry";
        }
        return false;
    }
    std::ofstream marker(root + "/" + kMachineMarker, std::ios::trunc);
    marker << "korin stand-in machine 1\n";
    if (!marker) {
        error = "cannot write " + root + "/" + kMachineMarker;
        return false;
    }
    return true;
}

}  // namespace korin::standin
