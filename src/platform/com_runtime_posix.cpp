#include "platform/com_runtime_posix.h"

namespace korin {

HResult PosixComRuntime::initializeEx(std::uint32_t flags) {
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

HResult PosixComRuntime::initialize() {
    return initializeEx(kCoinitApartmentThreaded);
}

HResult PosixComRuntime::initializeSecurity(std::uint32_t, std::uint32_t) {
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

void PosixComRuntime::uninitialize() {
    const std::lock_guard lock(mutex_);
    const auto apartment = apartments_.find(std::this_thread::get_id());
    if (apartment != apartments_.end() && --apartment->second.joins == 0) {
        apartments_.erase(apartment);
    }
}

bool PosixComRuntime::joined() const {
    const std::lock_guard lock(mutex_);
    return apartments_.count(std::this_thread::get_id()) != 0;
}

}  // namespace korin
