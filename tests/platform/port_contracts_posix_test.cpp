// The stand-in adapters of one temporary machine (its bundle, as the service
// composes it) against the contracts the fakes and the Win32 adapters are held
// to as well. The HTTP contract runs beside the test server
// (net/http_posix_test.cpp).

#include "fixtures/temporary_machine_posix.h"
#include "platform/files_contract.h"
#include "platform/registry_contract.h"
#include "platform/service_control_contract.h"
#include "service/standin_platform_posix.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(StandInContracts, FilesRegistryAndServiceControl) {
    testing::TemporaryMachine machine;
    std::string error;
    ASSERT_TRUE(machine.create("contracts", error)) << error;
    auto standIn = machine.openPlatform(error);
    ASSERT_TRUE(standIn) << error;
    const Platform& platform = standIn->platform();
    ASSERT_TRUE(platform.files->createDirectory(L"C:\\Contract"));
    testing::holdsTheFilesContract(*platform.files, L"C:\\Contract");
    testing::holdsTheRegistryContract(*platform.registry, L"KorinContract");
    ASSERT_TRUE(standIn->facts().is64Bit);
    testing::keepsTheThirtyTwoBitView(*platform.registry, L"KorinContractView");
    testing::holdsTheServiceControlContract(*platform.serviceControl, L"KorinContractSvc");
}

}  // namespace
}  // namespace korin
