#include "net/download_deadline.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace korin {
namespace {

TEST(DownloadDeadline, ExpiresWhenTheLimitHasPassedAcrossTheTickCountsWrap) {
    struct Case {
        std::uint32_t start;
        std::uint32_t now;
        bool expired;  // with a limit of 1000 ms
    };
    const Case cases[] = {
        {5000, 5999, false},
        {5000, 6000, true},
        {0xFFFFFF00u, 0x000002E7u, false},
        {0xFFFFFF00u, 0x000002E8u, true},
        {0xFFFFFF00u, 0xFFFFFF00u, false},
    };
    for (const Case& c : cases) {
        testing::FakeClock clock;
        clock.ticks = c.start;
        const DownloadDeadline deadline(&clock, 1000);
        clock.ticks = c.now;
        EXPECT_EQ(deadline.expired(), c.expired) << c.start << " " << c.now;
    }
    // A platform without a clock has no deadline.
    EXPECT_FALSE(DownloadDeadline(nullptr, 0).expired());
}

}  // namespace
}  // namespace korin
