#pragma once

// A synchronous service dispatcher: the service main runs on the thread that
// starts the dispatcher, every status report is kept, and a control reaches
// the registered handler when the test says, at a chosen call of any fake,
// so that a stop in the middle of an update cycle comes at the same step in
// every run.

#include "fakes/fault_injector.h"
#include "platform/service_control.h"
#include "service/service_dispatcher.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

class FakeServiceDispatcher final : public ServiceDispatcher {
  public:
    // The handle registerHandler gives; setStatus refuses any other with 6.
    static constexpr ServiceStatusHandle kStatusHandle = 0x5EC;

    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "startDispatcher", "registerHandler", "setStatus", "createStopEvent", "setEvent",
    };
    // clang-format on
    FaultInjector faults{kOperations};

    bool startDispatcher(const std::wstring& serviceName, ServiceMainFunction serviceMain) override;
    ServiceStatusHandle registerHandler(const std::wstring& serviceName,
                                        ServiceControlHandler handler) override;
    bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;
    std::unique_ptr<ServiceStopEvent> createStopEvent() override;

    // Calls the registered handler with control on the calling thread, as
    // the dispatcher does; false when no handler is registered.
    bool deliverControl(std::uint32_t control);
    // The n-th call from now (1: the next one) of operation through faults
    // first delivers control. Not on this fake's own "setStatus": a report
    // holds the runtime's lock, which the handler's reports take.
    void deliverControlAt(FaultInjector& faults, const std::string& operation, int n,
                          std::uint32_t control);

    // Every accepted report, in the order it arrived.
    std::vector<ServiceStatus> reports() const;
    std::wstring dispatchedName() const;
    std::wstring registeredName() const;
    int stopEventsSignalled() const;
    // Stop events created and not yet closed.
    int openStopEvents() const;

  private:
    friend class FakeStopEvent;
    mutable std::mutex mutex_;
    std::vector<ServiceStatus> reports_;
    ServiceControlHandler handler_ = nullptr;
    std::wstring dispatchedName_;
    std::wstring registeredName_;
    int signalled_ = 0;
    int openEvents_ = 0;
};

}  // namespace korin::testing
