// The Win32 adapter against the real Service Control Manager (Wine's under
// the windows test layer): the contract, and the configuration as the
// manager itself reports it.

#include "platform/service_control_contract.h"
#include "platform/service_control_win.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin {
namespace {

std::wstring uniqueName(const wchar_t* stem) {
    return stem + std::to_wstring(GetCurrentProcessId());
}

TEST(WinServiceControl, HoldsTheContract) {
    WinServiceControl scm;
    testing::holdsTheServiceControlContract(scm, uniqueName(L"KorinContractSvc"));
}

TEST(WinServiceControl, CreatesTheServiceAsDefined) {
    WinServiceControl scm;
    const std::wstring name = uniqueName(L"KorinDefinedSvc");
    const std::wstring path = L"\"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe\"";
    {
        auto manager = scm.openManager(kScManagerCreateService);
        ASSERT_TRUE(manager);
        ASSERT_TRUE(manager->createService({name, L"Korin defined service",
                                            kServiceStart | kServiceStop, kServiceWin32OwnProcess,
                                            kServiceDemandStart, kServiceErrorNormal, path}));
    }
    {
        auto manager = scm.openManager(kScManagerAllAccess);
        ASSERT_TRUE(manager);
        auto service = manager->openService(name, kServiceChangeConfig);
        ASSERT_TRUE(service);
        EXPECT_TRUE(service->changeDescription(L"Keeps the player current."));
    }

    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager);
    UniqueScHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service);
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigW(service.get(), config, needed, &needed)) << GetLastError();
    EXPECT_EQ(config->dwServiceType, DWORD{SERVICE_WIN32_OWN_PROCESS});
    EXPECT_EQ(config->dwStartType, DWORD{SERVICE_DEMAND_START});
    EXPECT_EQ(config->dwErrorControl, DWORD{SERVICE_ERROR_NORMAL});
    EXPECT_EQ(std::wstring(config->lpBinaryPathName), path);
    EXPECT_EQ(std::wstring(config->lpServiceStartName), L"LocalSystem");
    EXPECT_EQ(std::wstring(config->lpDisplayName), L"Korin defined service");

    QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<unsigned char> described(needed);
    ASSERT_TRUE(QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, described.data(),
                                     needed, &needed))
        << GetLastError();
    EXPECT_EQ(
        std::wstring(reinterpret_cast<SERVICE_DESCRIPTIONW*>(described.data())->lpDescription),
        L"Keeps the player current.");
    EXPECT_TRUE(DeleteService(service.get()));
}

}  // namespace
}  // namespace korin
