#pragma once

// The Win32 HTTP adapter: WinHTTP, synchronous.

#include "net/http.h"

namespace korin {

// The platform's WinHTTP, synchronous, with its default options.
class WinHttp final : public Http {
  public:
    std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                      std::uint32_t accessType) override;
};

}  // namespace korin
