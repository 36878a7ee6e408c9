// The product's bundle fills every port (run under Wine).

#include "service/win_platform_win.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(PlatformBundles, TheWin32AdaptersFillEveryPort) {
    WinPlatform bundle;
    EXPECT_TRUE(bundle.checkComplete());
    EXPECT_EQ(missingPort(bundle.platform()), nullptr);
}

}  // namespace
}  // namespace korin
