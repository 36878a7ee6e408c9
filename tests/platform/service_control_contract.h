#pragma once

// What every adapter of the Service Control Manager port answers, the fake's
// and the Win32 one's alike: one service's life from a fresh name to its
// deletion, with Windows' codes on the way.

#include "platform/last_error.h"
#include "platform/service_control.h"
#include "platform/error_codes.h"

#include <gtest/gtest.h>

#include <string>

namespace korin::testing {

inline constexpr std::uint32_t kScManagerConnect = 0x0001;

inline void holdsTheServiceControlContract(ServiceControl& control, const std::wstring& name) {
    const std::uint32_t all = kServiceAllAccess;
    const ServiceDefinition definition{name,
                                       L"Korin contract service",
                                       kServiceStart | kServiceStop,
                                       kServiceWin32OwnProcess,
                                       kServiceDemandStart,
                                       kServiceErrorNormal,
                                       L"\"C:\\Korin Contract\\svc.exe\""};
    {
        std::unique_ptr<ServiceManager> connected = control.openManager(kScManagerConnect);
        ASSERT_TRUE(connected);
        setLastError(0);
        EXPECT_FALSE(connected->createService(definition));
        EXPECT_EQ(lastError(), kErrorAccessDenied) << "creating without the right";
    }
    std::unique_ptr<ServiceManager> manager = control.openManager(kScManagerAllAccess);
    ASSERT_TRUE(manager);
    setLastError(0);
    EXPECT_FALSE(manager->openService(name, all));
    EXPECT_EQ(lastError(), kErrorServiceDoesNotExist) << "opening a service that is not there";

    std::unique_ptr<ServiceHandle> created = manager->createService(definition);
    ASSERT_TRUE(created) << lastError();
    setLastError(0);
    EXPECT_FALSE(manager->createService(definition));
    EXPECT_EQ(lastError(), kErrorServiceExists) << "creating it twice";
    setLastError(0);
    EXPECT_FALSE(created->deleteService());
    EXPECT_EQ(lastError(), kErrorAccessDenied) << "deleting through a handle without the right";
    created.reset();

    std::unique_ptr<ServiceHandle> service = manager->openService(name, all);
    ASSERT_TRUE(service);
    EXPECT_TRUE(service->changeConfig(kServiceNoChange, kServiceNoChange, kServiceNoChange,
                                      L"C:\\Korin\\svc.exe", L"Korin contract service 2"));
    EXPECT_TRUE(service->changeDescription(L"Keeps the contract."));
    ServiceStatus status;
    ASSERT_TRUE(service->queryStatus(status));
    EXPECT_EQ(status.currentState, kServiceStopped);
    EXPECT_EQ(status.serviceType, kServiceWin32OwnProcess);
    setLastError(0);
    EXPECT_FALSE(service->control(kServiceControlStop, status));
    EXPECT_EQ(lastError(), kErrorServiceNotActive) << "stopping a stopped service";
    EXPECT_TRUE(service->deleteService());
    setLastError(0);
    EXPECT_FALSE(service->deleteService());
    EXPECT_EQ(lastError(), kErrorServiceMarkedForDelete) << "deleting it twice";
    service.reset();

    setLastError(0);
    EXPECT_FALSE(manager->openService(name, all));
    EXPECT_EQ(lastError(), kErrorServiceDoesNotExist) << "gone once its last handle closed";
}

}  // namespace korin::testing
