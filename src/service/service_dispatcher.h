#pragma once

// The port of the service's own side of the Service Control Manager
// (advapi32 and kernel32): the dispatcher that connects the process, the
// control handler's registration, status reports and the stop event.
// Failures return false, 0 or null and set the thread's last error. The
// platform's callbacks carry no context, so the Win32 adapter keeps the two
// functions for its WINAPI trampolines; there is one service per process.
// The manager's client side is the port of platform/service_control.h.

#include "platform/service_control.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

// The service main function; the platform's arguments are not passed on, as
// the service ignores them. It runs on a thread the dispatcher creates.
using ServiceMainFunction = void (*)();
// The plain control handler (LPHANDLER_FUNCTION): no event type, no context.
// It runs on the dispatcher's thread, the one that called startDispatcher.
using ServiceControlHandler = void (*)(std::uint32_t control);

// SERVICE_STATUS_HANDLE: an opaque value, 0 when registration failed; it is
// never closed.
using ServiceStatusHandle = std::uintptr_t;

// A manual-reset event; CloseHandle on destruction.
class ServiceStopEvent {
  public:
    virtual ~ServiceStopEvent() = default;
    // SetEvent.
    virtual bool set() = 0;
};

class ServiceDispatcher {
  public:
    virtual ~ServiceDispatcher() = default;
    // StartServiceCtrlDispatcherW with the table {serviceName, serviceMain}
    // and the terminating entry. Blocks until the service has reported
    // SERVICE_STOPPED; false with 1063 when the process was not started by
    // the Service Control Manager.
    virtual bool startDispatcher(const std::wstring& serviceName,
                                 ServiceMainFunction serviceMain) = 0;
    // RegisterServiceCtrlHandlerW: 0 with the platform's code (1083 for a
    // name the dispatcher was not given, 8 without memory).
    virtual ServiceStatusHandle registerHandler(const std::wstring& serviceName,
                                                ServiceControlHandler handler) = 0;
    // SetServiceStatus with the whole record, handed over as one copy.
    virtual bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) = 0;
    // CreateEventW(NULL, TRUE, FALSE, NULL): null with the call's error.
    virtual std::unique_ptr<ServiceStopEvent> createStopEvent() = 0;
};

}  // namespace korin
