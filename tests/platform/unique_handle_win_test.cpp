// Closing a handle on the way out of a failed call keeps the code the caller
// is about to log (run under Wine).

#include "net/http_win.h"
#include "platform/unique_handle_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <utility>

namespace korin {
namespace {

constexpr DWORD kCallersError = ERROR_NOT_ENOUGH_MEMORY;

// Closes that set a last error of their own, and count that they ran.
int stubCloses = 0;

// A COM object is never deleted through its interface, only released.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct ErrorSettingInterface final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++stubCloses;
        SetLastError(ERROR_SUCCESS);
        return 1;
    }
};
#pragma GCC diagnostic pop

// The shape of the package-trust owners: traits that close through a library.
struct ErrorSettingLibrary {
    void close(int) {
        ++stubCloses;
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
struct LibraryTraits {
    ErrorSettingLibrary* library = nullptr;
    static int invalid() { return 0; }
    void close(int handle) const { library->close(handle); }
};

// Not handles: CloseHandle fails with ERROR_INVALID_HANDLE.
HANDLE bogusHandle(std::uintptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

struct OwnerCase {
    const char* owner;
    void (*holdAndLeave)();  // sets kCallersError while the owner still holds
    int stubCloses;
};

// clang-format off
const OwnerCase kOwnerCases[] = {
    {"UniqueHandle",
     [] { UniqueHandle held(bogusHandle(0x7ff0)); SetLastError(kCallersError); }, 0},
    {"UniqueProcessInformation",
     [] {
         UniqueProcessInformation held;
         PROCESS_INFORMATION* info = held.put();
         info->hProcess = bogusHandle(0x7ff0);
         info->hThread = bogusHandle(0x7ff4);
         SetLastError(kCallersError);
     }, 0},
    {"ComPtr",
     [] { static ErrorSettingInterface stub; ComPtr<IUnknown> held(&stub); SetLastError(kCallersError); }, 1},
    {"UniqueResource with a library",
     [] {
         ErrorSettingLibrary library;
         UniqueResource<int, LibraryTraits> held(7, LibraryTraits{&library});
         UniqueResource<int, LibraryTraits> moved = std::move(held);
         SetLastError(kCallersError);
     }, 1},
};
// clang-format on

TEST(WinHandleOwners, ClosingOnTheWayOutKeepsTheLastError) {
    for (const OwnerCase& c : kOwnerCases) {
        stubCloses = 0;
        c.holdAndLeave();
        EXPECT_EQ(GetLastError(), kCallersError) << c.owner;
        EXPECT_EQ(stubCloses, c.stubCloses) << c.owner;
    }
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
