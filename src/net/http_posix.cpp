#include "net/http_posix.h"

#include "net/winhttp_proxy_setting.h"
#include "support/text.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>
#include <vector>

namespace korin {

namespace {

constexpr wchar_t kHostsFile[] = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
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

std::uint32_t winHttpErrorOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrorWinHttpNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return kErrorWinHttpCannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return kErrorWinHttpTimeout;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return kErrorWinHttpSecureFailure;
        case CURLE_URL_MALFORMAT:
            return kErrorWinHttpInvalidUrl;
        // More than WinHTTP's 10 redirects, or one to another scheme than
        // https (only https is allowed, and only redirects change it).
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrorWinHttpRedirectFailed;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_GOT_NOTHING:
        case CURLE_BAD_CONTENT_ENCODING:
            return kErrorWinHttpInvalidServerResponse;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return kErrorWinHttpConnectionError;
        case CURLE_OUT_OF_MEMORY:
        case CURLE_WRITE_ERROR:
            return kErrorNotEnoughMemory;
        default:
            return kErrorWinHttpInternalError;
    }
}

// The request target WinHTTP sends for an object name (seen on the wire):
// the name in UTF-8 (an unpaired surrogate as U+FFFD), a "/" put in front
// unless it starts with one, and every byte that is a control, a space,
// not ASCII or one of "#<>[\]^`{|} escaped as %XX. "%" and "?" go as they
// are, so the server sees a query where the name has one, never a fragment.
std::string escapedObject(const std::wstring& object) {
    static const char kHex[] = "0123456789ABCDEF";
    static const std::string_view kUnsafe = "\"#<>[\\]^`{|}";
    std::string escaped = object.empty() || object[0] != L'/' ? "/" : "";
    for (unsigned char c : utf8FromWide(object)) {
        if (c <= 0x20 || c >= 0x7F || kUnsafe.find(static_cast<char>(c)) != kUnsafe.npos) {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0xF];
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
            return failWith(refusedByProxy() ? kErrorWinHttpSecureChannelError
                                             : winHttpErrorOf(result_));
        }
        return true;
    }

    // A proxy that answered the CONNECT with anything but 2xx: WinHTTP then
    // fails the send as a broken secure channel.
    bool refusedByProxy() {
        long code = 0;
        return !setup_.proxy.empty() &&
               curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &code) == CURLE_OK &&
               code != 0 && (code < 200 || code > 299);
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
        setup.url = "https://" + server_ + ":" + std::to_string(port_) + escapedObject(object);
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
        // Through a proxy the server's name travels in the CONNECT and the
        // proxy resolves it; the machine resolves only the proxy's name.
        base.proxy = httpsProxyFor(proxySetting_, name);
        if (base.proxy.empty()) {
            // Every connection the request makes, a redirect's to another
            // host or port too, goes where the machine's hosts file says.
            for (const auto& [alias, address] : hostsFileEntries(hostsText_)) {
                base.connectTo.push_back(alias + "::" + bracketed(address) + ":");
            }
        } else {
            const auto colon = base.proxy.rfind(':');
            std::string proxyHost = base.proxy.substr(0, colon);
            if (proxyHost.size() > 2 && proxyHost.front() == '[') {
                proxyHost = proxyHost.substr(1, proxyHost.size() - 2);
            }
            addResolve(base, proxyHost, base.proxy.substr(colon + 1));
        }
        return newHttpObject<CurlConnection>(std::move(base), name, port);
    }

  private:
    static std::string bracketed(const std::string& address) {
        return address.find(':') != std::string::npos ? "[" + address + "]" : address;
    }

    void addResolve(RequestSetup& setup, const std::string& name, const std::string& port) const {
        const std::string address = hostsFileAddress(hostsText_, name);
        if (!address.empty()) {
            setup.resolve.push_back(name + ":" + port + ":" + bracketed(address));
        }
    }

    RequestSetup base_;
    std::string hostsText_;
    WinHttpProxySetting proxySetting_;
};

}  // namespace

std::vector<std::pair<std::string, std::string>> hostsFileEntries(const std::string& hostsText) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::istringstream lines(hostsText);
    std::string line;
    while (std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string address;
        std::string alias;
        words >> address;
        while (words >> alias) {
            alias = utf8FromWide(asciiLower(wideFromUtf8(alias)));
            const bool named = std::any_of(entries.begin(), entries.end(),
                                           [&](const auto& entry) { return entry.first == alias; });
            if (!named) {
                entries.emplace_back(alias, address);
            }
        }
    }
    return entries;
}

std::string hostsFileAddress(const std::string& hostsText, const std::string& name) {
    const std::string wanted = utf8FromWide(asciiLower(wideFromUtf8(name)));
    for (const auto& [alias, address] : hostsFileEntries(hostsText)) {
        if (alias == wanted) {
            return address;
        }
    }
    return {};
}

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
    // WinHTTP reads the machine's default proxy when the session opens; a
    // missing or malformed setting means direct access.
    WinHttpProxySetting proxySetting;
    long status = 0;
    if (registry_ != nullptr && !readWinHttpProxySetting(*registry_, proxySetting, status)) {
        proxySetting = directAccessSetting();
    }
    RequestSetup base;
    base.userAgent = utf8FromWide(userAgent);
    base.rootsFile = machine_.trustedRootsFile();
    base.timeouts = timeouts_;
    // The machine's DNS client reads the hosts file without redirection.
    return newHttpObject<CurlSession>(
        std::move(base), readFile(machine_.hostPath(kHostsFile, false)), std::move(proxySetting));
}

}  // namespace korin
