#pragma once

// A scripted HTTP client: each object path answers with a body in chunks,
// any step can be made to fail, and every handle's life is recorded.

#include "fakes/fault_injector.h"
#include "net/http.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

class FakeHttp final : public Http {
  public:
    // What a server without the object answers.
    static constexpr char kNotFoundPage[] =
        "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>";

    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "open", "connect", "openRequest", "sendRequest", "receiveResponse", "queryDataAvailable",
        "readData",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    // The body of each object, in the chunks it arrives in.
    std::map<std::wstring, std::vector<std::string>> responses;
    // Objects whose body is one chunk, repeated for ever. After endlessLimit
    // chunks the fake ends it after all, so that a client that would read
    // for ever fails its test instead of hanging it.
    std::map<std::wstring, std::string> endless;
    int endlessLimit = 20000;
    // "open AGENT ACCESS", "connect SERVER PORT", "request VERB OBJECT FLAGS",
    // "send", "receive", "close request", "close connection", "close session".
    std::vector<std::wstring> events;

    // How many requests were opened for an object.
    int requestsFor(const std::wstring& object) const;

    std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                      std::uint32_t accessType) override;

  private:
    friend class FakeHttpSession;
    friend class FakeHttpConnection;
    friend class FakeHttpRequest;
    bool fail(const std::string& operation);
};

}  // namespace korin::testing
