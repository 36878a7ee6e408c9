#include "net/http_posix.h"

#include "platform/standin/network.h"
#include "ground/text.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string_view>
#include <vector>

namespace korin {

namespace {

// Body bytes held before the transfer is paused until the caller reads.
constexpr std::size_t kBufferLimit = 64 * 1024;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct RequestSetup {
    std::string url;
    std::string userAgent;
    std::vector<std::string> resolve;    // "name:port:address" each
    std::vector<std::string> connectTo;  // "name::address:" each
    std::string proxy;                   // "host:port" of the HTTPS proxy, or empty
    std::string rootsFile;
    StandInHttp::Timeouts timeouts;
};

class CurlRequest final : public HttpRequest {
  public:
    explicit CurlRequest(RequestSetup setup) : setup_(std::move(setup)) {}
    ~CurlRequest() override {
        if (added_) {
            curl_multi_remove_handle(multi_.get(), easy_.get());
        }
    }

    // Prepares the transfer; false (with the last error set) when libcurl
    // cannot.
    bool init() {
        easy_.reset(curl_easy_init());
        multi_.reset(curl_multi_init());
        if (!easy_ || !multi_) {
            setLastError(kErrorNotEnoughMemory);
            return false;
        }
        if (!appendAll(resolve_, setup_.resolve) || !appendAll(connectTo_, setup_.connectTo)) {
            setLastError(kErrorNotEnoughMemory);
            return false;
        }
        // WinHTTP without accept types sends no Accept header.
        headers_.reset(curl_slist_append(nullptr, "Accept:"));
        CURL* easy = easy_.get();
        bool ok = curl_easy_setopt(easy, CURLOPT_URL, setup_.url.c_str()) == CURLE_OK;
        // The target goes out as WinHTTP would send it: no dot segments removed.
        ok = ok && curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_USERAGENT, setup_.userAgent.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_RESOLVE, resolve_.get()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo_.get()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L) == CURLE_OK;
        // The machine's WinHTTP setting alone decides, never the host's
        // environment: HTTPS goes through a proxy as a CONNECT tunnel.
        ok = ok && curl_easy_setopt(easy, CURLOPT_PROXY, setup_.proxy.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK;
        if (!setup_.proxy.empty()) {
            ok = ok && curl_easy_setopt(easy, CURLOPT_PROXYTYPE, CURLPROXY_HTTP) == CURLE_OK;
            ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPPROXYTUNNEL, 1L) == CURLE_OK;
            // The proxy's answer to the CONNECT is not the server's response.
            ok = ok && curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
        }
        ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_CAINFO, setup_.rootsFile.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
        // A bound for connection and handshake together; sendRequest holds
        // each to its own.
        ok = ok &&
             curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                              setup_.timeouts.connectMs + setup_.timeouts.receiveMs) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &CurlRequest::onOpenSocket) ==
                       CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION,
                                    &CurlRequest::onCloseSocket) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this) == CURLE_OK;
        ok = ok &&
             curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CurlRequest::onSending) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_PREREQDATA, this) == CURLE_OK;
        ok = ok &&
             curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlRequest::onHeader) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERDATA, this) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlRequest::onBody) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK;
        if (!ok) {
            setLastError(kErrorWinHttpInternalError);
        }
        return ok;
    }

    bool sendRequest() override {
        if (state_ != State::Opened) {
            return refuse();
        }
        if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
            return failWith(kErrorWinHttpInternalError);
        }
        added_ = true;
        // As WinHTTP: the connect time-out bounds the TCP connection, the
        // send and receive time-outs the TLS handshake after it.
        if (!waitFor([this] { return sending_ || connected(); }, setup_.timeouts.connectMs) ||
            !waitFor([this] { return sending_; }, setup_.timeouts.receiveMs)) {
            return false;
        }
        state_ = State::Sent;
        return true;
    }

    bool receiveResponse() override {
        if (state_ != State::Sent) {
            return refuse();
        }
        if (!waitFor([this] { return headersDone_; }, setup_.timeouts.receiveMs)) {
            return false;
        }
        state_ = State::Received;
        return true;
    }

    bool queryDataAvailable(std::uint32_t& size) override {
        if (!readable() || !waitForBody()) {
            return false;
        }
        size = static_cast<std::uint32_t>(std::min<std::size_t>(pending(), UINT32_MAX));
        return true;
    }

    bool readData(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        if (!readable()) {
            return false;
        }
        if (size == 0) {
            return true;
        }
        if (!waitForBody()) {
            return false;
        }
        const std::size_t count = std::min<std::size_t>(size, pending());
        std::copy_n(buffer_.data() + offset_, count, static_cast<char*>(buffer));
        offset_ += count;
        bytesRead = static_cast<std::uint32_t>(count);
        if (offset_ == buffer_.size()) {
            buffer_.clear();
            offset_ = 0;
        }
        if (paused_ && pending() < kBufferLimit) {
            paused_ = false;
            curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
        }
        return true;
    }

  private:
    enum class State { Opened, Sent, Received, Failed };

    static bool appendAll(std::unique_ptr<curl_slist, ListDeleter>& list,
                          const std::vector<std::string>& entries) {
        for (const std::string& entry : entries) {
            // The list keeps its head; a failed append leaves it whole.
            curl_slist* head = list.release();
            curl_slist* longer = curl_slist_append(head, entry.c_str());
            list.reset(longer != nullptr ? longer : head);
            if (longer == nullptr) {
                return false;
            }
        }
        return true;
    }

    static int onSending(void* self, char*, char*, int, int) {
        static_cast<CurlRequest*>(self)->sending_ = true;
        return CURL_PREREQFUNC_OK;
    }

    // The end of a header block that is neither interim nor a redirect that
    // is being followed means the response has arrived.
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& request = *static_cast<CurlRequest*>(self);
        const std::string_view line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            const auto space = line.find(' ');
            request.status_ = space == std::string_view::npos
                                  ? 0
                                  : std::atoi(std::string(line.substr(space + 1, 3)).c_str());
            request.location_ = false;
        } else if (line.size() >= 9 &&
                   (line.substr(0, 9) == "Location:" || line.substr(0, 9) == "location:")) {
            request.location_ = true;
        } else if (line == "\r\n" || line == "\n") {
            const bool interim = request.status_ >= 100 && request.status_ < 200;
            const bool redirect =
                request.status_ >= 300 && request.status_ < 400 && request.location_;
            if (!interim && !redirect) {
                request.headersDone_ = true;
            }
        }
        return size * count;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& request = *static_cast<CurlRequest*>(self);
        if (request.pending() >= kBufferLimit) {
            request.paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        try {
            request.buffer_.append(data, size * count);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return size * count;
    }

    std::size_t pending() const { return buffer_.size() - offset_; }

    // The request's sockets are its own, so that the end of the TCP
    // connection (to the server or the proxy) can be told from the TLS
    // handshake after it.
    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
        const curl_socket_t socket =
            ::socket(address->family, address->socktype, address->protocol);
        static_cast<CurlRequest*>(self)->socket_ = socket;
        return socket;
    }
    static int onCloseSocket(void* self, curl_socket_t socket) {
        auto& request = *static_cast<CurlRequest*>(self);
        if (request.socket_ == socket) {
            request.socket_ = CURL_SOCKET_BAD;
        }
        return close(socket);
    }

    // The TCP connection (to the server or the proxy) is up.
    bool connected() const {
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        return socket_ != CURL_SOCKET_BAD &&
               getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &size) == 0;
    }

    // The transfer failed: every later call fails the same way.
    bool failWith(std::uint32_t error) {
        state_ = State::Failed;
        failure_ = error;
        setLastError(error);
        return false;
    }

    // A call out of order leaves the request as it was.
    bool refuse() {
        setLastError(state_ == State::Failed ? failure_ : kErrorWinHttpIncorrectHandleState);
        return false;
    }

    bool readable() {
        if (state_ == State::Received) {
            return true;
        }
        return refuse();
    }

    // Buffered bytes, or the end of a body that arrived whole.
    bool waitForBody() {
        return pending() > 0 ||
               waitFor([this] { return pending() > 0; }, setup_.timeouts.receiveMs);
    }

    // Drives the transfer until ready() holds or the transfer ends; false
    // with WinHTTP's error when it failed or nothing came in time. A
    // transfer that ended well satisfies every wait.
    template <typename Ready>
    bool waitFor(Ready ready, long timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!ready() && !done_) {
            int running = 0;
            if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
                return failWith(kErrorWinHttpInternalError);
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    done_ = true;
                    result_ = message->data.result;
                }
            }
            if (ready() || done_) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return failWith(kErrorWinHttpTimeout);
            }
            curl_multi_poll(multi_.get(), nullptr, 0,
                            static_cast<int>(std::min<long long>(left.count(), 1000)), nullptr);
        }
        if (ready()) {
            return true;
        }
        if (result_ != CURLE_OK) {
            return failWith(standin::winHttpErrorOfTransfer(result_, proxyAnswer()));
        }
        return true;
    }

    // The proxy's answer to the CONNECT, 0 for none.
    long proxyAnswer() {
        long code = 0;
        return !setup_.proxy.empty() &&
                       curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &code) == CURLE_OK
                   ? code
                   : 0;
    }

    RequestSetup setup_;
    std::unique_ptr<CURL, EasyDeleter> easy_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    std::unique_ptr<curl_slist, ListDeleter> resolve_;
    std::unique_ptr<curl_slist, ListDeleter> connectTo_;
    std::unique_ptr<curl_slist, ListDeleter> headers_;
    State state_ = State::Opened;
    std::uint32_t failure_ = 0;
    bool added_ = false;
    bool sending_ = false;
    bool headersDone_ = false;
    bool location_ = false;
    int status_ = 0;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    bool paused_ = false;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    std::string buffer_;
    std::size_t offset_ = 0;
};

