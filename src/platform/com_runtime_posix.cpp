#include "platform/com_runtime_posix.h"

namespace korin {

HResult StandInComRuntime::initializeEx(std::uint32_t flags) {
    const bool multithreaded = (flags & kCoinitApartmentThreaded) == 0;
    const std::lock_guard lock(mutex_);
    Apartment& apartment = apartments_[std::this_thread::get_id()];
    if (apartment.joins == 0) {
        apartment = {1, multithreaded};
        return kSOk;
    }
    if (apartment.multithreaded != multithreaded) {
        return kRpcEChangedMode;  // the thread stays where it is, uncounted
    }
    ++apartment.joins;
    return kSFalse;
}

HResult StandInComRuntime::initialize() {
    return initializeEx(kCoinitApartmentThreaded);
}

HResult StandInComRuntime::initializeSecurity(std::uint32_t, std::uint32_t) {
    const std::lock_guard lock(mutex_);
    const auto apartment = apartments_.find(std::this_thread::get_id());
    if (apartment == apartments_.end() || apartment->second.joins == 0) {
        return kCoENotInitialized;
    }
    if (securitySet_) {
        return kRpcETooLate;  // once per process
    }
    securitySet_ = true;
    return kSOk;
}

void StandInComRuntime::uninitialize() {
    const std::lock_guard lock(mutex_);
    const auto apartment = apartments_.find(std::this_thread::get_id());
    if (apartment != apartments_.end() && --apartment->second.joins == 0) {
        apartments_.erase(apartment);
    }
}

bool StandInComRuntime::joined() const {
    const std::lock_guard lock(mutex_);
    return apartments_.count(std::this_thread::get_id()) != 0;
}

}  // namespace korin
