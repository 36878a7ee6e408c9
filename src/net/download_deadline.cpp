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

}  // namespace korin
