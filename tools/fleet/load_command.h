#pragma once

// korin-fleet load: the update host's capacity on this machine. nginx
// (tools/update_server/nginx_update_host.sh, one worker) serves a published
// tree over HTTPS on a free loopback address while wrk, over keep-alive
// connections, asks for the targets of a request mix in its proportions for
// a bounded time. With a forecast, the hosts (or the CDN bandwidth) that hold
// its peak with headroom.

#include <cstdint>
#include <string>
#include <vector>

namespace korin::fleet {

// One line of a mix: a forecast's peak-mix.txt, `<count> <target>`.
struct MixEntry {
    std::uint64_t count = 0;
    std::string target;
};

// Reads a mix ('#' comments, blank lines; a target named twice adds up).
// False with the line and the reason in error for anything else, or no
// requests at all.
bool parseMix(const std::string& text, std::vector<MixEntry>& mix, std::string& error);

// What load needs of a forecast's summary.txt.
struct ForecastPeak {
    std::uint64_t machines = 0;
    double requestsPerSecond = 0;
    double bytesPerSecond = 0;
};
bool parseForecastSummary(const std::string& text, ForecastPeak& peak, std::string& error);

struct HostsNeeded {
    std::uint64_t forRequests = 0;
    std::uint64_t forBytes = 0;
    std::uint64_t hosts = 0;  // the larger, at least one
    double cdnMegabitsPerSecond = 0;
};
// Hosts of the measured capacity each, kept below (1 - headroom) of it, that
// serve the peak; and the bandwidth a CDN must carry for it with the same
// headroom.
HostsNeeded hostsNeeded(const ForecastPeak& peak, double requestsPerSecondPerHost,
                        double bytesPerSecondPerHost, double headroom);

}  // namespace korin::fleet

// `korin-fleet load --tree DIR --mix FILE [--seconds S] [--connections C]
// [--threads T] [--forecast DIR] [--headroom H]`; args start after "load".
// 0 measured, 1 the run failed (nginx, wrk, an error answer), 2 a bad command
// line or input.
int runLoadCommand(const std::vector<std::string>& args);
