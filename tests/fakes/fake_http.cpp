#include "fakes/fake_http.h"

#include "platform/last_error.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace korin::testing {

namespace {

// What a handle's close or a call records: bookkeeping, never a failure.
void record(FakeHttp& http, const wchar_t* event) {
    const AllocationFaultsPaused bookkeeping;
    http.events.push_back(event);
}

}  // namespace

class FakeHttpRequest final : public HttpRequest {
  public:
    FakeHttpRequest(FakeHttp& http, std::vector<std::string> chunks, int repeats)
        : http_(http), chunks_(std::move(chunks)), repeats_(repeats) {}
    ~FakeHttpRequest() override { record(http_, L"close request"); }

    bool sendRequest() override {
        record(http_, L"send");
        return !http_.fail("sendRequest");
    }
    bool receiveResponse() override {
        record(http_, L"receive");
        return !http_.fail("receiveResponse");
    }
    bool queryDataAvailable(std::uint32_t& size) override {
        if (http_.fail("queryDataAvailable")) {
            return false;
        }
        size = chunk_ < chunks_.size()
                   ? static_cast<std::uint32_t>(chunks_[chunk_].size() - offset_)
                   : 0;
        return true;
    }
    bool readData(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        if (http_.fail("readData")) {
            // What the failed read would have delivered is lost.
            if (chunk_ < chunks_.size()) {
                ++chunk_;
                offset_ = 0;
            }
            return false;
        }
        if (chunk_ < chunks_.size()) {
            const std::string& chunk = chunks_[chunk_];
            bytesRead =
                static_cast<std::uint32_t>(std::min<std::size_t>(size, chunk.size() - offset_));
            std::memcpy(buffer, chunk.data() + offset_, bytesRead);
            offset_ += bytesRead;
            if (offset_ == chunk.size()) {
                offset_ = 0;
                if (--repeats_ <= 0) {
                    ++chunk_;
                }
            }
        }
        return true;
    }

  private:
    FakeHttp& http_;
    std::vector<std::string> chunks_;
    int repeats_;  // of the current chunk
    std::size_t chunk_ = 0;
    std::size_t offset_ = 0;
};

class FakeHttpConnection final : public HttpConnection {
  public:
    explicit FakeHttpConnection(FakeHttp& http) : http_(http) {}
    ~FakeHttpConnection() override { record(http_, L"close connection"); }

    std::unique_ptr<HttpRequest> openRequest(const std::wstring& verb, const std::wstring& object,
                                             std::uint32_t flags) override {
        if (http_.fail("openRequest")) {
            return nullptr;
        }
        std::wostringstream event;
        event << L"request " << verb << L" " << object << L" 0x" << std::hex << flags;
        http_.events.push_back(event.str());
        if (auto endless = http_.endless.find(object); endless != http_.endless.end()) {
            return std::make_unique<FakeHttpRequest>(
                http_, std::vector<std::string>{endless->second}, http_.endlessLimit);
        }
        auto found = http_.responses.find(object);
        std::vector<std::string> chunks = found != http_.responses.end()
                                              ? found->second
                                              : std::vector<std::string>{FakeHttp::kNotFoundPage};
        return std::make_unique<FakeHttpRequest>(http_, std::move(chunks), 1);
    }

  private:
    FakeHttp& http_;
};

class FakeHttpSession final : public HttpSession {
  public:
    explicit FakeHttpSession(FakeHttp& http) : http_(http) {}
    ~FakeHttpSession() override { record(http_, L"close session"); }

    std::unique_ptr<HttpConnection> connect(const std::wstring& server,
                                            std::uint16_t port) override {
        if (http_.fail("connect")) {
            return nullptr;
        }
        http_.events.push_back(L"connect " + server + L" " + std::to_wstring(port));
        return std::make_unique<FakeHttpConnection>(http_);
    }

  private:
    FakeHttp& http_;
};

bool FakeHttp::fail(const std::string& operation) {
    if (auto error = faults.check(operation)) {
        setLastError(*error);
        return true;
    }
    return false;
}

int FakeHttp::requestsFor(const std::wstring& object) const {
    const std::wstring prefix = L"request GET " + object + L" ";
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const std::wstring& e) {
        return e.compare(0, prefix.size(), prefix) == 0;
    }));
}

std::unique_ptr<HttpSession> FakeHttp::open(const std::wstring& userAgent,
                                            std::uint32_t accessType) {
    if (fail("open")) {
        return nullptr;
    }
    events.push_back(L"open " + userAgent + L" " + std::to_wstring(accessType));
    return std::make_unique<FakeHttpSession>(*this);
}

}  // namespace korin::testing
