#pragma once

// The stand-in's COM runtime: it keeps what COM keeps about a process, the
// apartment each thread joined and how often, and whether the process's
// security is set, and answers each call as ole32 does.

#include "platform/com_runtime.h"

#include <map>
#include <mutex>
#include <thread>

namespace korin {

class StandInComRuntime final : public ComRuntime {
  public:
    HResult initializeEx(std::uint32_t flags) override;
    HResult initialize() override;
    HResult initializeSecurity(std::uint32_t authenticationLevel,
                               std::uint32_t impersonationLevel) override;
    void uninitialize() override;

    // Whether the calling thread is in an apartment, which CoCreateInstance
    // asks first (CO_E_NOTINITIALIZED otherwise).
    bool joined() const;

  private:
    struct Apartment {
        unsigned joins = 0;
        bool multithreaded = false;
    };
    mutable std::mutex mutex_;
    std::map<std::thread::id, Apartment> apartments_;
    bool securitySet_ = false;
};

}  // namespace korin
