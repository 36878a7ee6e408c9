#include "platform/service_control_posix.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"

#include <new>

namespace korin {

namespace {

constexpr std::uint32_t kServiceQueryStatus = 0x0004;
constexpr std::uint32_t kServicePauseContinue = 0x0040;
constexpr std::uint32_t kServiceInterrogate = 0x0080;
constexpr std::uint32_t kServiceUserDefinedControl = 0x0100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kFirstUserControl = 128;

// The platform's answer: true for 0, else false with the code as the
// thread's last error. A failed allocation is 8, never an exception.
template <typename Call>
bool answer(Call call) {
    std::uint32_t error = kErrorNotEnoughMemory;
    try {
        error = call();
    } catch (const std::bad_alloc&) {
    }
    if (error != 0) {
        setLastError(error);
    }
    return error == 0;
}

bool granted(std::uint32_t access, std::uint32_t needed) {
    if ((access & needed) == needed) {
        return true;
    }
    setLastError(kErrorAccessDenied);
    return false;
}

std::uint32_t controlRight(std::uint32_t code) {
    if (code == kServiceControlStop) {
        return kServiceStop;
    }
    if (code == kServiceControlInterrogate) {
        return kServiceInterrogate;
    }
    return code >= kFirstUserControl ? kServiceUserDefinedControl : kServicePauseContinue;
}

class StandInServiceHandle final : public ServiceHandle {
  public:
    StandInServiceHandle(standin::ServiceControlManager& manager, std::wstring name,
                         std::uint32_t access)
        : manager_(manager), name_(std::move(name)), access_(access) {}

    bool changeConfig(std::uint32_t serviceType, std::uint32_t startType,
                      std::uint32_t errorControl, const std::wstring& binaryPathName,
                      const std::wstring& displayName) override {
        return granted(access_, kServiceChangeConfig) && answer([&] {
                   return manager_.database().changeConfig(
                       name_, serviceType, startType, errorControl, binaryPathName, displayName);
               });
    }
    bool changeDescription(const std::wstring& description) override {
        return granted(access_, kServiceChangeConfig) &&
               answer([&] { return manager_.database().setDescription(name_, description); });
    }
    bool start() override {
        return granted(access_, kServiceStart) && answer([&] { return manager_.start(name_); });
    }
    bool control(std::uint32_t code, ServiceStatus& status) override {
        return granted(access_, controlRight(code)) &&
               answer([&] { return manager_.control(name_, code, status); });
    }
    bool queryStatus(ServiceStatus& status) override {
        return granted(access_, kServiceQueryStatus) &&
               answer([&] { return manager_.query(name_, status); });
    }
    bool deleteService() override {
        if (!granted(access_, kDelete)) {
            return false;
        }
        // The machine removes a stopped service at once, so only the handle
        // remembers it marked it: Windows keeps answering 1072 while a handle
        // is open.
        if (marked_) {
            setLastError(kErrorServiceMarkedForDelete);
            return false;
        }
        marked_ = answer([&] { return manager_.markForDeletion(name_); });
        return marked_;
    }

  private:
    standin::ServiceControlManager& manager_;
    std::wstring name_;
    std::uint32_t access_;
    bool marked_ = false;
};

class StandInServiceManager final : public ServiceManager {
  public:
    StandInServiceManager(standin::ServiceControlManager& manager, std::uint32_t access)
        : manager_(manager), access_(access) {}

    std::unique_ptr<ServiceHandle> openService(const std::wstring& serviceName,
                                               std::uint32_t desiredAccess) override {
        if (!answer([&] { return manager_.exists(serviceName); })) {
            return nullptr;
        }
        return std::make_unique<StandInServiceHandle>(manager_, serviceName, desiredAccess);
    }

    std::unique_ptr<ServiceHandle> createService(const ServiceDefinition& definition) override {
        if (!granted(access_, kScManagerCreateService)) {
            return nullptr;
        }
        const bool created = answer([&] {
            standin::ServiceConfig config;
            config.type = definition.serviceType;
            config.start = definition.startType;
            config.errorControl = definition.errorControl;
            config.imagePath = definition.binaryPathName;
            config.displayName =
                definition.displayName.empty() ? definition.serviceName : definition.displayName;
            return manager_.create(definition.serviceName, config);
        });
        return created ? std::make_unique<StandInServiceHandle>(manager_, definition.serviceName,
                                                                definition.desiredAccess)
                       : nullptr;
    }

  private:
    standin::ServiceControlManager& manager_;
    std::uint32_t access_;
};

}  // namespace

StandInServiceControl::StandInServiceControl(const standin::Machine& machine,
                                             standin::RegistryDb& registry)
    : launcher_(standin::ProgramView(machine, false)),
      manager_(machine, registry,
               [this](const std::wstring& imagePath, const std::wstring& folder,
                      const std::vector<std::string>& environment, std::uint32_t& processId) {
                   return launcher_.start(L"", imagePath, folder, environment, processId);
               }) {}

std::unique_ptr<ServiceManager> StandInServiceControl::openManager(std::uint32_t desiredAccess) {
    try {
        return std::make_unique<StandInServiceManager>(manager_, desiredAccess);
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return nullptr;
    }
}

}  // namespace korin
