#include "fakes/fake_service_control.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "ground/text.h"

namespace korin::testing {

namespace {

// Rights the calls need beyond those of service_control.h.
constexpr std::uint32_t kServiceQueryStatus = 0x0004;
constexpr std::uint32_t kServicePauseContinue = 0x0040;
constexpr std::uint32_t kServiceInterrogate = 0x0080;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kServiceDisabled = 4;

bool refuse(std::uint32_t error) {
    setLastError(error);
    return false;
}

}  // namespace

class FakeServiceHandle final : public ServiceHandle {
  public:
    FakeServiceHandle(FakeServiceControl& scm, std::wstring name, std::uint32_t access)
        : scm_(scm), name_(std::move(name)), access_(access) {
        ++scm_.openHandles;
        ++service().openHandles;
    }
    ~FakeServiceHandle() override {
        --scm_.openHandles;
        --service().openHandles;
        scm_.released(name_);
    }
    FakeServiceHandle(const FakeServiceHandle&) = delete;
    FakeServiceHandle& operator=(const FakeServiceHandle&) = delete;

    bool changeConfig(std::uint32_t serviceType, std::uint32_t startType,
                      std::uint32_t errorControl, const std::wstring& binaryPathName,
                      const std::wstring& displayName) override {
        scm_.configChanges.push_back(
            {name_, serviceType, startType, errorControl, binaryPathName, displayName});
        if (scm_.fail("scm.changeConfig")) {
            return false;
        }
        if ((access_ & kServiceChangeConfig) == 0) {
            return refuse(kErrorAccessDenied);
        }
        FakeServiceControl::Service& s = service();
        if (s.markedForDeletion) {
            return refuse(kErrorServiceMarkedForDelete);
        }
        const auto change = [](std::uint32_t& field, std::uint32_t value) {
            if (value != kServiceNoChange) {
                field = value;
            }
        };
        change(s.serviceType, serviceType);
        change(s.startType, startType);
        change(s.errorControl, errorControl);
        s.binaryPathName = binaryPathName;
        s.displayName = displayName;
        return true;
    }

    bool changeDescription(const std::wstring& description) override {
        scm_.descriptions.push_back(description);
        if (scm_.fail("scm.changeDescription")) {
            return false;
        }
        if ((access_ & kServiceChangeConfig) == 0) {
            return refuse(kErrorAccessDenied);
        }
        if (service().markedForDeletion) {
            return refuse(kErrorServiceMarkedForDelete);
        }
        service().description = description;
        return true;
    }

    bool start() override {
        scm_.starts.push_back(name_);
        if (scm_.fail("scm.start")) {
            return false;
        }
        if ((access_ & kServiceStart) == 0) {
            return refuse(kErrorAccessDenied);
        }
        FakeServiceControl::Service& s = service();
        if (s.markedForDeletion) {
            return refuse(kErrorServiceMarkedForDelete);
        }
        if (s.startType == kServiceDisabled) {
            return refuse(kErrorServiceDisabled);
        }
        if (s.status.currentState != kServiceStopped) {
            return refuse(kErrorServiceAlreadyRunning);
        }
        s.status = {s.serviceType, kServiceStartPending, 0, 0, 0, 1, 3000};
        return true;
    }

    bool control(std::uint32_t code, ServiceStatus& status) override {
        scm_.controls.push_back({name_, code});
        if (scm_.fail("scm.control")) {
            return false;
        }
        const std::uint32_t needed = code == kServiceControlStop          ? kServiceStop
                                     : code == kServiceControlInterrogate ? kServiceInterrogate
                                                                          : kServicePauseContinue;
        if ((access_ & needed) == 0) {
            return refuse(kErrorAccessDenied);
        }
        FakeServiceControl::Service& s = service();
        status = s.status;
        if (s.status.currentState == kServiceStopped) {
            return refuse(kErrorServiceNotActive);
        }
        if (code == kServiceControlStop) {
            if (s.status.currentState == kServiceStopPending) {
                return refuse(kErrorServiceCannotAcceptCtrl);
            }
            if ((s.status.controlsAccepted & kServiceAcceptStop) == 0) {
                return refuse(kErrorInvalidServiceControl);
            }
            // The service answers as ours does: stop pending, stopped later.
            s.status.currentState = kServiceStopPending;
            status = s.status;
            return true;
        }
        return code == kServiceControlInterrogate || refuse(kErrorInvalidServiceControl);
    }

