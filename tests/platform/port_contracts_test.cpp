// The fakes against the contracts the stand-in and the Win32 adapters are
// held to as well, so that a fake cannot drift from Windows unseen.

#include "fakes/fake_platform.h"
#include "net/http_contract.h"
#include "platform/files_contract.h"
#include "platform/registry_contract.h"

#include <gtest/gtest.h>

namespace korin {
namespace {

TEST(FakeContracts, FilesRegistryAndHttp) {
    testing::FakePlatform fake;
    fake.files.addFolder(L"C:\\Contract");
    testing::holdsTheFilesContract(fake.files, L"C:\\Contract");
    testing::holdsTheRegistryContract(fake.registry, L"KorinContract");
    EXPECT_FALSE(fake.registry.hasKey(L"HKLM\\SOFTWARE\\KorinContract"));
    // The fake keeps one view of the registry (its tests put values where a
    // view leads), so keepsTheThirtyTwoBitView does not apply to it.

    // The fake serves canned bodies and resolves no names.
    fake.http.responses[L"/contract.xml"] = {"<con", "tract/>"};
    testing::holdsTheHttpContract(fake.http,
                                  testing::httpCases(L"localhost", L"/contract.xml", "<contract/>",
                                                     L"/missing.xml", L"", L""));
}

}  // namespace
}  // namespace korin
