#include "service/service_dispatcher_posix.h"

#include "platform/last_error.h"
#include "platform/standin/service_manager.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

namespace korin {

namespace {

constexpr std::uint32_t kLastServiceState = 7;  // SERVICE_PAUSED

}  // namespace

bool StandInServiceStopEvent::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
    return true;
}

bool StandInServiceStopEvent::waitFor(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

bool StandInServiceDispatcher::startDispatcher(const std::wstring& serviceName,
                                             ServiceMainFunction serviceMain) {
    {
        std::lock_guard lock(mutex_);
        if (dispatching_) {
            setLastError(kErrorServiceAlreadyRunning);
            return false;
        }
        dispatching_ = true;
    }
    std::uint32_t error = 0;
    std::unique_ptr<standin::DispatcherChannel> channel;
    try {
        channel = standin::DispatcherChannel::connect(machine_, serviceName, error);
    } catch (const std::bad_alloc&) {
        error = kErrorNotEnoughMemory;
    }
    if (!channel) {
        std::lock_guard lock(mutex_);
        dispatching_ = false;
        setLastError(error);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        channel_ = channel.get();
        serviceName_ = serviceName;
        handler_ = nullptr;
        stopped_ = false;
        status_ = ServiceStatus{};
    }
    try {
        std::thread worker([this, serviceMain] {
            serviceMain();
            serviceMainReturned();
        });
        serveControls(*channel);
        worker.join();
    } catch (const std::system_error&) {
        serviceMainReturned();  // no thread: the service never ran
    }
    std::lock_guard lock(mutex_);
    channel_ = nullptr;
    handler_ = nullptr;
    dispatching_ = false;
    // A service marked for deletion goes now that it is stopped.
    standin::ServiceControlManager(machine_, registry_, nullptr).settle(serviceName);
    return true;
}

void StandInServiceDispatcher::serveControls(standin::DispatcherChannel& channel) {
    std::uint32_t code = 0;
    while (channel.nextControl(code)) {
        ServiceControlHandler handler = nullptr;
        {
            std::lock_guard lock(mutex_);
            handler = handler_;
        }
        // On this thread, as the platform calls a handler.
        if (handler != nullptr) {
            handler(code);
        }
        ServiceStatus status;
        {
            std::lock_guard lock(mutex_);
            status = status_;
        }
        channel.answer(status);
    }
}

void StandInServiceDispatcher::serviceMainReturned() {
    std::lock_guard lock(mutex_);
    if (!stopped_ && channel_ != nullptr) {
        stopped_ = true;
        status_.currentState = kServiceStopped;
        status_.controlsAccepted = 0;
        status_.win32ExitCode = kErrorProcessAborted;
        status_.checkPoint = 0;
        status_.waitHint = 0;
        channel_->publish(status_);
        channel_->wake();
    }
}

ServiceStatusHandle StandInServiceDispatcher::registerHandler(const std::wstring& serviceName,
                                                            ServiceControlHandler handler) {
    std::lock_guard lock(mutex_);
    if (channel_ == nullptr || !equalsIgnoreCase(serviceName, serviceName_)) {
        setLastError(kErrorServiceNotInExe);
        return 0;
    }
    handler_ = handler;
    return handleValue();
}

bool StandInServiceDispatcher::setStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
    std::lock_guard lock(mutex_);
    if (handle != handleValue() || channel_ == nullptr || stopped_) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    if (status.currentState < kServiceStopped || status.currentState > kLastServiceState) {
        setLastError(kErrorInvalidData);
        return false;
    }
    status_ = status;
    if (!channel_->publish(status_)) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    if (status.currentState == kServiceStopped) {
        stopped_ = true;
        channel_->wake();
    }
    return true;
}

std::unique_ptr<ServiceStopEvent> StandInServiceDispatcher::createStopEvent() {
    try {
        return std::make_unique<StandInServiceStopEvent>();
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
}

}  // namespace korin
