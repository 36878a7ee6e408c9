#pragma once

// How long a download may take. WinHTTP bounds each wait (60 s to connect,
// 30 s per receive), not the whole: a server that trickles a byte every few
// seconds would hold the update cycle, and with it the service, for days. A
// download starts its deadline before it opens the request and asks it
// between reads; an expired deadline ends the download as a failed read with
// WinHTTP's timeout code.

#include <cstdint>

namespace korin {

class Clock;

// A manifest is at most 1 MiB; five minutes allow even that over a slow
// line.
inline constexpr std::uint32_t kManifestDownloadLimitMs = 5 * 60 * 1000;

// A package of tens of MiB may take hours over a slow line, and a failure
// counts as an attempt: a package download is cut off by its pace, not by
// its length. Less than 1 KiB/s over five minutes is a stalled or trickling
// server; six hours, the ceiling of a steady slow one, still carry a 29 MB
// package at 11 kbit/s.
inline constexpr std::uint32_t kPackageDownloadLimitMs = 6 * 60 * 60 * 1000;
inline constexpr std::uint32_t kPackageLowSpeedBytesPerSecond = 1024;
inline constexpr std::uint32_t kPackageLowSpeedWindowMs = 5 * 60 * 1000;

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

// A transfer's pace: it has failed once limitMs have passed since the start,
// or once a window of windowMs ends with fewer than bytesPerSecond arrived
// on average over it. Windows follow one another from the start. Without a
// clock it never fails.
class DownloadPace {
  public:
    DownloadPace(Clock* clock, std::uint32_t limitMs, std::uint32_t bytesPerSecond,
                 std::uint32_t windowMs);

    // Asked between reads with the bytes received so far (one tick count).
    bool failed(std::uint64_t received);

  private:
    Clock* clock_;
    std::uint32_t limitMs_;
    std::uint32_t bytesPerSecond_;
    std::uint32_t windowMs_;
    std::uint32_t start_ = 0;
    std::uint32_t windowStart_ = 0;
    std::uint64_t windowBytes_ = 0;  // received when the window started
};

}  // namespace korin
