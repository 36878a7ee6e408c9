#include "service/service_runtime.h"

#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/service_control.h"
#include "platform/error_codes.h"
#include "service/entry.h"
#include "service/service_dispatcher.h"
#include "service/service_info.h"
#include "support/log.h"
#include "update/update_cycle.h"

#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace korin {

namespace {

// The one entry of the dispatch table; the terminating entry is the
// platform's form of the end and the adapter adds it.
struct DispatchEntry {
    std::wstring serviceName;
    ServiceMainFunction serviceMain;
};

struct ServiceRuntime {
    // Written by runServiceDispatcher before the dispatcher starts, read by
    // both threads afterwards.
    const Platform* platform = nullptr;
    std::unique_ptr<DispatchEntry> dispatchEntry;

    // Held across every report, from filling the record to setStatus, so
    // that a report of the control thread and one of the service thread
    // never mix and no check point is used twice.
    std::mutex mutex;
    ServiceStatusHandle statusHandle = 0;
    ServiceStatus status;
    std::uint32_t checkPointCounter = 1;
    std::unique_ptr<ServiceStopEvent> stopEvent;
};

ServiceRuntime& runtime() {
    static ServiceRuntime state;
    return state;
}

void reportLocked(ServiceRuntime& state, std::uint32_t currentState, std::uint32_t waitHint) {
    ServiceStatus& status = state.status;
    status.currentState = currentState;
    status.win32ExitCode = kErrorSuccess;
    status.waitHint = waitHint;
    // The SCM sends nothing before the worker has its stop event and runs.
    status.controlsAccepted = currentState == kServiceStartPending ? 0 : kServiceAcceptStop;
    if (currentState == kServiceRunning || currentState == kServiceStopped) {
        status.checkPoint = 0;
    } else {
        status.checkPoint = state.checkPointCounter++;
    }
    const ServiceStatus copy = status;
    state.platform->serviceDispatcher->setStatus(state.statusHandle, copy);
}

}  // namespace

// The dispatch table's one entry is the core's to allocate (1451 with 8 when
// it cannot be); the terminator is the platform's form, which the adapter adds.
bool runServiceDispatcher(const Platform& platform) {
    ServiceRuntime& state = runtime();
    // No control arrives before the dispatcher starts: a second start in one
    // process reports from check point 1 with nothing left of the first.
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.statusHandle = 0;
        state.status = ServiceStatus{};
        state.checkPointCounter = 1;
        state.stopEvent.reset();
    }
    state.platform = &platform;
    writeLogCode(platform, Info, kLogDispatcherStarting);
    try {
        state.dispatchEntry =
            std::make_unique<DispatchEntry>(DispatchEntry{kServiceName, &serviceMain});
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        writeLogCode(platform, Error, kLogNoMemoryForDispatchTable, kErrorNotEnoughMemory);
        return false;
    }
    const bool ran = platform.serviceDispatcher->startDispatcher(state.dispatchEntry->serviceName,
                                                                 state.dispatchEntry->serviceMain);
    if (!ran) {
        writeLogCode(platform, Info, kLogDispatcherFailed, lastError());
    } else {
        writeLogCode(platform, Info, kLogDispatcherReturned);
    }
    // No control arrives once the dispatcher has returned.
    std::unique_ptr<ServiceStopEvent> stopEvent;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        stopEvent = std::move(state.stopEvent);
    }
    stopEvent.reset();
    state.dispatchEntry.reset();
    return ran;
}

void serviceMain() {
    ServiceRuntime& state = runtime();
    const Platform& platform = *state.platform;
    const ServiceStatusHandle handle = platform.serviceDispatcher->registerHandler(
        state.dispatchEntry->serviceName, &serviceControlHandler);
    if (handle == 0) {
        writeLogCode(platform, Error, kLogHandlerNotRegistered, lastError());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.statusHandle = handle;
        state.status.serviceSpecificExitCode = 0;
        state.status.serviceType = kServiceWin32OwnProcess;
    }
    reportServiceStatus(kServiceStartPending, kStartPendingWaitHint);
    serviceWorker();
}

void serviceWorker() {
    ServiceRuntime& state = runtime();
    const Platform& platform = *state.platform;
    // Memory running out where the cycle does not catch it still ends in a
    // stopped report; nothing may leave the service thread.
    try {
        std::unique_ptr<ServiceStopEvent> stopEvent = platform.serviceDispatcher->createStopEvent();
        if (stopEvent) {
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                state.stopEvent = std::move(stopEvent);
            }
            reportServiceStatus(kServiceRunning, 0);
            // A stop request waits for the cycle's end: nothing here looks at the event.
            if (serviceContext() != nullptr) {
                runUpdateCycle(platform);
            } else {
                writeLogCode(platform, Error, kLogNoServiceContext, lastError());
            }
        }
    } catch (const std::bad_alloc&) {
    }
    reportServiceStatus(kServiceStopped, 0);
}

void serviceControlHandler(std::uint32_t control) {
    ServiceRuntime& state = runtime();
    const Platform& platform = *state.platform;
    writeLogCode(platform, Info, kLogControlReceived, control);
    if (control != kServiceControlStop) {
        // Interrogate included: nothing is answered.
        return;
    }
    reportServiceStatus(kServiceStopPending, 0);
    writeLogCode(platform, Info, kLogStopControl);
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.stopEvent) {
        state.stopEvent->set();
    }
    // The state the record holds now: the worker may have reported in between.
    reportLocked(state, state.status.currentState, 0);
}

void reportServiceStatus(std::uint32_t state, std::uint32_t waitHint) {
    ServiceRuntime& shared = runtime();
    std::lock_guard<std::mutex> lock(shared.mutex);
    reportLocked(shared, state, waitHint);
}

}  // namespace korin
