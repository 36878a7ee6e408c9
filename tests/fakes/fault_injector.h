#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace korin::testing {

// Per-call fault injection for the fakes: an operation, named as the port
// names it, fails on chosen calls with a chosen Win32 error. Safe for the
// service's two threads: one mutex around the counts and plans.
class FaultInjector {
  public:
    // The call `after` calls from now (0: the next one) fails with error.
    void failNext(const std::string& operation, std::uint32_t error, int after = 0) {
        const std::lock_guard lock(mutex_);
        planned_[operation][calls_[operation] + after] = error;
    }
    void failAlways(const std::string& operation, std::uint32_t error) {
        const std::lock_guard lock(mutex_);
        always_[operation] = error;
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        planned_.clear();
        always_.clear();
    }
    // Counts the call; the error it must fail with, if any.
    std::optional<std::uint32_t> check(const std::string& operation) {
        const std::lock_guard lock(mutex_);
        const int index = calls_[operation]++;
        if (auto always = always_.find(operation); always != always_.end()) {
            return always->second;
        }
        auto& plan = planned_[operation];
        if (auto planned = plan.find(index); planned != plan.end()) {
            const std::uint32_t error = planned->second;
            plan.erase(planned);
            return error;
        }
        return std::nullopt;
    }
    int calls(const std::string& operation) const {
        const std::lock_guard lock(mutex_);
        auto found = calls_.find(operation);
        return found == calls_.end() ? 0 : found->second;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, int> calls_;
    std::map<std::string, std::map<int, std::uint32_t>> planned_;
    std::map<std::string, std::uint32_t> always_;
};

}  // namespace korin::testing
