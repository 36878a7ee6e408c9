#include "platform/standin/network.h"

#include "platform/error_codes.h"
#include "ground/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>

namespace korin::standin {

namespace {

std::string bracketed(const std::string& address) {
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

bool appendTo(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

std::vector<std::pair<std::string, std::string>> hostsFileEntries(const std::string& hostsText) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream lines(hostsText);
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string address;
        std::string alias;
        words >> address;
        while (words >> alias) {
            alias = utf8FromWide(asciiLower(wideFromUtf8(alias)));
            const bool named = std::any_of(entries.begin(), entries.end(),
                                           [&](const auto& entry) { return entry.first == alias; });
            if (!named) {
                entries.emplace_back(alias, address);
            }
        }
    }
    return entries;
}

std::string hostsFileAddress(const std::string& hostsText, const std::string& name) {
    const std::string wanted = utf8FromWide(asciiLower(wideFromUtf8(name)));
    for (const auto& [alias, address] : hostsFileEntries(hostsText)) {
        if (alias == wanted) {
            return address;
        }
    }
    return {};
}

std::string readHostsFile(const Machine& machine) {
    std::ifstream in(machine.hostPath(kHostsFile, false), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool addHostsEntry(const Machine& machine, const std::string& name, const std::string& address) {
    return appendTo(machine.hostPath(kHostsFile, false), address + " " + name + "\r\n");
}

bool addTrustedRoots(const Machine& machine, const std::string& certificates) {
    return appendTo(machine.trustedRootsFile(), certificates);
}

WinHttpProxySetting sessionProxySetting(Registry* registry) {
    WinHttpProxySetting setting;
    long status = 0;
    if (registry != nullptr && !readWinHttpProxySetting(*registry, setting, status)) {
        setting = directAccessSetting();
    }
    return setting;
}

ConnectionRoute connectionRoute(const WinHttpProxySetting& setting, const std::string& hostsText,
                                const std::string& server) {
    ConnectionRoute route;
    route.proxy = httpsProxyFor(setting, server);
    if (route.proxy.empty()) {
        for (const auto& [alias, address] : hostsFileEntries(hostsText)) {
            route.connectTo.push_back(alias + "::" + bracketed(address) + ":");
        }
        return route;
    }
    const auto colon = route.proxy.rfind(':');
    std::string proxyHost = route.proxy.substr(0, colon);
    if (proxyHost.size() > 2 && proxyHost.front() == '[') {
        proxyHost = proxyHost.substr(1, proxyHost.size() - 2);
    }
    const std::string address = hostsFileAddress(hostsText, proxyHost);
    if (!address.empty()) {
        route.resolve.push_back(proxyHost + ":" + route.proxy.substr(colon + 1) + ":" +
                                bracketed(address));
    }
    return route;
}

std::string requestTarget(const std::wstring& object) {
    static const char kHex[] = "0123456789ABCDEF";
    static const std::string_view kUnsafe = "\"#<>[\\]^`{|}";
    std::string escaped = object.empty() || object[0] != L'/' ? "/" : "";
    for (unsigned char c : utf8FromWide(object)) {
        if (c <= 0x20 || c >= 0x7F || kUnsafe.find(static_cast<char>(c)) != kUnsafe.npos) {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0xF];
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

std::uint32_t winHttpErrorOfTransfer(int curlCode, long proxyAnswer) {
    if (proxyAnswer != 0 && (proxyAnswer < 200 || proxyAnswer > 299)) {
        return kErrorWinHttpSecureChannelError;
    }
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrorWinHttpNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return kErrorWinHttpCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return kErrorWinHttpTimeout;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return kErrorWinHttpSecureFailure;
        case CURLE_URL_MALFORMAT:
            return kErrorWinHttpInvalidUrl;
        // More than WinHTTP's 10 redirects, or one to another scheme than
        // https (only https is allowed, and only redirects change it).
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrorWinHttpRedirectFailed;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_GOT_NOTHING:
        case CURLE_BAD_CONTENT_ENCODING:
            return kErrorWinHttpInvalidServerResponse;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return kErrorWinHttpConnectionError;
        case CURLE_OUT_OF_MEMORY:
        case CURLE_WRITE_ERROR:
            return kErrorNotEnoughMemory;
        default:
            return kErrorWinHttpInternalError;
    }
}

}  // namespace korin::standin
