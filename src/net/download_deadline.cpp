#include "net/download_deadline.h"

#include "platform/clock.h"

namespace korin {

DownloadDeadline::DownloadDeadline(Clock* clock, std::uint32_t limitMs)
    : clock_(clock), limitMs_(limitMs), start_(clock != nullptr ? clock->tickCount() : 0) {}

bool DownloadDeadline::expired() const {
    // Unsigned difference: right across the tick count's wrap after 49.7 days.
    return clock_ != nullptr &&
           static_cast<std::uint32_t>(clock_->tickCount() - start_) >= limitMs_;
}

DownloadPace::DownloadPace(Clock* clock, std::uint32_t limitMs, std::uint32_t bytesPerSecond,
                           std::uint32_t windowMs)
    : clock_(clock),
      limitMs_(limitMs),
      bytesPerSecond_(bytesPerSecond),
      windowMs_(windowMs),
      start_(clock != nullptr ? clock->tickCount() : 0),
      windowStart_(start_) {}

bool DownloadPace::failed(std::uint64_t received) {
    if (clock_ == nullptr) {
        return false;
    }
    // Unsigned differences: right across the tick count's wrap.
    const std::uint32_t now = clock_->tickCount();
    if (static_cast<std::uint32_t>(now - start_) >= limitMs_) {
        return true;
    }
    const std::uint32_t windowMs = now - windowStart_;
    if (windowMs < windowMs_) {
        return false;
    }
    // The average over the whole window, however late this read came.
    if ((received - windowBytes_) * 1000 < std::uint64_t{bytesPerSecond_} * windowMs) {
        return true;
    }
    windowStart_ = now;
    windowBytes_ = received;
    return false;
}

}  // namespace korin
