#pragma once

// Per-call fault injection for the fakes.

#include "fakes/allocation_faults.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace korin::testing {

// Per-call fault injection for the fakes: an operation, named as the port
// names it, fails on chosen calls with a chosen Win32 error, and a chosen
// call can first run an action of the test's (a control delivered in the
// middle of an update cycle, say). Safe for two threads; an action runs
// outside the injector's lock.
//
// Each fake declares the operations it answers through its injector (a
// static list); arming, or asking the count of, any other name throws
// std::logic_error, which fails the test: a misspelt name would otherwise
// never fire and the test would pass without its fault.
class FaultInjector {
  public:
    explicit FaultInjector(std::span<const std::string_view> operations)
        : operations_(operations) {}

    // The call `after` calls from now (0: the next one) fails with error.
    void failNext(const std::string& operation, std::uint32_t error, int after = 0) {
        refuseUndeclared(operation);
        std::lock_guard<std::mutex> lock(mutex_);
        planned_[operation][calls_[operation] + after] = error;
    }
    void failAlways(const std::string& operation, std::uint32_t error) {
        refuseUndeclared(operation);
        std::lock_guard<std::mutex> lock(mutex_);
        always_[operation] = error;
    }
    // The call `after` calls from now (0: the next one) first runs action,
    // once, before it is answered.
    void beforeCall(const std::string& operation, std::function<void()> action, int after = 0) {
        refuseUndeclared(operation);
        std::lock_guard<std::mutex> lock(mutex_);
        actions_[operation][calls_[operation] + after] = std::move(action);
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        planned_.clear();
        always_.clear();
        actions_.clear();
    }
    // Counts the call and runs its action, if any; the error it must fail
    // with, if any.
    std::optional<std::uint32_t> check(const std::string& operation) {
        std::function<void()> action;
        std::optional<std::uint32_t> result;
        {
            const AllocationFaultsPaused bookkeeping;
            std::lock_guard<std::mutex> lock(mutex_);
            const int index = calls_[operation]++;
            auto& actions = actions_[operation];
            if (auto found = actions.find(index); found != actions.end()) {
                action = std::move(found->second);
                actions.erase(found);
            }
            if (auto always = always_.find(operation); always != always_.end()) {
                result = always->second;
            } else {
                auto& plan = planned_[operation];
                if (auto planned = plan.find(index); planned != plan.end()) {
                    result = planned->second;
                    plan.erase(planned);
                }
            }
        }
        if (action) {
            action();
        }
        return result;
    }
    int calls(const std::string& operation) const {
        refuseUndeclared(operation);
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = calls_.find(operation);
        return found == calls_.end() ? 0 : found->second;
    }

  private:
    void refuseUndeclared(const std::string& operation) const {
        if (std::find(operations_.begin(), operations_.end(), operation) == operations_.end()) {
            throw std::logic_error("the fake declares no operation \"" + operation + "\"");
        }
    }

    std::span<const std::string_view> operations_;
    mutable std::mutex mutex_;
    std::map<std::string, int> calls_;
    std::map<std::string, std::map<int, std::uint32_t>> planned_;
    std::map<std::string, std::uint32_t> always_;
    std::map<std::string, std::map<int, std::function<void()>>> actions_;
};

}  // namespace korin::testing
