#include "platform/standin/service_manager.h"

#include "platform/standin/control_channel.h"
#include "platform/error_codes.h"

#include <signal.h>

namespace korin::standin {

namespace {

constexpr std::uint32_t kControlContinue = 3;
constexpr std::uint32_t kControlShutdown = 5;
constexpr std::uint32_t kControlParamChange = 6;
constexpr std::uint32_t kControlNetBindDisable = 10;
constexpr std::uint32_t kFirstUserControl = 128;
constexpr std::uint32_t kLastUserControl = 255;
constexpr std::uint32_t kAcceptPauseContinue = 2;
constexpr std::uint32_t kAcceptParamChange = 8;
constexpr std::uint32_t kAcceptNetBindChange = 0x10;

// What a running service must accept for the control; 0 for one every
// running service takes (interrogate, its own codes).
std::uint32_t acceptanceNeeded(std::uint32_t code) {
    if (code == kServiceControlStop) {
        return kServiceAcceptStop;
    }
    if (code == kServiceControlPause || code == kControlContinue) {
        return kAcceptPauseContinue;
    }
    if (code == kControlParamChange) {
        return kAcceptParamChange;
    }
    if (code > kControlParamChange && code <= kControlNetBindDisable) {
        return kAcceptNetBindChange;
    }
    return 0;
}

bool sendable(std::uint32_t code) {
    return (code >= kServiceControlStop && code <= kControlNetBindDisable &&
            code != kControlShutdown) ||
           (code >= kFirstUserControl && code <= kLastUserControl);
}

}  // namespace

std::uint32_t ServiceControlManager::exists(const std::wstring& name) {
    settle(name);
    ServiceConfig config;
    return services_.read(name, config);
}

std::uint32_t ServiceControlManager::create(const std::wstring& name, const ServiceConfig& config) {
    settle(name);
    return services_.create(name, config);
}

std::uint32_t ServiceControlManager::start(const std::wstring& name) {
    // One start at a time: a second waits here and then finds it running.
    ServiceStartLock lock(machine_, name);
    ServiceConfig config;
    if (std::uint32_t error = services_.read(name, config); error != 0) {
        return error;
    }
    if (config.markedForDeletion) {
        return kErrorServiceMarkedForDelete;
    }
    if (config.start == kStartDisabled) {
        return kErrorServiceDisabled;
    }
    if (readServiceRuntime(machine_, name).status.currentState != kServiceStopped) {
        return kErrorServiceAlreadyRunning;
    }
    std::uint32_t error = 0;
    auto channel = StartChannel::open(machine_, name, error);
    if (!channel) {
        return error;
    }
    std::uint32_t processId = 0;
    error = spawn_(config.imagePath, kServiceWorkingFolder,
                   {channel->channelEntry(), channel->tokenEntry()}, processId);
    if (error != 0) {
        return error;
    }
    const std::uint64_t processStart = processStartTime(processId);
    error = processStart == 0 ? kErrorServiceRequestTimeout
                              : channel->awaitDispatcher(processId, processStart,
                                                         services_.servicesPipeTimeoutMs());
    if (error != 0 && processStart != 0 && processStartTime(processId) == processStart) {
        kill(static_cast<pid_t>(processId), SIGKILL);  // as Windows ends a service it gave up on
    }
    return error;
}

std::uint32_t ServiceControlManager::control(const std::wstring& name, std::uint32_t code,
                                             ServiceStatus& status) {
    ServiceConfig config;
    if (std::uint32_t error = services_.read(name, config); error != 0) {
        return error;
    }
    const ServiceRuntime runtime = readServiceRuntime(machine_, name);
    status = runtime.status;
    if (!sendable(code)) {
        return kErrorInvalidParameter;
    }
    if (status.currentState == kServiceStopped) {
        return kErrorServiceNotActive;
    }
    if (status.currentState == kServiceStartPending || status.currentState == kServiceStopPending) {
        return kErrorServiceCannotAcceptCtrl;
    }
    const std::uint32_t needed = acceptanceNeeded(code);
    if ((status.controlsAccepted & needed) != needed) {
        return kErrorInvalidServiceControl;
    }
    const std::uint32_t error = sendServiceControl(machine_, name, runtime.processId, code,
                                                   services_.servicesPipeTimeoutMs(), status);
    if (error == kErrorServiceNotActive) {
        status = readServiceRuntime(machine_, name).status;  // it ended meanwhile
    }
    return error;
}

std::uint32_t ServiceControlManager::query(const std::wstring& name, ServiceStatus& status) {
    ServiceConfig config;
    if (std::uint32_t error = services_.read(name, config); error != 0) {
        return error;
    }
    status = readServiceRuntime(machine_, name).status;
    return 0;
}

std::uint32_t ServiceControlManager::markForDeletion(const std::wstring& name) {
    const std::uint32_t error = services_.markForDeletion(name);
    if (error == 0) {
        settle(name);
    }
    return error;
}

void ServiceControlManager::settle(const std::wstring& name) {
    ServiceConfig config;
    if (services_.read(name, config) == 0 && config.markedForDeletion &&
        readServiceRuntime(machine_, name).status.currentState == kServiceStopped) {
        services_.remove(name);
        removeServiceRuntime(machine_, name);
    }
}

}  // namespace korin::standin
