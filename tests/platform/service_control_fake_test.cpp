#include "fakes/fake_service_control.h"
#include "platform/service_control_contract.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(FakeServiceControl, HoldsTheContract) {
    testing::FakeServiceControl scm;
    testing::holdsTheServiceControlContract(scm, L"KorinContractSvc");
    EXPECT_TRUE(scm.services.empty());
    EXPECT_EQ(scm.openHandles, 0);
}

}  // namespace
}  // namespace korin
