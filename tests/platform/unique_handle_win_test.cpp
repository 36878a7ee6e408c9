// Closing a handle on the way out of a failed call keeps the code the caller
// is about to log (run under Wine).

#include "net/http_win.h"
#include "platform/unique_handle_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

namespace korin {
namespace {

constexpr DWORD kCallersError = ERROR_NOT_ENOUGH_MEMORY;

TEST(WinHandleOwners, AFailingCloseKeepsTheLastError) {
    {
        // Not a handle: CloseHandle fails with ERROR_INVALID_HANDLE.
        UniqueHandle bogus(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0)));
        SetLastError(kCallersError);
    }
    EXPECT_EQ(GetLastError(), kCallersError);
}

TEST(WinHandleOwners, ClosingWinHttpHandlesKeepsTheLastError) {
    // WinHttpCloseHandle sets ERROR_SUCCESS when it succeeds.
    WinHttp http;
    std::unique_ptr<HttpSession> session = http.open(L"Korin handle test/1.0", 0);
    ASSERT_TRUE(session);
    std::unique_ptr<HttpConnection> connection = session->connect(L"localhost", 443);
    ASSERT_TRUE(connection);
    std::unique_ptr<HttpRequest> request =
        connection->openRequest(L"GET", L"/never/sent", 0x00800000);
    ASSERT_TRUE(request);
    SetLastError(kCallersError);
    request.reset();
    connection.reset();
    session.reset();
    EXPECT_EQ(GetLastError(), kCallersError);
}

}  // namespace
}  // namespace korin
