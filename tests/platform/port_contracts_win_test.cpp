// The Win32 adapters (under Wine in the windows test layer) against the
// contracts the fakes and the stand-in are held to as well. The HTTP
// contract runs beside the test server (net/https_win_test.cpp).

#include "platform/files_win.h"
#include "platform/registry_win.h"
#include "platform/files_contract.h"
#include "platform/registry_contract.h"
#include "trust/real_crypto.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace korin {
namespace {

TEST(WinContracts, FilesAndRegistry) {
    // Names of this process alone: the prefix outlives a run.
    const std::wstring process = std::to_wstring(GetCurrentProcessId());
    WinFiles files;
    std::wstring temp;
    ASSERT_TRUE(files.getTempPath(temp));
    const std::wstring folder = temp + L"KorinContract" + process;
    ASSERT_TRUE(files.createDirectory(folder)) << GetLastError();
    testing::holdsTheFilesContract(files, folder, testing::runningUnderWine());
    EXPECT_TRUE(files.removeDirectory(folder)) << GetLastError();

    WinRegistry registry;
    testing::holdsTheRegistryContract(registry, L"KorinContract" + process);
    testing::keepsTheThirtyTwoBitView(registry, L"KorinContractView" + process);
}

}  // namespace
}  // namespace korin
