#pragma once

// The Win32 COM runtime adapter.

#include "platform/com_runtime.h"

namespace korin {

// ole32's apartment and security calls, as they are.
class WinComRuntime final : public ComRuntime {
  public:
    HResult initializeEx(std::uint32_t flags) override;
    HResult initialize() override;
    HResult initializeSecurity(std::uint32_t authenticationLevel,
                               std::uint32_t impersonationLevel) override;
    void uninitialize() override;
};

}  // namespace korin
