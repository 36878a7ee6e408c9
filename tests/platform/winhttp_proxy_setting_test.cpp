// The WinHttpSettings value: what netsh writes reads back, a short or
// hostile value is refused without reading past its end, and the proxy a
// request to a host goes through follows WinHTTP's list and bypass rules.

#include "platform/winhttp_proxy_setting.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

std::string number(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string head(std::uint32_t flags) {
    return number(0x28) + number(0) + number(flags);
}

TEST(WinHttpProxySetting, ValuesAreReadAsNetshWroteThemOrRefusedWhole) {
    struct Case {
        const char* what;
        std::string bytes;
        bool readable;
        std::string proxy;
        std::string bypass;
        bool usesProxy;
    };
    const std::string netsh = head(3) + number(14) + "127.0.0.1:3128" + number(7) + "<local>";
    const Case cases[] = {
        {"netsh's set", netsh, true, "127.0.0.1:3128", "<local>", true},
        {"Windows' default", number(0x18) + number(0) + number(1) + number(0) + number(0), true, "",
         "", false},
        {"no bypass length", head(3) + number(3) + "p:1", true, "p:1", "", true},
        {"no proxy and no bypass length", head(1) + number(0), true, "", "", false},
        {"bytes after the bypass list", netsh + "trailing", true, "127.0.0.1:3128", "<local>",
         true},
        {"direct flag with a list", head(1) + number(3) + "p:1" + number(0), true, "p:1", "",
         false},
        {"too short", head(3) + "abc", false, "", "", false},
        {"empty", "", false, "", "", false},
        {"proxy length past the end", head(3) + number(0xFFFFFFFF) + "p:1", false, "", "", false},
        {"bypass length past the end", head(3) + number(3) + "p:1" + number(8) + "<local>", false,
         "", "", false},
        {"bypass length cut", head(3) + number(3) + "p:1" + "\x07", false, "", "", false},
        {"larger than any setting",
         head(3) + number(kWinHttpSettingsMaxBytes) + std::string(kWinHttpSettingsMaxBytes, 'p'),
         false, "", "", false},
    };
    for (const Case& c : cases) {
        WinHttpProxySetting setting;
        EXPECT_EQ(parseWinHttpSettings(c.bytes, setting), c.readable) << c.what;
        EXPECT_EQ(setting.proxy, c.proxy) << c.what;
        EXPECT_EQ(setting.bypass, c.bypass) << c.what;
        EXPECT_EQ(setting.usesProxy(), c.usesProxy) << c.what;
    }
    EXPECT_EQ(formatWinHttpSettings(namedProxySetting("127.0.0.1:3128", "<local>")), netsh);
    EXPECT_EQ(formatWinHttpSettings(directAccessSetting()),
              number(0x18) + number(0) + number(1) + number(0) + number(0));
}

TEST(WinHttpProxySetting, RequestsGoThroughTheProxyUnlessTheBypassListNamesTheHost) {
    struct Case {
        std::string proxy;
        std::string bypass;
        std::string host;
        std::string expected;
    };
    const Case cases[] = {
        {"127.0.0.1:3128", "", "update.korinplayer.example", "127.0.0.1:3128"},
        {"127.0.0.1:3128", "<local>", "localhost", ""},
        {"127.0.0.1:3128", "<local>", "update.korinplayer.example", "127.0.0.1:3128"},
        {"p:1", "*.korinplayer.example", "update.KorinPlayer.EXAMPLE", ""},
        {"p:1", "*.korinplayer.example", "korinplayer.example", "p:1"},
        {"p:1", "update.korinplayer.example", "cdn.update.korinplayer.example", "p:1"},
        {"p:1", "other.example  update.korinplayer.example", "update.korinplayer.example", ""},
        {"p:1", "10.*;<local>", "10.1.2.3", ""},
        {"p:1", "localhost:443", "localhost", ""},
        {"p:1", "localhost:8080", "localhost", "p:1"},
        {"p:1", "https://*.example", "a.example", ""},
        {"p:1", "*", "anything", ""},
        {"p:1", "localhost*", "localhost", ""},
        {"http=h1:81;https=h2:8443", "", "a.example", "h2:8443"},
        {"h0:3128;https=h2:8443", "", "a.example", "h2:8443"},
        {"http=h1:81", "", "a.example", ""},
        {"proxy", "", "a.example", "proxy:80"},
        {"http://proxy:3128/", "", "a.example", "proxy:3128"},
        {"[::1]:3128", "", "a.example", "[::1]:3128"},
        {";;", "", "a.example", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(httpsProxyFor(namedProxySetting(c.proxy, c.bypass), c.host), c.expected)
            << c.proxy << " / " << c.bypass << " / " << c.host;
    }
}

TEST(WinHttpProxySetting, TheDescriptionSaysWhatTheProgramsViewHolds) {
    const std::wstring key = std::wstring(L"HKLM\\") + kInternetConnectionsKey;
    struct Case {
        std::uint32_t type;
        std::string bytes;  // empty: no value
        std::wstring expected;
    };
    const Case cases[] = {
        {kRegBinary, "", L"direct access (no proxy)"},
        {kRegBinary, formatWinHttpSettings(namedProxySetting("127.0.0.1:3128", "<local>")),
         L"proxy 127.0.0.1:3128, bypass <local>"},
        {kRegBinary, formatWinHttpSettings(namedProxySetting("p\x01:1", "")),
         L"proxy p?:1, bypass (none)"},
        {kRegBinary, formatWinHttpSettings(directAccessSetting()), L"direct access (no proxy)"},
        {kRegBinary, "\x28", L"direct access (the WinHTTP proxy setting is malformed)"},
        {kRegSz, formatWinHttpSettings(namedProxySetting("p:1", "")),
         L"direct access (the WinHTTP proxy setting is malformed)"},
    };
    for (const Case& c : cases) {
        testing::FakeRegistry registry;
        if (!c.bytes.empty()) {
            registry.putValue(key, kWinHttpSettingsValue, c.type, c.bytes);
        }
        EXPECT_EQ(describeWinHttpProxySetting(registry), c.expected);
    }
    testing::FakeRegistry denied;
    denied.putValue(key, kWinHttpSettingsValue, kRegBinary, "x");
    denied.faults.failNext("openKey", 5);
    EXPECT_EQ(describeWinHttpProxySetting(denied),
              L"direct access (the WinHTTP proxy setting could not be read: error 5)");
}

}  // namespace
}  // namespace korin
