// Every bundle fills every port, and the check they share names a null one;
// the fakes' injectors take only the operations their fake declares.

#include "fakes/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

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

// A misspelt operation would never fire, and its test would pass without
// the fault.
TEST(FaultInjector, RefusesAnOperationItsFakeDoesNotDeclare) {
    using namespace testing;
    FakePlatform fake;
    struct Case {
        const char* fake;
        FaultInjector& faults;
        std::span<const std::string_view> declared;
        const char* misspelt;
    };
    // clang-format off
    const Case cases[] = {
        {"files", fake.files.faults, FakeFiles::kOperations, "OpenFile"},
        {"shell", fake.shell.faults, FakeShell::kOperations, "deleteFile"},
        {"registry", fake.registry.faults, FakeRegistry::kOperations, "queryValueEx"},
        {"guids", fake.guids.faults, FakeGuids::kOperations, "createGUID"},
        {"processes", fake.processes.faults, FakeProcesses::kOperations, "CreateProcessW"},
        {"http", fake.http.faults, FakeHttp::kOperations, "send"},
        {"crypto libraries", fake.cryptoLibraries.faults, FakeCryptoLibraries::kOperations, "getProcAddress:CryptHash"},
        {"service dispatcher", fake.serviceDispatcher.faults, FakeServiceDispatcher::kOperations, "setServiceStatus"},
        {"service control", fake.serviceControl.faults, FakeServiceControl::kOperations, "openService"},
        {"task scheduling", fake.taskScheduling.faults, FakeTaskScheduling::kOperations, "registerTask"},
        {"COM", fake.com.faults, FakeComRuntime::kOperations, "coInitializeEx"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fake);
        for (std::string_view operation : c.declared) {
            const std::string name(operation);
            EXPECT_NO_THROW(c.faults.failNext(name, 5)) << name;
            EXPECT_NO_THROW(c.faults.beforeCall(name, [] {})) << name;
            EXPECT_EQ(c.faults.calls(name), 0) << name;
        }
        EXPECT_THROW(c.faults.failNext(c.misspelt, 5), std::logic_error);
        EXPECT_THROW(c.faults.failAlways(c.misspelt, 5), std::logic_error);
        EXPECT_THROW(c.faults.beforeCall(c.misspelt, [] {}), std::logic_error);
        EXPECT_THROW(c.faults.calls(c.misspelt), std::logic_error);
    }
}

}  // namespace
}  // namespace korin
