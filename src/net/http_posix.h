#pragma once

// The stand-in HTTP adapter: WinHTTP's calls over libcurl.

#include "net/http.h"
#include "platform/registry.h"
#include "platform/standin/machine.h"

namespace korin {

// HTTPS of the stand-in machine over libcurl, on the machine's network
// (platform/standin/network.h: its hosts file, Root store and proxy route);
// streams the body as it arrives, holding at most a small buffer. Given the
// program's registry, a session goes through the machine's WinHTTP proxy
// setting.
class StandInHttp final : public Http {
  public:
    // WinHTTP's defaults: 60 s to connect, 30 s for each wait on the server.
    struct Timeouts {
        long connectMs = 60000;
        long receiveMs = 30000;
    };
    explicit StandInHttp(const standin::Machine& machine) : StandInHttp(machine, Timeouts{}) {}
    StandInHttp(const standin::Machine& machine, Registry& registry)
        : StandInHttp(machine, Timeouts{}, &registry) {}
    StandInHttp(const standin::Machine& machine, Timeouts timeouts, Registry* registry = nullptr);

    std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                      std::uint32_t accessType) override;

  private:
    standin::Machine machine_;
    Timeouts timeouts_;
    Registry* registry_;
};

}  // namespace korin