    bool queryStatus(ServiceStatus& status) override {
        if (scm_.fail("scm.queryStatus")) {
            return false;
        }
        if ((access_ & kServiceQueryStatus) == 0) {
            return refuse(kErrorAccessDenied);
        }
        status = service().status;
        return true;
    }

    bool deleteService() override {
        scm_.deletions.push_back(name_);
        if (scm_.fail("scm.deleteService")) {
            return false;
        }
        if ((access_ & kDelete) == 0) {
            return refuse(kErrorAccessDenied);
        }
        FakeServiceControl::Service& s = service();
        if (s.markedForDeletion) {
            return refuse(kErrorServiceMarkedForDelete);
        }
        s.markedForDeletion = true;
        s.startType = kServiceDisabled;
        return true;
    }

  private:
    FakeServiceControl::Service& service() { return *scm_.find(name_); }

    FakeServiceControl& scm_;
    std::wstring name_;
    std::uint32_t access_;
};

class FakeServiceManager final : public ServiceManager {
  public:
    FakeServiceManager(FakeServiceControl& scm, std::uint32_t access) : scm_(scm), access_(access) {
        ++scm_.openHandles;
    }
    ~FakeServiceManager() override { --scm_.openHandles; }
    FakeServiceManager(const FakeServiceManager&) = delete;
    FakeServiceManager& operator=(const FakeServiceManager&) = delete;

    std::unique_ptr<ServiceHandle> openService(const std::wstring& serviceName,
                                               std::uint32_t desiredAccess) override {
        scm_.opened.push_back({serviceName, desiredAccess});
        if (scm_.fail("scm.openService")) {
            return nullptr;
        }
        if (scm_.find(serviceName) == nullptr) {
            setLastError(kErrorServiceDoesNotExist);
            return nullptr;
        }
        return std::make_unique<FakeServiceHandle>(scm_, serviceName, desiredAccess);
    }

    std::unique_ptr<ServiceHandle> createService(const ServiceDefinition& definition) override {
        scm_.created.push_back(definition);
        if (scm_.fail("scm.createService")) {
            return nullptr;
        }
        if ((access_ & kScManagerCreateService) == 0) {
            setLastError(kErrorAccessDenied);
            return nullptr;
        }
        if (const FakeServiceControl::Service* existing = scm_.find(definition.serviceName)) {
            setLastError(existing->markedForDeletion ? kErrorServiceMarkedForDelete
                                                     : kErrorServiceExists);
            return nullptr;
        }
        FakeServiceControl::Service& s = scm_.services[definition.serviceName];
        s.displayName = definition.displayName;
        s.serviceType = definition.serviceType;
        s.startType = definition.startType;
        s.errorControl = definition.errorControl;
        s.binaryPathName = definition.binaryPathName;
        s.status.serviceType = definition.serviceType;
        return std::make_unique<FakeServiceHandle>(scm_, definition.serviceName,
                                                   definition.desiredAccess);
    }

  private:
    FakeServiceControl& scm_;
    std::uint32_t access_;
};

FakeServiceControl::Service& FakeServiceControl::addService(const std::wstring& name,
                                                            std::uint32_t state,
                                                            const std::wstring& binaryPathName) {
    Service& s = services[name];
    s.displayName = name;
    s.binaryPathName = binaryPathName;
    s.status.currentState = state;
    s.status.controlsAccepted = state == kServiceStopped ? 0 : kServiceAcceptStop;
    return s;
}

FakeServiceControl::Service* FakeServiceControl::find(const std::wstring& name) {
    const std::wstring folded = asciiLower(name);
    for (auto& [key, service] : services) {
        if (asciiLower(key) == folded) {
            return &service;
        }
    }
    return nullptr;
}

std::unique_ptr<ServiceManager> FakeServiceControl::openManager(std::uint32_t desiredAccess) {
    managerAccesses.push_back(desiredAccess);
    if (fail("scm.openManager")) {
        return nullptr;
    }
    return std::make_unique<FakeServiceManager>(*this, desiredAccess);
}

bool FakeServiceControl::fail(const char* operation) {
    if (auto error = faults.check(operation)) {
        setLastError(*error);
        return true;
    }
    return false;
}

void FakeServiceControl::released(const std::wstring& name) {
    for (auto entry = services.begin(); entry != services.end(); ++entry) {
        if (asciiLower(entry->first) == asciiLower(name)) {
            const Service& s = entry->second;
            if (s.markedForDeletion && s.openHandles == 0 &&
                s.status.currentState == kServiceStopped) {
                services.erase(entry);
            }
            return;
        }
    }
}

}  // namespace korin::testing
