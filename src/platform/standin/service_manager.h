#pragma once

// The machine's Service Control Manager, as a library every process of the
// machine uses: the service database in the registry, and each service's
// runtime through its control channel. Results are Win32 error codes, 0 for
// success, as Windows answers.
//
// Deletion, kept simple: a service marked for deletion goes (its key and its
// runtime files) as soon as it is stopped: at once when it is not running,
// else when its process reports stopped or is found gone. Open handles are
// not counted.

#include "platform/service_control.h"
#include "platform/standin/machine.h"
#include "platform/standin/service_db.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korin::standin {

// Where a service's program starts: C:\Windows\System32, the real one.
inline constexpr wchar_t kServiceWorkingFolder[] = L"C:\\Windows\\System32";

// Starts a service's program detached: the image path as its command line,
// in the given folder, with entries added to the environment. 0 and the
// process, or the error of the start.
using ServiceSpawner = std::function<std::uint32_t(
    const std::wstring& imagePath, const std::wstring& folder,
    const std::vector<std::string>& environment, std::uint32_t& processId)>;

class ServiceControlManager {
  public:
    ServiceControlManager(const Machine& machine, RegistryDb& registry, ServiceSpawner spawn)
        : machine_(machine), services_(registry), spawn_(std::move(spawn)) {}

    ServiceDb& database() { return services_; }

    // 1060 when there is no such service.
    std::uint32_t exists(const std::wstring& name);
    std::uint32_t create(const std::wstring& name, const ServiceConfig& config);
    // 1056 while it runs, 1058 disabled, 1072 marked for deletion; the
    // program's start error; 1053 when its dispatcher did not connect within
    // ServicesPipeTimeout (the program is then ended).
    std::uint32_t start(const std::wstring& name);
    // The status comes back with every answer but 1060: 1062 stopped, 1061
    // start- or stop-pending, 1052 a control the service does not accept,
    // 87 a code no one may send.
    std::uint32_t control(const std::wstring& name, std::uint32_t code, ServiceStatus& status);
    std::uint32_t query(const std::wstring& name, ServiceStatus& status);
    // 1072 when marked already.
    std::uint32_t markForDeletion(const std::wstring& name);
    // Removes the service when it is marked for deletion and stopped.
    void settle(const std::wstring& name);

  private:
    Machine machine_;
    ServiceDb services_;
    ServiceSpawner spawn_;
};

}  // namespace korin::standin
