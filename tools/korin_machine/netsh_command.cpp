#include "netsh_command.h"

#include "platform/winhttp_proxy_setting.h"
#include "reg_command.h"

#include <memory>

namespace korin::standin {

namespace {

constexpr char kUsage[] =
    "usage: korin-machine netsh winhttp set proxy [proxy-server=]SERVERS [[bypass-list=]HOSTS]\n"
    "       korin-machine netsh winhttp reset proxy\n"
    "       korin-machine netsh winhttp show proxy\n";

// The value of `name=value`, or the whole word when it has no such prefix;
// false when it names another option.
bool optionValue(const std::string& word, const std::string& name, std::string& value) {
    const auto equals = word.find('=');
    if (equals == std::string::npos) {
        value = word;
        return true;
    }
    if (word.compare(0, equals, name) != 0) {
        return false;
    }
    value = word.substr(equals + 1);
    return true;
}

void printSetting(const WinHttpProxySetting& setting, std::ostream& out) {
    out << "\nCurrent WinHTTP proxy settings:\n\n";
    if (setting.usesProxy()) {
        out << "    Proxy Server(s) :  " << setting.proxy << "\n"
            << "    Bypass List     :  " << (setting.bypass.empty() ? "(none)" : setting.bypass)
            << "\n\n";
    } else {
        out << "    Direct access (no proxy server).\n\n";
    }
}

long writeSetting(RegistryDb& registry, const ProgramView& view,
                  const WinHttpProxySetting& setting) {
    const std::string bytes = formatWinHttpSettings(setting);
    for (std::uint32_t access : {kKeyWow64_64Key, kKeyWow64_32Key}) {
        const std::wstring key = view.keyPath(true, kInternetConnectionsKey, access);
        long status = registry.createKey(key);
        if (status == 0) {
            status = registry.setValue(key, kWinHttpSettingsValue, kRegBinary, bytes);
        }
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

// The setting as the service, a 32-bit program, reads it; direct access when
// there is none or it is malformed, as WinHTTP takes it.
WinHttpProxySetting readSetting(RegistryDb& registry, const ProgramView& view) {
    RegistryValue value;
    WinHttpProxySetting setting;
    if (registry.queryValue(view.keyPath(true, kInternetConnectionsKey, kKeyWow64_32Key),
                            kWinHttpSettingsValue, value) != 0 ||
        value.type != kRegBinary || value.data.size() > kWinHttpSettingsMaxBytes ||
        !parseWinHttpSettings(value.data, setting)) {
        return directAccessSetting();
    }
    return setting;
}

}  // namespace

int runNetshCommand(RegistryDb& registry, const ProgramView& view,
                    const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 3 || args[0] != "winhttp" || args[2] != "proxy") {
        err << kUsage;
        return kExitUsage;
    }
    WinHttpProxySetting setting;
    if (args[1] == "show" && args.size() == 3) {
        printSetting(readSetting(registry, view), out);
        return kExitDone;
    }
    if (args[1] == "reset" && args.size() == 3) {
        setting = directAccessSetting();
    } else if (args[1] == "set" && (args.size() == 4 || args.size() == 5)) {
        std::string proxy;
        std::string bypass;
        if (!optionValue(args[3], "proxy-server", proxy) || proxy.empty() ||
            (args.size() == 5 && !optionValue(args[4], "bypass-list", bypass))) {
            err << kUsage;
            return kExitUsage;
        }
        setting = namedProxySetting(proxy, bypass);
    } else {
        err << kUsage;
        return kExitUsage;
    }
    if (const long status = writeSetting(registry, view, setting); status != 0) {
        err << "korin-machine: cannot write the WinHTTP proxy setting (error " << status << ")\n";
        return kExitFailed;
    }
    printSetting(setting, out);
    return kExitDone;
}

}  // namespace korin::standin
