#pragma once

// The Win32 service dispatcher adapter.

#include "service/service_dispatcher.h"

namespace korin {

// The service's side of the Service Control Manager through advapi32 and
// kernel32. The platform's callbacks carry no context: the functions handed
// in are kept process-wide for the WINAPI trampolines that the platform
// calls, which suits the one service of the process.
class WinServiceDispatcher final : public ServiceDispatcher {
  public:
    bool startDispatcher(const std::wstring& serviceName, ServiceMainFunction serviceMain) override;
    ServiceStatusHandle registerHandler(const std::wstring& serviceName,
                                        ServiceControlHandler handler) override;
    bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;
    std::unique_ptr<ServiceStopEvent> createStopEvent() override;
};

}  // namespace korin
