#pragma once

// The port of the Service Control Manager's client side (advapi32), shaped
// like its calls: the manager opens or creates services, a service is
// reconfigured, described, started, controlled, queried and deleted.
// Destroying an object closes its handle (CloseServiceHandle, keeping the
// thread's last error). Failures return false or null and set the thread's
// last error to the platform's code (5 access denied, 1056 already running,
// 1060 no such service, 1062 not started, 1072 marked for deletion, 1073
// exists, ...). The service's own side, the dispatcher and its status
// reports, is the port of service/service_dispatcher.h; this one sits in
// platform/ because the stand-in's manager speaks its types.

#include <cstdint>
#include <memory>
#include <string>

namespace korin {

// Access rights, with the platform's values.
inline constexpr std::uint32_t kScManagerCreateService = 0x0002;
inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

// Service types, start types, error control, the "no change" value.
inline constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceErrorNormal = 1;
inline constexpr std::uint32_t kServiceNoChange = 0xFFFFFFFFu;

// Controls, states and accepted controls.
inline constexpr std::uint32_t kServiceControlStop = 1;
inline constexpr std::uint32_t kServiceControlPause = 2;
inline constexpr std::uint32_t kServiceControlInterrogate = 4;
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceAcceptStop = 1;

// SERVICE_STATUS, field for field.
struct ServiceStatus {
    std::uint32_t serviceType = 0;
    std::uint32_t currentState = 0;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
};

// What CreateServiceW is given; load-order group, tag, dependencies, account
// and password are always none (LocalSystem).
struct ServiceDefinition {
    std::wstring serviceName;
    std::wstring displayName;
    std::uint32_t desiredAccess = 0;
    std::uint32_t serviceType = kServiceWin32OwnProcess;
    std::uint32_t startType = kServiceDemandStart;
    std::uint32_t errorControl = kServiceErrorNormal;
    std::wstring binaryPathName;  // as given: no quotes added
};

// One open service handle.
class ServiceHandle {
  public:
    virtual ~ServiceHandle() = default;
    // ChangeServiceConfigW with no load-order group, tag, dependencies,
    // account or password (left unchanged); kServiceNoChange leaves a number.
    virtual bool changeConfig(std::uint32_t serviceType, std::uint32_t startType,
                              std::uint32_t errorControl, const std::wstring& binaryPathName,
                              const std::wstring& displayName) = 0;
    // ChangeServiceConfig2W with SERVICE_CONFIG_DESCRIPTION.
    virtual bool changeDescription(const std::wstring& description) = 0;
    // StartServiceW with no arguments: 1056 when running, 1058 when disabled.
    virtual bool start() = 0;
    // ControlService: the status the service last reported comes back in
    // status; 1062 when the service is not running, 1052 when the control is
    // not accepted now.
    virtual bool control(std::uint32_t code, ServiceStatus& status) = 0;
    // QueryServiceStatus.
    virtual bool queryStatus(ServiceStatus& status) = 0;
    // DeleteService: marks it for deletion; 1072 when already marked.
    virtual bool deleteService() = 0;
};

// An open Service Control Manager of the local machine's default database.
class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    // OpenServiceW: null with 1060 when no service has that name.
    virtual std::unique_ptr<ServiceHandle> openService(const std::wstring& serviceName,
                                                       std::uint32_t desiredAccess) = 0;
    // CreateServiceW: null with 1073 when the name exists, 1072 when a
    // service of that name is marked for deletion.
    virtual std::unique_ptr<ServiceHandle> createService(const ServiceDefinition& definition) = 0;
};

class ServiceControl {
  public:
    virtual ~ServiceControl() = default;
    // OpenSCManagerW(NULL, NULL, desiredAccess): 5 without the rights.
    virtual std::unique_ptr<ServiceManager> openManager(std::uint32_t desiredAccess) = 0;
};

}  // namespace korin
