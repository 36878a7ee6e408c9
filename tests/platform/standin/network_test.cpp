// The stand-in machine's network rules: its hosts file, and the route a
// connection takes with and without the WinHTTP proxy setting.

#include "platform/standin/network.h"

#include <gtest/gtest.h>

namespace korin::standin {
namespace {

const std::string kHosts =
    "# comment 10.0.0.1 example.test\r\n"
    "127.0.0.1 localhost\r\n"
    "10.0.0.2\tA.Example.Test b.example.test # trailing\r\n"
    "10.0.0.3 a.example.test\n"
    "::1 six.test\n";

TEST(HostsFile, FirstLineNamingTheHostWinsWithoutRegardToCase) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"a.example.test", "10.0.0.2"},
        {"B.EXAMPLE.TEST", "10.0.0.2"},
        {"six.test",       "::1"},
        {"example.test",   ""},
        {"trailing",       ""},
    };
    // clang-format on
    for (const auto& [name, address] : cases) {
        EXPECT_EQ(hostsFileAddress(kHosts, name), address) << name;
    }
}

TEST(ConnectionRoute, DirectlyTheHostsFileNamesEveryHostThroughAProxyOnlyTheProxy) {
    struct Case {
        const char* what;
        WinHttpProxySetting setting;
        const char* server;
        std::string proxy;
        std::vector<std::string> resolve;
        std::vector<std::string> connectTo;
    };
    const std::vector<std::string> everyName = {
        "localhost::127.0.0.1:", "a.example.test::10.0.0.2:", "b.example.test::10.0.0.2:",
        "six.test::[::1]:"};
    // clang-format off
    const Case cases[] = {
        {"no setting",            directAccessSetting(),                           "a.example.test", "",               {},                          everyName},
        {"a named proxy",         namedProxySetting("six.test:3128", ""),          "a.example.test", "six.test:3128",  {"six.test:3128:[::1]"},    {}},
        {"an unnamed proxy",      namedProxySetting("10.9.9.9:8080", ""),          "a.example.test", "10.9.9.9:8080",  {},                          {}},
        {"a bypassed server",     namedProxySetting("six.test:3128", "*.example.test"), "a.example.test", "",          {},                          everyName},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ConnectionRoute route = connectionRoute(c.setting, kHosts, c.server);
        EXPECT_EQ(route.proxy, c.proxy) << c.what;
        EXPECT_EQ(route.resolve, c.resolve) << c.what;
        EXPECT_EQ(route.connectTo, c.connectTo) << c.what;
    }
}

}  // namespace
}  // namespace korin::standin
