#pragma once

#include "net/http.h"
#include "platform/standin/machine.h"

namespace korin {

// HTTPS of the stand-in machine over libcurl: trusts only the machine's Root
// store, resolves host names through its hosts file first, and streams the
// body as it arrives, holding at most a small buffer.
class StandInHttp final : public Http {
  public:
    // WinHTTP's defaults: 60 s to connect, 30 s for each wait on the server.
    struct Timeouts {
        long connectMs = 60000;
        long receiveMs = 30000;
    };
    explicit StandInHttp(const standin::Machine& machine) : StandInHttp(machine, Timeouts{}) {}
    StandInHttp(const standin::Machine& machine, Timeouts timeouts);

    std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                      std::uint32_t accessType) override;

  private:
    standin::Machine machine_;
    Timeouts timeouts_;
};

// The address the hosts file gives a name ("" when it names none).
std::string hostsFileAddress(const std::string& hostsText, const std::string& name);

}  // namespace korin
