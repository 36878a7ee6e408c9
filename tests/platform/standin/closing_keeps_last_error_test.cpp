// Closing a stand-in handle on the way out of a failed call keeps the code
// the caller is about to log, as the Win32 owners do.

#include "fixtures/temporary_machine_posix.h"
#include "net/http.h"
#include "platform/error_codes.h"
#include "platform/last_error.h"
#include "platform/standin/registry_db.h"
#include "service/standin_platform_posix.h"

#include <gtest/gtest.h>

#include <functional>

namespace korin {
namespace {

// Each case opens handles, fails one call with them open and returns the
// code that call left; its handles close as it returns.
struct Case {
    const char* what;
    std::function<std::uint32_t(const Platform&)> failWithHandlesOpen;
};

const Case kCases[] = {
    {"a write to a file opened for reading",
     [](const Platform& platform) -> std::uint32_t {
         auto file = platform.files->openFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts",
                                              FileOpenMode::ReadExisting);
         if (!file || file->write("x", 1)) {
             return kErrorSuccess;
         }
         return lastError();
     }},
    {"a listing read past its end",
     [](const Platform& platform) -> std::uint32_t {
         FindData data;
         auto find = platform.files->findFirstFile(L"C:\\Windows\\*", data);
         while (find && find->findNext(data)) {
         }
         return find ? lastError() : kErrorSuccess;
     }},
    {"a response awaited before the request was sent",
     [](const Platform& platform) -> std::uint32_t {
         auto session = platform.http->open(L"Korin handle test/1.0", 0);
         auto connection = session ? session->connect(L"localhost", 443) : nullptr;
         auto request = connection
                            ? connection->openRequest(L"GET", L"/never/sent", kHttpFlagSecure)
                            : nullptr;
         if (!request || request->receiveResponse()) {
             return kErrorSuccess;
         }
         return lastError();
     }},
};

TEST(StandInHandleOwners, ClosingOnTheWayOutKeepsTheFailedCallsLastError) {
    testing::TemporaryMachine folder;
    std::string error;
    ASSERT_TRUE(folder.create("closing", error)) << error;
    standin::Machine machine(folder.root());
    auto database = standin::RegistryDb::open(machine.registryFile(), error);
    ASSERT_NE(database, nullptr) << error;
    StandInPlatform standIn(std::move(machine), std::move(database));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        setLastError(kErrorSuccess);
        const std::uint32_t failed = c.failWithHandlesOpen(standIn.platform());
        EXPECT_NE(failed, kErrorSuccess);
        EXPECT_EQ(lastError(), failed);
    }
}

}  // namespace
}  // namespace korin
