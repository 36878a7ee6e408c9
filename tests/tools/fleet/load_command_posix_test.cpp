// korin-fleet load's inputs (a forecast's peak mix and summary) and the hosts
// it asks for; the run itself is the fleet-load check.

#include "fleet/load_command.h"

#include <gtest/gtest.h>

namespace korin::fleet {
namespace {

constexpr char kSau[] = "/pub/korinplayer/update/current/sau/";

TEST(LoadMix, MalformedLinesAreRefusedWithTheirNumber) {
    const std::string manifest = std::string(kSau) + "currentmajor.xml";
    // clang-format off
    const struct { std::string text; const char* error; } cases[] = {
        {"", "no requests in the mix"},
        {"# only a comment\n\n", "no requests in the mix"},
        {"12\n", "line 1: one target follows the count"},
        {"3 " + manifest + " 4\n", "line 1: one target follows the count"},
        {"# peak\n0 " + manifest + "\n", "line 2: a count of requests from 1"},
        {"-3 " + manifest + "\n", "line 1: a count of requests from 1"},
        {"+3 " + manifest + "\n", "line 1: a count of requests from 1"},
        {"3x " + manifest + "\n", "line 1: a count of requests from 1"},
        {"18446744073709551616 " + manifest + "\n", "line 1: a count of requests from 1"},
        {manifest + " 3\n", "line 1: a count of requests from 1"},
        {"3 pub/korinplayer/update/current/sau/currentmajor.xml\n", "line 1: the target is not a path"},
        {"3 " + std::string(kSau) + "../../../../../etc/passwd\n", "line 1: the target is not a path"},
        {"3 " + std::string(kSau) + "32/..\n", "line 1: the target is not a path"},
        {"3 /pub/caf\xc3\xa9.xml\n", "line 1: the target is not a path"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<MixEntry> mix;
        std::string error;
        EXPECT_FALSE(parseMix(c.text, mix, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(LoadMix, ATargetNamedTwiceAddsUpInItsFirstPlace) {
    const std::string a = std::string(kSau) + "currentmajor.xml";
    const std::string b = std::string(kSau) + "31/xml/version.xml";
    std::vector<MixEntry> mix;
    std::string error;
    ASSERT_TRUE(
        parseMix("# peak minute\n120 " + a + "\n\n  7\t" + b + "\r\n30 " + a + "\n", mix, error))
        << error;
    ASSERT_EQ(mix.size(), 2u);
    EXPECT_EQ(mix[0].target, a);
    EXPECT_EQ(mix[0].count, 150u);
    EXPECT_EQ(mix[1].target, b);
    EXPECT_EQ(mix[1].count, 7u);
}

TEST(LoadForecast, ASummaryWithoutItsPeakIsRefused) {
    // clang-format off
    const struct { const char* text; const char* error; } cases[] = {
        {"machines 1000\npeak-bytes-per-second 5\n", "summary.txt has no number for peak-requests-per-second"},
        {"peak-requests-per-second 5\npeak-bytes-per-second 5\n", "summary.txt has no number for machines"},
        {"machines 1000\npeak-requests-per-second 5\npeak-bytes-per-second -1\n", "summary.txt has no number for peak-bytes-per-second"},
        {"machines 1000\npeak-requests-per-second 5 rps\npeak-bytes-per-second 5e\n", "summary.txt has no number for peak-bytes-per-second"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ForecastPeak peak;
        std::string error;
        EXPECT_FALSE(parseForecastSummary(c.text, peak, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(LoadHosts, EnoughHostsHoldThePeakBelowTheirHeadroom) {
    // clang-format off
    const struct {
        double peakRequests, peakBytes, hostRequests, hostBytes, headroom;
        std::uint64_t forRequests, forBytes, hosts;
        double cdnMegabits;
    } cases[] = {
        // peak/s      bytes/s   host/s   host bytes/s  headroom  req bytes hosts  CDN Mbit/s
        {1000,         1e6,      1000,    1e9,          0.5,      2,  1,    2,     16},
        {500,          1e6,      1000,    1e9,          0.5,      1,  1,    1,     16},     // exactly full
        {100,          0,        1000,    1e9,          0.9,      1,  0,    1,     0},      // 100/(1000*0.1) is 1, not 1.0000000000000002
        {101,          0,        1000,    1e9,          0.9,      2,  0,    2,     0},
        {100,          2.5e9,    20000,   1e9,          0.5,      1,  5,    5,     40000},  // bytes decide
        {0,            0,        20000,   1e9,          0.5,      0,  0,    1,     0},      // never no host
        {45000,        1.25e8,   15000,   4e8,          0,        3,  1,    3,     1000},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.peakRequests);
        const ForecastPeak peak{100000, c.peakRequests, c.peakBytes};
        const HostsNeeded needed = hostsNeeded(peak, c.hostRequests, c.hostBytes, c.headroom);
        EXPECT_EQ(needed.forRequests, c.forRequests);
        EXPECT_EQ(needed.forBytes, c.forBytes);
        EXPECT_EQ(needed.hosts, c.hosts);
        EXPECT_DOUBLE_EQ(needed.cdnMegabitsPerSecond, c.cdnMegabits);
    }
}

}  // namespace
}  // namespace korin::fleet