class CurlConnection final : public HttpConnection {
  public:
    CurlConnection(RequestSetup base, std::string server, std::uint16_t port)
        : base_(std::move(base)), server_(std::move(server)), port_(port) {}

    std::unique_ptr<HttpRequest> openRequest(const std::wstring& verb, const std::wstring& object,
                                             std::uint32_t flags) override {
        // The service only GETs over TLS.
        if (verb != L"GET" || (flags & kHttpFlagSecure) == 0) {
            setLastError(kErrorWinHttpInvalidUrl);
            return nullptr;
        }
        RequestSetup setup = base_;
        setup.url =
            "https://" + server_ + ":" + std::to_string(port_) + standin::requestTarget(object);
        auto request = newHttpObject<CurlRequest>(std::move(setup));
        if (!request || !request->init()) {
            return nullptr;
        }
        return request;
    }

  private:
    RequestSetup base_;
    std::string server_;
    std::uint16_t port_;
};

class CurlSession final : public HttpSession {
  public:
    CurlSession(RequestSetup base, std::string hostsText, WinHttpProxySetting proxySetting)
        : base_(std::move(base)),
          hostsText_(std::move(hostsText)),
          proxySetting_(std::move(proxySetting)) {}

    std::unique_ptr<HttpConnection> connect(const std::wstring& server,
                                            std::uint16_t port) override {
        const std::string name = utf8FromWide(server);
        if (name.empty() || name.find_first_of("/:@ \t\r\n") != std::string::npos) {
            setLastError(kErrorWinHttpInvalidUrl);
            return nullptr;
        }
        RequestSetup base = base_;
        standin::ConnectionRoute route = standin::connectionRoute(proxySetting_, hostsText_, name);
        base.proxy = std::move(route.proxy);
        base.resolve = std::move(route.resolve);
        base.connectTo = std::move(route.connectTo);
        return newHttpObject<CurlConnection>(std::move(base), name, port);
    }

  private:
    RequestSetup base_;
    std::string hostsText_;
    WinHttpProxySetting proxySetting_;
};

}  // namespace

StandInHttp::StandInHttp(const standin::Machine& machine, Timeouts timeouts, Registry* registry)
    : machine_(machine), timeouts_(timeouts), registry_(registry) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::unique_ptr<HttpSession> StandInHttp::open(const std::wstring& userAgent,
                                               std::uint32_t accessType) {
    if (accessType != kHttpAccessTypeDefaultProxy) {
        setLastError(kErrorInvalidParameter);
        return nullptr;
    }
    RequestSetup base;
    base.userAgent = utf8FromWide(userAgent);
    base.rootsFile = machine_.trustedRootsFile();
    base.timeouts = timeouts_;
    return newHttpObject<CurlSession>(std::move(base), standin::readHostsFile(machine_),
                                      standin::sessionProxySetting(registry_));
}

}  // namespace korin
