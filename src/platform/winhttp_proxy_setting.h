#pragma once

// The machine-wide WinHTTP proxy setting, as `netsh winhttp set proxy`
// stores it: the binary value "WinHttpSettings" of the key
// kInternetConnectionsKey under HKEY_LOCAL_MACHINE, read
// through the program's own registry view (a 32-bit program on 64-bit
// Windows reads the Wow6432Node copy). A session opened with
// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY goes through it.
//
// Layout, little-endian 32-bit numbers: a version (0x28 as netsh writes
// it, 0x18 in Windows' own default), a counter (0), flags (1 direct
// access, 3 through the proxy), the proxy list's length and its bytes,
// the bypass list's length and its bytes. Any bytes after the bypass list
// are ignored.

#include "platform/registry.h"

#include <cstdint>
#include <string>

namespace korin {

inline constexpr wchar_t kInternetConnectionsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
inline constexpr wchar_t kWinHttpSettingsValue[] = L"WinHttpSettings";
// A longer value is no setting netsh could have written.
inline constexpr std::uint32_t kWinHttpSettingsMaxBytes = 64 * 1024;
inline constexpr std::uint32_t kWinHttpSettingsVersion = 0x28;
inline constexpr std::uint32_t kWinHttpSettingsDefaultVersion = 0x18;
inline constexpr std::uint32_t kWinHttpProxyTypeDirect = 1;
inline constexpr std::uint32_t kWinHttpProxyTypeProxy = 2;

struct WinHttpProxySetting {
    std::uint32_t version = kWinHttpSettingsDefaultVersion;
    std::uint32_t flags = kWinHttpProxyTypeDirect;
    std::string proxy;   // "host:port", or netsh's list ("https=h:p;http=h:p")
    std::string bypass;  // ";"-separated, "<local>" among them

    // Whether sessions go through a proxy at all.
    bool usesProxy() const { return (flags & kWinHttpProxyTypeProxy) != 0 && !proxy.empty(); }
};

// The setting in a value; false (the setting untouched) when the bytes are
// too short, a length runs past the end, or the value is larger than
// kWinHttpSettingsMaxBytes.
bool parseWinHttpSettings(const std::string& bytes, WinHttpProxySetting& setting);
// The value's bytes for a setting.
std::string formatWinHttpSettings(const WinHttpProxySetting& setting);
// What `netsh winhttp set proxy` stores, and what `reset proxy` stores.
WinHttpProxySetting namedProxySetting(const std::string& proxy, const std::string& bypass);
WinHttpProxySetting directAccessSetting();

// The proxy ("host:port") that carries an HTTPS request to host, or "" for
// a direct connection. The proxy list's entries are separated by ";" or
// white space, each "[scheme=][scheme://]server[:port]" (port 80 when
// none); an "https=" entry wins over one without a scheme, other schemes
// are not for HTTPS. The bypass list's entries are host patterns, "*"
// matching any run of characters, case-insensitive; "<local>" matches
// every name without a dot.
std::string httpsProxyFor(const WinHttpProxySetting& setting, const std::string& host);
bool bypassListMatches(const std::string& bypass, const std::string& host);

// The setting this program's WinHTTP reads. false when there is none or it
// cannot be read (the status in status, 0 for a malformed value); WinHTTP
// then connects directly.
bool readWinHttpProxySetting(Registry& registry, WinHttpProxySetting& setting, long& status);
// One line about the setting, for an administrator reading why a
// connection failed: "proxy 127.0.0.1:3128, bypass <local>", "direct
// access (no proxy)", or what is wrong with the value.
std::wstring describeWinHttpProxySetting(Registry& registry);

}  // namespace korin
