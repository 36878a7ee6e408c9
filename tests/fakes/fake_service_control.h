#pragma once

// An in-memory Service Control Manager: a table of services, the rights each
// handle was opened with, and Windows' answers (5 without the right, 1056
// already running, 1060 no such service, 1062 not running, 1072 marked for
// deletion, 1073 exists). Every call is one FaultInjector name ("scm." and
// the call); an injected fault is the call's last error. What each call was
// given is recorded.

#include "fakes/fault_injector.h"
#include "platform/service_control.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

class FakeServiceControl final : public ServiceControl {
  public:
    struct Service {
        std::wstring displayName;
        std::uint32_t serviceType = kServiceWin32OwnProcess;
        std::uint32_t startType = kServiceDemandStart;
        std::uint32_t errorControl = kServiceErrorNormal;
        std::wstring binaryPathName;
        std::wstring description;
        std::wstring account = L"LocalSystem";
        // The status the service last reported; a test sets it at will.
        ServiceStatus status{kServiceWin32OwnProcess, kServiceStopped};
        bool markedForDeletion = false;
        int openHandles = 0;
    };
    struct Opened {
        std::wstring serviceName;
        std::uint32_t access = 0;
    };
    struct ConfigChange {
        std::wstring serviceName;
        std::uint32_t serviceType = 0;
        std::uint32_t startType = 0;
        std::uint32_t errorControl = 0;
        std::wstring binaryPathName;
        std::wstring displayName;
    };
    struct Control {
        std::wstring serviceName;
        std::uint32_t code = 0;
    };

    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "scm.openManager", "scm.openService", "scm.createService", "scm.changeConfig",
        "scm.changeDescription", "scm.start", "scm.control", "scm.queryStatus",
        "scm.deleteService",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    // Keyed by the name as created; names are matched without regard to case.
    std::map<std::wstring, Service> services;

    std::vector<std::uint32_t> managerAccesses;
    std::vector<Opened> opened;  // every openService, found or not
    std::vector<ServiceDefinition> created;
    std::vector<ConfigChange> configChanges;
    std::vector<std::wstring> descriptions;
    std::vector<std::wstring> starts;
    std::vector<Control> controls;
    std::vector<std::wstring> deletions;
    int openHandles = 0;  // manager and service handles not yet closed

    // A service as a test arranges it: running or stopped, with its path.
    Service& addService(const std::wstring& name, std::uint32_t state,
                        const std::wstring& binaryPathName = L"C:\\old.exe");
    Service* find(const std::wstring& name);

    std::unique_ptr<ServiceManager> openManager(std::uint32_t desiredAccess) override;

  private:
    friend class FakeServiceManager;
    friend class FakeServiceHandle;
    bool fail(const char* operation);
    // Called when a service handle closes: a marked, stopped service whose
    // last handle closed leaves the table.
    void released(const std::wstring& name);
};

}  // namespace korin::testing
