#pragma once

// The port of the platform's HTTP client, shaped like WinHTTP: a session
// opens connections, a connection opens requests, a request is sent, its
// response received and its body read as the server delivers it. Destroying
// an object closes its handle (WinHttpCloseHandle). Failures return false or
// null and set the thread's last error to WinHTTP's code.

#include "platform/last_error.h"

#include "platform/error_codes.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace korin {

inline constexpr std::uint32_t kHttpAccessTypeDefaultProxy = 0;
inline constexpr std::uint16_t kHttpsPort = 443;
inline constexpr std::uint32_t kHttpFlagSecure = 0x00800000;

// For adapters: a handle object, or null with ERROR_NOT_ENOUGH_MEMORY.
template <typename T, typename... Args>
std::unique_ptr<T> newHttpObject(Args&&... args) {
    std::unique_ptr<T> object(new (std::nothrow) T(std::forward<Args>(args)...));
    if (!object) {
        setLastError(kErrorNotEnoughMemory);
    }
    return object;
}

class HttpRequest {
  public:
    virtual ~HttpRequest() = default;
    // WinHttpSendRequest without headers or body.
    virtual bool sendRequest() = 0;
    // WinHttpReceiveResponse: waits for the response headers.
    virtual bool receiveResponse() = 0;
    // WinHttpQueryDataAvailable: waits until body bytes are there; 0 at the end.
    virtual bool queryDataAvailable(std::uint32_t& size) = 0;
    // WinHttpReadData: up to size bytes of the body.
    virtual bool readData(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) = 0;
};

class HttpConnection {
  public:
    virtual ~HttpConnection() = default;
    // WinHttpOpenRequest without version, referrer or accept types.
    virtual std::unique_ptr<HttpRequest> openRequest(const std::wstring& verb,
                                                     const std::wstring& object,
                                                     std::uint32_t flags) = 0;
};

class HttpSession {
  public:
    virtual ~HttpSession() = default;
    // WinHttpConnect.
    virtual std::unique_ptr<HttpConnection> connect(const std::wstring& server,
                                                    std::uint16_t port) = 0;
};

class Http {
  public:
    virtual ~Http() = default;
    // WinHttpOpen without proxy name, bypass list or flags (synchronous).
    virtual std::unique_ptr<HttpSession> open(const std::wstring& userAgent,
                                              std::uint32_t accessType) = 0;
};

}  // namespace korin
