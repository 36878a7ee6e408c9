#pragma once

// The Service Control Manager port over advapi32: the local machine's
// manager and its default database.

#include "platform/service_control.h"

namespace korin {

class WinServiceControl final : public ServiceControl {
  public:
    std::unique_ptr<ServiceManager> openManager(std::uint32_t desiredAccess) override;
};

}  // namespace korin
