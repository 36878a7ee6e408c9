#pragma once

// The port of the COM runtime (ole32): joining an apartment, the process's
// security, leaving. Results are HRESULTs as plain numbers (`HResult`, in
// platform/error_codes.h); COM does not set the thread's last error, and the
// adapters leave it as the call left it. Objects are created by the port
// that owns their interfaces (the Task Scheduler's first method is its
// CoCreateInstance), so that a typed object comes back and no GUID or
// interface pointer reaches the core.

#include "platform/error_codes.h"

#include <cstdint>

namespace korin {

inline constexpr std::uint32_t kCoinitMultithreaded = 0x0;
inline constexpr std::uint32_t kCoinitApartmentThreaded = 0x2;
inline constexpr std::uint32_t kRpcCAuthnLevelPktPrivacy = 6;
inline constexpr std::uint32_t kRpcCImpLevelImpersonate = 3;

class ComRuntime {
  public:
    virtual ~ComRuntime() = default;
    // CoInitializeEx(NULL, flags): S_FALSE when already joined, RPC_E_CHANGED_MODE
    // for the other apartment kind; every success needs an uninitialize.
    virtual HResult initializeEx(std::uint32_t flags) = 0;
    // CoInitialize(NULL): a single-threaded apartment.
    virtual HResult initialize() = 0;
    // CoInitializeSecurity(NULL, -1, NULL, NULL, authenticationLevel,
    // impersonationLevel, NULL, EOAC_NONE, NULL): RPC_E_TOO_LATE once set.
    virtual HResult initializeSecurity(std::uint32_t authenticationLevel,
                                       std::uint32_t impersonationLevel) = 0;
    // CoUninitialize.
    virtual void uninitialize() = 0;
};

}  // namespace korin
