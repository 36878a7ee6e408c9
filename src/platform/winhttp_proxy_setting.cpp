#include "platform/winhttp_proxy_setting.h"

#include <cstddef>
#include <vector>

namespace korin {

namespace {

constexpr std::size_t kFixedBytes = 16;  // version, counter, flags, proxy length

std::uint32_t readNumber(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

void appendNumber(std::string& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A length-prefixed text at `at`; false when it runs past the end.
bool readText(const std::string& bytes, std::size_t& at, std::string& text) {
    if (bytes.size() - at < 4) {
        return false;
    }
    const std::uint32_t length = readNumber(bytes, at);
    at += 4;
    if (length > bytes.size() - at) {
        return false;
    }
    text.assign(bytes, at, length);
    at += length;
    return true;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> entriesOf(const std::string& list) {
    std::vector<std::string> entries;
    std::string entry;
    for (char c : list) {
        if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!entry.empty()) {
                entries.push_back(entry);
            }
            entry.clear();
        } else {
            entry += c;
        }
    }
    if (!entry.empty()) {
        entries.push_back(entry);
    }
    return entries;
}

// "*" matches any run of characters; letters compare without case. Both
// texts are a few hundred bytes at most, so the plain backtracking match
// stays small (one star position remembered).
bool wildcardMatches(const std::string& pattern, const std::string& text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::string withoutScheme(const std::string& entry) {
    const auto slashes = entry.find("://");
    return slashes == std::string::npos ? entry : entry.substr(slashes + 3);
}

// Printable ASCII as it is, any other byte as '?': the value holds 8-bit
// text of no known code page.
std::wstring printable(const std::string& text) {
    std::wstring out;
    for (char c : text) {
        out += c >= 0x20 && c < 0x7F ? static_cast<wchar_t>(c) : L'?';
    }
    return out;
}

}  // namespace

bool parseWinHttpSettings(const std::string& bytes, WinHttpProxySetting& setting) {
    if (bytes.size() < kFixedBytes || bytes.size() > kWinHttpSettingsMaxBytes) {
        return false;
    }
    WinHttpProxySetting parsed;
    parsed.version = readNumber(bytes, 0);
    parsed.flags = readNumber(bytes, 8);
    std::size_t at = 12;
    if (!readText(bytes, at, parsed.proxy)) {
        return false;
    }
    // A value cut right after the proxy list has no bypass list.
    if (at < bytes.size() && !readText(bytes, at, parsed.bypass)) {
        return false;
    }
    setting = std::move(parsed);
    return true;
}

std::string formatWinHttpSettings(const WinHttpProxySetting& setting) {
    std::string bytes;
    appendNumber(bytes, setting.version);
    appendNumber(bytes, 0);
    appendNumber(bytes, setting.flags);
    appendNumber(bytes, static_cast<std::uint32_t>(setting.proxy.size()));
    bytes += setting.proxy;
    appendNumber(bytes, static_cast<std::uint32_t>(setting.bypass.size()));
    bytes += setting.bypass;
    return bytes;
}

WinHttpProxySetting namedProxySetting(const std::string& proxy, const std::string& bypass) {
    return {kWinHttpSettingsVersion, kWinHttpProxyTypeDirect | kWinHttpProxyTypeProxy, proxy,
            bypass};
}

WinHttpProxySetting directAccessSetting() {
    return {};
}

bool bypassListMatches(const std::string& bypass, const std::string& host) {
    for (const std::string& raw : entriesOf(bypass)) {
        if (raw == "<local>") {
            if (host.find('.') == std::string::npos) {
                return true;
            }
            continue;
        }
        std::string pattern = withoutScheme(raw);
        // An entry with a port bypasses only that port; HTTPS is 443.
        const auto colon = pattern.rfind(':');
        if (colon != std::string::npos && pattern.find(']', colon) == std::string::npos &&
            pattern.find('[') == std::string::npos) {
            if (pattern.substr(colon + 1) != "443") {
                continue;
            }
            pattern.resize(colon);
        }
        if (wildcardMatches(pattern, host)) {
            return true;
        }
    }
    return false;
}

std::string httpsProxyFor(const WinHttpProxySetting& setting, const std::string& host) {
    if (!setting.usesProxy() || bypassListMatches(setting.bypass, host)) {
        return {};
    }
    std::string plain;
    for (const std::string& entry : entriesOf(setting.proxy)) {
        const auto equals = entry.find('=');
        std::string server = entry;
        if (equals != std::string::npos) {
            std::string scheme = entry.substr(0, equals);
            for (char& c : scheme) {
                c = lower(c);
            }
            if (scheme != "https") {
                continue;
            }
            server = entry.substr(equals + 1);
        }
        server = withoutScheme(server);
        while (!server.empty() && server.back() == '/') {
            server.pop_back();
        }
        if (server.empty()) {
            continue;
        }
        const bool bracketed = server.front() == '[';
        const auto colon = server.rfind(':');
        const bool hasPort = colon != std::string::npos &&
                             (!bracketed || server.find(']') < colon) &&
                             (bracketed || server.find(':') == colon);
        if (!hasPort) {
            server += ":80";
        }
        if (equals != std::string::npos) {
            return server;
        }
        if (plain.empty()) {
            plain = server;
        }
    }
    return plain;
}

bool readWinHttpProxySetting(Registry& registry, WinHttpProxySetting& setting, long& status) {
    std::unique_ptr<RegistryKey> key;
    status =
        registry.openKey(RegistryRoot::LocalMachine, kInternetConnectionsKey, kKeyQueryValue, key);
    if (status != 0) {
        return false;
    }
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    status = key->queryValue(kWinHttpSettingsValue, &type, nullptr, &size);
    if (status != 0) {
        return false;
    }
    status = 0;
    if (type != kRegBinary || size > kWinHttpSettingsMaxBytes) {
        return false;
    }
    std::string bytes(size, '\0');
    status = key->queryValue(kWinHttpSettingsValue, &type, bytes.data(), &size);
    if (status != 0) {
        return false;
    }
    bytes.resize(size);
    return parseWinHttpSettings(bytes, setting);
}

std::wstring describeWinHttpProxySetting(Registry& registry) {
    WinHttpProxySetting setting;
    long status = 0;
    if (!readWinHttpProxySetting(registry, setting, status)) {
        if (status == 2) {
            return L"direct access (no proxy)";
        }
        if (status != 0) {
            return L"direct access (the WinHTTP proxy setting could not be read: error " +
                   std::to_wstring(status) + L")";
        }
        return L"direct access (the WinHTTP proxy setting is malformed)";
    }
    if (!setting.usesProxy()) {
        return L"direct access (no proxy)";
    }
    return L"proxy " + printable(setting.proxy) + L", bypass " +
           (setting.bypass.empty() ? L"(none)" : printable(setting.bypass));
}

}  // namespace korin
