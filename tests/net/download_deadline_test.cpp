#include "net/download_deadline.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

TEST(DownloadPace, FailsBelowTheFloorOverAWindowOrPastTheCeiling) {
    struct Check {
        std::uint32_t now;  // ms after the start
        std::uint64_t received;
        bool failed;
    };
    struct Case {
        const char* name;
        std::uint32_t start;
        std::vector<Check> checks;  // with a ceiling of 10 s, 100 B/s over 1 s windows
    };
    // clang-format off
    const Case cases[] = {
        {"at the floor", 5000, {{999, 0, false}, {1000, 100, false}, {2000, 200, false}}},
        {"below the floor", 5000, {{1000, 99, true}}},
        {"a late read averaged over its whole window", 5000, {{3000, 300, false}, {6000, 599, true}}},
        {"a fast window does not carry a slow one", 5000, {{1000, 5000, false}, {2000, 5099, true}}},
        {"past the ceiling, however fast", 5000, {{9999, 1u << 30, false}, {10000, 1u << 30, true}}},
        {"window across the tick count's wrap", 0xFFFFFF00u, {{1000, 99, true}}},
        {"ceiling across the tick count's wrap", 0xFFFFFF00u, {{5000, 500, false}, {9999, 1000, false}, {10000, 2000, true}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakeClock clock;
        clock.ticks = c.start;
        DownloadPace pace(&clock, 10'000, 100, 1000);
        for (const Check& check : c.checks) {
            clock.ticks = c.start + check.now;
            EXPECT_EQ(pace.failed(check.received), check.failed) << check.now;
        }
    }
    // A platform without a clock has no pace.
    EXPECT_FALSE(DownloadPace(nullptr, 0, 100, 0).failed(0));
}

}  // namespace
}  // namespace korin
