#pragma once

// The overall time one download may take. WinHTTP bounds each wait (60 s to
// connect, 30 s per receive), not the whole: a server that trickles a byte
// every few seconds would hold the update cycle, and with it the service,
// for days. A download starts its deadline before it opens the request and
// asks it between reads; an expired deadline ends the download as a failed
// read with WinHTTP's timeout code.

#include <cstdint>

namespace korin {

class Clock;

// A manifest is at most 1 MiB; five minutes allow even that over a slow
// line.
inline constexpr std::uint32_t kManifestDownloadLimitMs = 5 * 60 * 1000;
// A package of tens of MiB; half an hour allows it over a slow line.
inline constexpr std::uint32_t kPackageDownloadLimitMs = 30 * 60 * 1000;

class DownloadDeadline {
  public:
    // Starts now, on the clock's tick count. Without a clock it never
    // expires.
    DownloadDeadline(Clock* clock, std::uint32_t limitMs);

    // The limit has passed since the start.
    bool expired() const;

  private:
    Clock* clock_;
    std::uint32_t limitMs_;
    std::uint32_t start_ = 0;
};

}  // namespace korin
