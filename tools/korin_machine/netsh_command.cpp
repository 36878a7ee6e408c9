#include "netsh_command.h"

#include "net/winhttp_proxy_setting.h"
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

long writeSetting(Registry& registry, const WinHttpProxySetting& setting) {
    const std::string bytes = formatWinHttpSettings(setting);
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
        std::unique_ptr<RegistryKey> key;
        long status = registry.createKey(RegistryRoot::LocalMachine, kInternetConnectionsKey,
                                         kKeySetValue | view, key);
        if (status == 0) {
            status = key->setValue(kWinHttpSettingsValue, kRegBinary, bytes.data(),
                                   static_cast<std::uint32_t>(bytes.size()));
        }
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

}  // namespace

int runNetshCommand(Registry& registry, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err) {
    if (args.size() < 3 || args[0] != "winhttp" || args[2] != "proxy") {
        err << kUsage;
        return kExitUsage;
    }
    WinHttpProxySetting setting;
    if (args[1] == "show" && args.size() == 3) {
        long status = 0;
        if (!readWinHttpProxySetting(registry, setting, status)) {
            setting = directAccessSetting();
        }
        printSetting(setting, out);
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
    if (const long status = writeSetting(registry, setting); status != 0) {
        err << "korin-machine: cannot write the WinHTTP proxy setting (error " << status << ")\n";
        return kExitFailed;
    }
    printSetting(setting, out);
    return kExitDone;
}

}  // namespace korin::standin
