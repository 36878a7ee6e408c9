#pragma once

// The service's registration with the Service Control Manager and the
// administrative actions built on it. Each operation opens its own manager
// and service handles and closes them before it returns; none waits for a
// state change of the service.

#include "service/service_info.h"

namespace korin {

struct Platform;

bool installService(const Platform& platform, const ServiceInfo& info);
bool uninstallService(const Platform& platform, const ServiceInfo& info);
bool createDefaultTask(const Platform& platform, const ServiceInfo& info);

bool scmServiceExists(const Platform& platform, const ServiceInfo& info);
bool scmCreateService(const Platform& platform, const ServiceInfo& info);
bool scmUpdateServiceConfig(const Platform& platform, const ServiceInfo& info);
bool scmSetServiceDescription(const Platform& platform, const ServiceInfo& info);
bool scmStartService(const Platform& platform, const ServiceInfo& info);
bool scmStopService(const Platform& platform, const ServiceInfo& info);
bool scmDeleteService(const Platform& platform, const ServiceInfo& info);

}  // namespace korin
