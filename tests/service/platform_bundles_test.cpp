// Every bundle fills every port, and the check they share names a null one.

#include "fakes/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korin {
namespace {

TEST(PlatformBundles, TheFakesFillEveryPort) {
    testing::FakePlatform fake;
    EXPECT_TRUE(fake.checkComplete());
    EXPECT_EQ(missingPort(fake.platform()), nullptr);
}

TEST(PlatformBundles, TheCheckNamesEachNullPort) {
    struct Case {
        const char* name;
        void (*clear)(Platform& platform);
    };
    const Case cases[] = {
        {"clock", [](Platform& p) { p.clock = nullptr; }},
        {"files", [](Platform& p) { p.files = nullptr; }},
        {"registry", [](Platform& p) { p.registry = nullptr; }},
        {"system", [](Platform& p) { p.system = nullptr; }},
        {"strings", [](Platform& p) { p.strings = nullptr; }},
        {"shell", [](Platform& p) { p.shell = nullptr; }},
        {"http", [](Platform& p) { p.http = nullptr; }},
        {"cryptoLibraries", [](Platform& p) { p.cryptoLibraries = nullptr; }},
        {"guids", [](Platform& p) { p.guids = nullptr; }},
        {"processes", [](Platform& p) { p.processes = nullptr; }},
    };
    testing::FakePlatform fake;
    for (const Case& c : cases) {
        Platform platform = fake.platform();
        c.clear(platform);
        const char* missing = missingPort(platform);
        ASSERT_NE(missing, nullptr) << c.name;
        EXPECT_STREQ(missing, c.name);
    }
    EXPECT_STREQ(missingPort(Platform{}), "clock");
}

}  // namespace
}  // namespace korin
