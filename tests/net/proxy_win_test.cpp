// WinHTTP's default proxy under Wine, run by tests/windows/proxy_tests.sh:
// the prefix's WinHttpSettings names a proxy that is gone or refuses the
// tunnel, and the manifest download logs the code WinHTTP gives, which the
// script names (KORIN_TEST_PROXY_ERROR).

#include "fakes/fake_platform.h"
#include "net/http_win.h"
#include "net/manifest_download.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace korin {
namespace {

TEST(WinHttpsProxy, AFailingProxyFailsTheSendWithWinHttpsCode) {
    const char* error = std::getenv("KORIN_TEST_PROXY_ERROR");
    ASSERT_NE(error, nullptr) << "KORIN_TEST_PROXY_ERROR names the code WinHTTP is to give";
    const std::wstring code(error, error + std::char_traits<char>::length(error));
    testing::FakePlatform fake;
    WinHttp http;
    Platform platform = fake.platform();
    platform.http = &http;
    runtimeConfig().serverDomain = L"localhost";
    logOptions().verbose = true;
    std::string body;
    EXPECT_FALSE(httpsGetText(platform, body, L"/pub/x.xml"));
    EXPECT_EQ(fake.logEntries(),
              (std::vector<std::wstring>{L"[info] 1630 /pub/x.xml", L"[warning] 1403 " + code,
                                         L"[warning] 1407 " + code, L"[warning] 1408"}));
}

}  // namespace
}  // namespace korin
