#include "reg_command.h"

#include "platform/registry.h"
#include "platform/standin/machine_setup.h"
#include "ground/text.h"

#include <cerrno>
#include <cstdlib>
#include <iomanip>
#include <optional>
#include <sstream>

namespace korin::standin {

namespace {

constexpr char kRegUsage[] =
    "usage: korin-machine reg query  KEY [/v NAME | /ve] [/reg:32 | /reg:64]\n"
    "       korin-machine reg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_QWORD|REG_BINARY]"
    " [/d DATA] [/f] [/reg:32 | /reg:64]\n"
    "       korin-machine reg delete KEY [/v NAME | /ve] [/f] [/reg:32 | /reg:64]\n"
    "KEY starts with HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.\n";

struct RegRequest {
    std::string verb;
    bool localMachine = true;
    std::wstring rootName;
    std::wstring subKey;
    std::optional<std::wstring> valueName;  // "" for /ve
    std::uint32_t type = kRegSz;
    std::optional<std::string> data;
    bool view32 = false;
};

bool upperEquals(const std::string& a, const char* b) {
    return equalsIgnoreCase(wideFromUtf8(a), wideFromUtf8(b));
}

bool parseKey(const std::string& text, RegRequest& request) {
    const std::wstring key = wideFromUtf8(text);
    const auto slash = key.find(L'\\');
    const std::wstring root = key.substr(0, slash);
    if (equalsIgnoreCase(root, L"HKLM") || equalsIgnoreCase(root, L"HKEY_LOCAL_MACHINE")) {
        request.localMachine = true;
        request.rootName = L"HKEY_LOCAL_MACHINE";
    } else if (equalsIgnoreCase(root, L"HKCU") || equalsIgnoreCase(root, L"HKEY_CURRENT_USER")) {
        request.localMachine = false;
        request.rootName = L"HKEY_CURRENT_USER";
    } else {
        return false;
    }
    request.subKey = slash == std::wstring::npos ? std::wstring() : key.substr(slash + 1);
    while (!request.subKey.empty() && request.subKey.back() == L'\\') {
        request.subKey.pop_back();
    }
    return true;
}

bool parseType(const std::string& text, std::uint32_t& type) {
    static const std::pair<const char*, std::uint32_t> kTypes[] = {{"REG_SZ", kRegSz},
                                                                   {"REG_DWORD", kRegDword},
                                                                   {"REG_QWORD", kRegQword},
                                                                   {"REG_BINARY", kRegBinary}};
    for (const auto& [name, value] : kTypes) {
        if (upperEquals(text, name)) {
            type = value;
            return true;
        }
    }
    return false;
}

bool parseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& number) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long value =
        std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || value > limit) {
        return false;
    }
    number = value;
    return true;
}

// The stored bytes of /d for the type, or nullopt when they do not fit it.
std::optional<std::string> encodeData(std::uint32_t type, const std::string& text) {
    std::string bytes;
    std::uint64_t number = 0;
    switch (type) {
        case kRegDword:
        case kRegQword: {
            const int width = type == kRegDword ? 4 : 8;
            if (!parseNumber(text, type == kRegDword ? 0xFFFFFFFFull : ~0ull, number)) {
                return std::nullopt;
            }
            for (int i = 0; i < width; ++i) {
                bytes.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
            }
            return bytes;
        }
        case kRegBinary: {
            if (text.size() % 2 != 0) {
                return std::nullopt;
            }
            for (std::size_t i = 0; i < text.size(); i += 2) {
                const std::string pair = text.substr(i, 2);
                if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
                    return std::nullopt;
                }
                bytes.push_back(static_cast<char>(std::strtoul(pair.c_str(), nullptr, 16)));
            }
            return bytes;
        }
        default:
            return regSzData(wideFromUtf8(text));
    }
}

std::string typeName(std::uint32_t type) {
    switch (type) {
        case kRegSz:
            return "REG_SZ";
        case kRegExpandSz:
            return "REG_EXPAND_SZ";
        case kRegBinary:
            return "REG_BINARY";
        case kRegDword:
            return "REG_DWORD";
        case kRegMultiSz:
            return "REG_MULTI_SZ";
        case kRegQword:
            return "REG_QWORD";
        case kRegNone:
            return "REG_NONE";
        default:
            return "0x" + std::to_string(type);
    }
}

