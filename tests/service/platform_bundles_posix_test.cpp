// The host programs' bundle fills every port of a machine.

#include "fixtures/temporary_machine_posix.h"
#include "platform/standin/registry_db.h"
#include "service/standin_platform_posix.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(PlatformBundles, TheStandInFillsEveryPort) {
    testing::TemporaryMachine folder;
    std::string error;
    ASSERT_TRUE(folder.create("bundle", error)) << error;
    standin::Machine machine(folder.root());
    auto database = standin::RegistryDb::open(machine.registryFile(), error);
    ASSERT_NE(database, nullptr) << error;
    StandInPlatform standIn(std::move(machine), std::move(database));
    EXPECT_TRUE(standIn.checkComplete());
    EXPECT_EQ(missingPort(standIn.platform()), nullptr);
}

}  // namespace
}  // namespace korin
