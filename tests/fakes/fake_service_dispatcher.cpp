#include "fakes/fake_service_dispatcher.h"

#include "fakes/allocation_faults.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"

namespace korin::testing {

class FakeStopEvent final : public ServiceStopEvent {
  public:
    explicit FakeStopEvent(FakeServiceDispatcher& dispatcher) : dispatcher_(dispatcher) {}
    ~FakeStopEvent() override {
        std::lock_guard<std::mutex> lock(dispatcher_.mutex_);
        --dispatcher_.openEvents_;
    }
    bool set() override {
        if (auto error = dispatcher_.faults.check("setEvent")) {
            setLastError(*error);
            return false;
        }
        std::lock_guard<std::mutex> lock(dispatcher_.mutex_);
        ++dispatcher_.signalled_;
        return true;
    }

  private:
    FakeServiceDispatcher& dispatcher_;
};

bool FakeServiceDispatcher::startDispatcher(const std::wstring& serviceName,
                                            ServiceMainFunction serviceMain) {
    if (auto error = faults.check("startDispatcher")) {
        setLastError(*error);
        return false;
    }
    {
        const AllocationFaultsPaused bookkeeping;
        std::lock_guard<std::mutex> lock(mutex_);
        dispatchedName_ = serviceName;
    }
    serviceMain();
    return true;
}

ServiceStatusHandle FakeServiceDispatcher::registerHandler(const std::wstring& serviceName,
                                                           ServiceControlHandler handler) {
    if (auto error = faults.check("registerHandler")) {
        setLastError(*error);
        return 0;
    }
    const AllocationFaultsPaused bookkeeping;
    std::lock_guard<std::mutex> lock(mutex_);
    registeredName_ = serviceName;
    handler_ = handler;
    return kStatusHandle;
}

bool FakeServiceDispatcher::setStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
    if (auto error = faults.check("setStatus")) {
        setLastError(*error);
        return false;
    }
    if (handle != kStatusHandle) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    const AllocationFaultsPaused bookkeeping;
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(status);
    return true;
}

std::unique_ptr<ServiceStopEvent> FakeServiceDispatcher::createStopEvent() {
    if (auto error = faults.check("createStopEvent")) {
        setLastError(*error);
        return nullptr;
    }
    const AllocationFaultsPaused bookkeeping;
    std::lock_guard<std::mutex> lock(mutex_);
    ++openEvents_;
    return std::make_unique<FakeStopEvent>(*this);
}

bool FakeServiceDispatcher::deliverControl(std::uint32_t control) {
    ServiceControlHandler handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = handler_;
    }
    if (handler == nullptr) {
        return false;
    }
    handler(control);
    return true;
}

void FakeServiceDispatcher::deliverControlAt(FaultInjector& injector, const std::string& operation,
                                             int n, std::uint32_t control) {
    injector.beforeCall(
        operation, [this, control] { deliverControl(control); }, n - 1);
}

std::vector<ServiceStatus> FakeServiceDispatcher::reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::wstring FakeServiceDispatcher::dispatchedName() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dispatchedName_;
}

std::wstring FakeServiceDispatcher::registeredName() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registeredName_;
}

int FakeServiceDispatcher::stopEventsSignalled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
}

int FakeServiceDispatcher::openStopEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openEvents_;
}

}  // namespace korin::testing
