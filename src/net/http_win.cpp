#include "net/http_win.h"

#include "platform/unique_handle_win.h"

#include <winhttp.h>

namespace korin {

namespace {

struct InternetHandleTraits {
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET handle) { WinHttpCloseHandle(handle); }
};
using UniqueInternetHandle = UniqueResource<HINTERNET, InternetHandleTraits>;

class WinHttpRequest final : public HttpRequest {
  public:
    explicit WinHttpRequest(UniqueInternetHandle handle) : handle_(std::move(handle)) {}

    bool sendRequest() override {
        return WinHttpSendRequest(handle_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                  WINHTTP_NO_REQUEST_DATA, 0, 0, 0) != FALSE;
    }
    bool receiveResponse() override {
        return WinHttpReceiveResponse(handle_.get(), nullptr) != FALSE;
    }
    bool queryDataAvailable(std::uint32_t& size) override {
        DWORD available = 0;
        const bool ok = WinHttpQueryDataAvailable(handle_.get(), &available) != FALSE;
        size = available;
        return ok;
    }
    bool readData(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        DWORD read = 0;
        const bool ok = WinHttpReadData(handle_.get(), buffer, size, &read) != FALSE;
        bytesRead = read;
        return ok;
    }

  private:
    UniqueInternetHandle handle_;
};

class WinHttpConnection final : public HttpConnection {
  public:
    explicit WinHttpConnection(UniqueInternetHandle handle) : handle_(std::move(handle)) {}

    std::unique_ptr<HttpRequest> openRequest(const std::wstring& verb, const std::wstring& object,
                                             std::uint32_t flags) override {
        UniqueInternetHandle request(WinHttpOpenRequest(handle_.get(), verb.c_str(), object.c_str(),
                                                        nullptr, WINHTTP_NO_REFERER,
                                                        WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
        if (!request) {
            return nullptr;
        }
        return newHttpObject<WinHttpRequest>(std::move(request));
    }

  private:
    UniqueInternetHandle handle_;
};

class WinHttpSession final : public HttpSession {
  public:
    explicit WinHttpSession(UniqueInternetHandle handle) : handle_(std::move(handle)) {}

    std::unique_ptr<HttpConnection> connect(const std::wstring& server,
                                            std::uint16_t port) override {
        UniqueInternetHandle connection(WinHttpConnect(handle_.get(), server.c_str(), port, 0));
        if (!connection) {
            return nullptr;
        }
        return newHttpObject<WinHttpConnection>(std::move(connection));
    }

  private:
    UniqueInternetHandle handle_;
};

}  // namespace

std::unique_ptr<HttpSession> WinHttp::open(const std::wstring& userAgent,
                                           std::uint32_t accessType) {
    UniqueInternetHandle session(WinHttpOpen(userAgent.c_str(), accessType, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return nullptr;
    }
    return newHttpObject<WinHttpSession>(std::move(session));
}

}  // namespace korin
