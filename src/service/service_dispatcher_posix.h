#pragma once

// The stand-in adapter of the dispatcher port: the process's end of the
// control channel that the machine's manager handed it when it started the
// program (platform/standin/control_channel.h). Safe for the two threads of
// a service process: the dispatcher's, which runs the control handler, and
// the service main's.

#include "platform/standin/control_channel.h"
#include "platform/standin/registry_db.h"
#include "service/service_dispatcher.h"

#include <condition_variable>
#include <mutex>

namespace korin {

// A manual-reset event: a flag and a condition variable.
class StandInServiceStopEvent final : public ServiceStopEvent {
  public:
    bool set() override;
    // True once set, waiting at most timeoutMs for it.
    bool waitFor(std::uint32_t timeoutMs);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

class StandInServiceDispatcher final : public ServiceDispatcher {
  public:
    StandInServiceDispatcher(const standin::Machine& machine, standin::RegistryDb& registry)
        : machine_(machine), registry_(registry) {}

    // Returns once the service reported stopped, or once its main function
    // returned without doing so (Windows would wait on; the process is then
    // recorded stopped with 1067, as one that ended).
    bool startDispatcher(const std::wstring& serviceName, ServiceMainFunction serviceMain) override;
    ServiceStatusHandle registerHandler(const std::wstring& serviceName,
                                        ServiceControlHandler handler) override;
    bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;
    std::unique_ptr<ServiceStopEvent> createStopEvent() override;

  private:
    void serveControls(standin::DispatcherChannel& channel);
    void serviceMainReturned();
    ServiceStatusHandle handleValue() const { return reinterpret_cast<ServiceStatusHandle>(this); }

    standin::Machine machine_;
    standin::RegistryDb& registry_;
    std::mutex mutex_;  // guards everything below
    bool dispatching_ = false;
    standin::DispatcherChannel* channel_ = nullptr;  // while dispatching
    std::wstring serviceName_;
    ServiceControlHandler handler_ = nullptr;
    ServiceStatus status_;
    bool stopped_ = false;
};

}  // namespace korin
