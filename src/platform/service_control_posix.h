#pragma once

// The stand-in adapter of the Service Control Manager port: thin handles
// over the machine's manager (platform/standin/service_manager.h). The
// administrator is the only user, so a manager or service always opens;
// each call then needs the access right Windows asks of it (5 otherwise).

#include "platform/standin/machine.h"
#include "platform/standin/registry_db.h"
#include "platform/service_control.h"
#include "platform/standin/process_launcher.h"
#include "platform/standin/service_manager.h"

namespace korin {

class StandInServiceControl final : public ServiceControl {
  public:
    StandInServiceControl(const standin::Machine& machine, standin::RegistryDb& registry);

    std::unique_ptr<ServiceManager> openManager(std::uint32_t desiredAccess) override;

  private:
    // Service programs are started by a 64-bit manager: no redirection.
    standin::ProcessLauncher launcher_;
    standin::ServiceControlManager manager_;
};

}  // namespace korin
