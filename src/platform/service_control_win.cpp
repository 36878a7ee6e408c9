#include "platform/service_control_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <new>
#include <utility>

namespace korin {

namespace {

void copyStatus(const SERVICE_STATUS& from, ServiceStatus& to) {
    to.serviceType = from.dwServiceType;
    to.currentState = from.dwCurrentState;
    to.controlsAccepted = from.dwControlsAccepted;
    to.win32ExitCode = from.dwWin32ExitCode;
    to.serviceSpecificExitCode = from.dwServiceSpecificExitCode;
    to.checkPoint = from.dwCheckPoint;
    to.waitHint = from.dwWaitHint;
}

// An owner made without throwing: when its memory cannot be had, the handle
// closes here and the call fails as the platform fails for want of memory.
template <typename Owner, typename Port>
std::unique_ptr<Port> own(UniqueScHandle handle) {
    std::unique_ptr<Port> owner(new (std::nothrow) Owner(std::move(handle)));
    if (!owner) {
        handle.reset();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return owner;
}

class WinServiceHandle final : public ServiceHandle {
  public:
    explicit WinServiceHandle(UniqueScHandle&& handle) : handle_(std::move(handle)) {}

    bool changeConfig(std::uint32_t serviceType, std::uint32_t startType,
                      std::uint32_t errorControl, const std::wstring& binaryPathName,
                      const std::wstring& displayName) override {
        return ChangeServiceConfigW(handle_.get(), serviceType, startType, errorControl,
                                    binaryPathName.c_str(), nullptr, nullptr, nullptr, nullptr,
                                    nullptr, displayName.c_str()) != FALSE;
    }

    bool changeDescription(const std::wstring& description) override {
        // The record's text pointer is not const; the call only reads it.
        SERVICE_DESCRIPTIONW record{const_cast<wchar_t*>(description.c_str())};
        return ChangeServiceConfig2W(handle_.get(), SERVICE_CONFIG_DESCRIPTION, &record) != FALSE;
    }

    bool start() override { return StartServiceW(handle_.get(), 0, nullptr) != FALSE; }

    bool control(std::uint32_t code, ServiceStatus& status) override {
        SERVICE_STATUS record{};
        const bool sent = ControlService(handle_.get(), code, &record) != FALSE;
        copyStatus(record, status);
        return sent;
    }

    bool queryStatus(ServiceStatus& status) override {
        SERVICE_STATUS record{};
        if (!QueryServiceStatus(handle_.get(), &record)) {
            return false;
        }
        copyStatus(record, status);
        return true;
    }

    bool deleteService() override { return DeleteService(handle_.get()) != FALSE; }

  private:
    UniqueScHandle handle_;
};

class WinServiceManager final : public ServiceManager {
  public:
    explicit WinServiceManager(UniqueScHandle&& handle) : handle_(std::move(handle)) {}

    std::unique_ptr<ServiceHandle> openService(const std::wstring& serviceName,
                                               std::uint32_t desiredAccess) override {
        UniqueScHandle service(OpenServiceW(handle_.get(), serviceName.c_str(), desiredAccess));
        if (!service) {
            return nullptr;
        }
        return own<WinServiceHandle, ServiceHandle>(std::move(service));
    }

    std::unique_ptr<ServiceHandle> createService(const ServiceDefinition& definition) override {
        UniqueScHandle service(CreateServiceW(
            handle_.get(), definition.serviceName.c_str(), definition.displayName.c_str(),
            definition.desiredAccess, definition.serviceType, definition.startType,
            definition.errorControl, definition.binaryPathName.c_str(), nullptr, nullptr, nullptr,
            nullptr, nullptr));
        if (!service) {
            return nullptr;
        }
        return own<WinServiceHandle, ServiceHandle>(std::move(service));
    }

  private:
    UniqueScHandle handle_;
};

}  // namespace

std::unique_ptr<ServiceManager> WinServiceControl::openManager(std::uint32_t desiredAccess) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, desiredAccess));
    if (!manager) {
        return nullptr;
    }
    return own<WinServiceManager, ServiceManager>(std::move(manager));
}

}  // namespace korin
