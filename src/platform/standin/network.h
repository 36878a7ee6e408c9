#pragma once

// The stand-in machine's network as its programs see it: the hosts file its
// name resolution reads first, the Root store its TLS trusts, the route a
// connection takes (directly, or through the tunnel of the WinHTTP proxy
// setting), the request target WinHTTP sends, and libcurl's failures as the
// WinHTTP codes Windows gives. The stand-in HTTP adapter and
// `korin-machine hosts|trust` use it.

#include "platform/registry.h"
#include "platform/standin/machine.h"
#include "platform/winhttp_proxy_setting.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korin::standin {

inline constexpr wchar_t kHostsFile[] = L"C:\\Windows\\System32\\drivers\\etc\\hosts";

// Each name the hosts file gives (in lower case) with its address: the
// first line that names it wins.
std::vector<std::pair<std::string, std::string>> hostsFileEntries(const std::string& hostsText);
// The address the hosts file gives a name ("" when it names none).
std::string hostsFileAddress(const std::string& hostsText, const std::string& name);
// The machine's hosts file as its resolver reads it (not redirected).
std::string readHostsFile(const Machine& machine);
// A line naming address for name, at the end of the hosts file.
bool addHostsEntry(const Machine& machine, const std::string& name, const std::string& address);
// PEM certificates added to the machine's Root store, the only roots its
// TLS trusts (Machine::trustedRootsFile).
bool addTrustedRoots(const Machine& machine, const std::string& certificates);

// What WinHTTP reads when a session opens with the default proxy: the
// machine's setting through the program's registry; none, or a missing or
// malformed one, is direct access.
WinHttpProxySetting sessionProxySetting(Registry* registry);

// Where a connection to server goes. Directly, every name the request
// meets (a redirect's too) goes where the hosts file says; through a proxy
// the server's name travels in the CONNECT and the proxy resolves it, so
// only the proxy's own name is resolved by the machine.
struct ConnectionRoute {
    std::string proxy;                   // "host:port" of the tunnel, or empty
    std::vector<std::string> resolve;    // "name:port:address" each
    std::vector<std::string> connectTo;  // "name::address:" each
};
ConnectionRoute connectionRoute(const WinHttpProxySetting& setting, const std::string& hostsText,
                                const std::string& server);

// The request target WinHTTP sends for an object name (seen on the wire):
// the name in UTF-8 (an unpaired surrogate as U+FFFD), a "/" put in front
// unless it starts with one, and every byte that is a control, a space,
// not ASCII or one of "#<>[\]^`{|} escaped as %XX. "%" and "?" go as they
// are, so the server sees a query where the name has one, never a fragment.
std::string requestTarget(const std::wstring& object);

// The WinHTTP error of a failed libcurl transfer (a CURLcode). A proxy that
// answered the CONNECT (proxyAnswer, 0 for none) with anything but 2xx
// fails as a broken secure channel, as WinHTTP fails the send.
std::uint32_t winHttpErrorOfTransfer(int curlCode, long proxyAnswer);

}  // namespace korin::standin