std::string formatData(const RegistryValue& value) {
    std::ostringstream text;
    auto littleEndian = [&value](std::size_t width) {
        std::uint64_t number = 0;
        for (std::size_t i = std::min(width, value.data.size()); i > 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(value.data[i - 1]);
        }
        return number;
    };
    switch (value.type) {
        case kRegSz:
        case kRegExpandSz:
            return utf8FromWide(regSzText(value.data));
        case kRegDword:
            text << "0x" << std::hex << littleEndian(4);
            return text.str();
        case kRegQword:
            text << "0x" << std::hex << littleEndian(8);
            return text.str();
        default:
            for (unsigned char byte : value.data) {
                text << std::uppercase << std::hex << std::setw(2) << std::setfill('0')
                     << static_cast<int>(byte);
            }
            return text.str();
    }
}

std::string displayName(const std::wstring& name) {
    return name.empty() ? "(Default)" : utf8FromWide(name);
}

}  // namespace

int runRegCommand(RegistryDb& registry, bool is64BitMachine, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err) {
    RegRequest request;
    auto usage = [&err](const std::string& why) {
        err << "korin-machine reg: " << why << "\n" << kRegUsage;
        return kExitUsage;
    };
    if (args.size() < 2) {
        return usage("a verb and a key are needed");
    }
    request.verb = args[0];
    if (request.verb != "query" && request.verb != "add" && request.verb != "delete") {
        return usage("unknown verb '" + request.verb + "'");
    }
    if (!parseKey(args[1], request)) {
        return usage("'" + args[1] + "' is not a key of HKLM or HKCU");
    }
    bool typeGiven = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& option = args[i];
        const bool hasNext = i + 1 < args.size();
        if (upperEquals(option, "/v") && hasNext && !request.valueName) {
            request.valueName = wideFromUtf8(args[++i]);
        } else if (upperEquals(option, "/ve") && !request.valueName) {
            request.valueName = std::wstring();
        } else if (upperEquals(option, "/t") && hasNext && request.verb == "add" && !typeGiven) {
            if (!parseType(args[++i], request.type)) {
                return usage("unknown type '" + args[i] + "'");
            }
            typeGiven = true;
        } else if (upperEquals(option, "/d") && hasNext && request.verb == "add" && !request.data) {
            request.data = args[++i];
        } else if (upperEquals(option, "/f") && request.verb != "query") {
            // Never asks: /f is accepted for reg.exe's sake.
        } else if (upperEquals(option, "/reg:32")) {
            request.view32 = true;
        } else if (upperEquals(option, "/reg:64")) {
            request.view32 = false;
        } else {
            return usage("unexpected argument '" + option + "'");
        }
    }
    std::optional<std::string> bytes;
    if (request.verb == "add" && request.valueName) {
        if (!request.data && request.type != kRegSz) {
            return usage("/d is needed for " + typeName(request.type));
        }
        bytes = encodeData(request.type, request.data.value_or(""));
        if (!bytes) {
            return usage("'" + *request.data + "' is not valid data for " + typeName(request.type));
        }
    } else if (request.data || typeGiven) {
        return usage("/t and /d go with /v or /ve");
    }

    const std::wstring key =
        canonicalKeyPath(request.localMachine, request.subKey, is64BitMachine && request.view32);
    const std::string shownKey =
        utf8FromWide(request.rootName + (request.subKey.empty() ? L"" : L"\\" + request.subKey));
    auto failed = [&err](const std::string& why) {
        err << "ERROR: " << why << "\n";
        return kExitFailed;
    };
    const char* kNotFound = "The system was unable to find the specified registry key or value.";

    if (request.verb == "add") {
        if (registry.createKey(key) != 0 ||
            (bytes && registry.setValue(key, *request.valueName, request.type, *bytes) != 0)) {
            return failed("The registry could not be written.");
        }
        out << "The operation completed successfully.\n";
        return kExitDone;
    }
    if (!registry.keyExists(key)) {
        return failed(kNotFound);
    }
    if (request.verb == "delete") {
        const long status = request.valueName ? registry.deleteValue(key, *request.valueName)
                                              : registry.deleteTree(key);
        if (status != 0) {
            return failed(kNotFound);
        }
        out << "The operation completed successfully.\n";
        return kExitDone;
    }
    std::vector<RegistryValue> values;
    if (request.valueName) {
        RegistryValue value;
        if (registry.queryValue(key, *request.valueName, value) != 0) {
            return failed(kNotFound);
        }
        values.push_back(value);
    } else {
        values = registry.values(key);
    }
    out << "\n" << shownKey << "\n";
    for (const RegistryValue& value : values) {
        out << "    " << displayName(value.name) << "    " << typeName(value.type) << "    "
            << formatData(value) << "\n";
    }
    if (!request.valueName) {
        out << "\n";
        for (const std::wstring& child : registry.subKeys(key)) {
            out << shownKey << "\\" << utf8FromWide(child) << "\n";
        }
    }
    return kExitDone;
}

}  // namespace korin::standin
