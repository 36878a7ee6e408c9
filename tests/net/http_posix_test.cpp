// The libcurl adapter against the test update server: what the manifest
// download logs for a server that behaves and for each way it can misbehave.

#include "net/http_posix.h"

#include "fakes/fake_platform.h"
#include "net/http_contract.h"
#include "fixtures/temporary_machine_posix.h"
#include "manifest/manifest_readers.h"
#include "net/manifest_download.h"
#include "net/request_targets.h"
#include "net/test_server_posix.h"
#include "platform/last_error.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace korin {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::wstring>;
using testing::FakePlatform;
using testing::TestServer;

constexpr char kManifest[] =
    "<version><Plugin major='32' minor='0' buildMajor='0' buildMinor='465'/>"
    "<SAUConfig checkFrequency='3'/></version>";

class HttpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(machineFolder_.create("https", error)) << error;
        // The server's tree and files live beside the machine's drives.
        work_ = machineFolder_.root();
        fs::create_directories(work_ + "/tree/xml");
        std::ofstream(work_ + "/tree/xml/version.xml") << kManifest;
        ASSERT_TRUE(server_.start(work_ + "/tree", work_, error)) << error;
        machine_.emplace(work_);
        addHost("localhost", server_.address());
        logOptions().verbose = true;
        runtimeConfig().serverDomain = L"localhost";
    }
    void TearDown() override { server_.stop(); }
    void addHost(const std::string& name, const std::string& address) {
        std::ofstream(machine_->hostPath(L"C:\\Windows\\System32\\drivers\\etc\\hosts", false),
                      std::ios::app)
            << "# test server\r\n"
            << address << "\t" << name << "\r\n";
    }
    void trustTestAuthority() {
        std::ifstream in(server_.authorityFile());
        std::ofstream(machine_->trustedRootsFile(), std::ios::app) << in.rdbuf();
    }
    // GETs path through the adapter the way the service does.
    bool get(const std::string& path, std::string& body) {
        StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
        Platform platform = fake.platform();
        platform.http = &http;
        return httpsGetText(platform, body, std::wstring(path.begin(), path.end()));
    }

    FakePlatform fake;
    TestServer server_;
    korin::testing::TemporaryMachine machineFolder_;
    std::string work_;
    std::optional<standin::Machine> machine_;
};

TEST_F(HttpsTest, ABehavingServerDeliversTheManifest) {
    trustTestAuthority();
    std::string body;
    ASSERT_TRUE(get("/xml/version.xml", body));
    EXPECT_EQ(body, kManifest);
    EXPECT_EQ(fake.logEntries(), (Entries{L"[info] 1630 /xml/version.xml"}));
}

TEST_F(HttpsTest, MisbehavingServersAreLoggedAsTheClientSeesThem) {
    trustTestAuthority();
    const std::string manifest = kManifest;
    const std::string half = manifest.substr(0, manifest.size() / 2);
    struct Case {
        const char* mode;
        std::string body;
        Entries log;
    };
    const Case cases[] = {
        {"notfound",
         "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n",
         {L"[info] 1630 /xml/version.xml"}},
        // The bytes after the zero of the first chunk are lost, the rest comes.
        {"zerobyte", manifest, {L"[info] 1630 /xml/version.xml"}},
        {"cutoff",
         half,
         {L"[info] 1630 /xml/version.xml", L"[warning] 1404 12030", L"[warning] 1406 12030"}},
        // Half the body arrives before the server stalls: it is handed over as
        // it comes, not after the whole body.
        {"stall",
         half,
         {L"[info] 1630 /xml/version.xml", L"[warning] 1404 12002", L"[warning] 1406 12002"}},
    };
    for (const Case& c : cases) {
        std::ofstream(work_ + "/tree/misbehave", std::ios::trunc);
        server_.misbehave("/xml/version.xml", c.mode);
        FakePlatform local;
        logOptions().verbose = true;
        runtimeConfig().serverDomain = L"localhost";
        StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
        Platform platform = local.platform();
        platform.http = &http;
        std::string body;
        EXPECT_TRUE(httpsGetText(platform, body, L"/xml/version.xml")) << c.mode;
        EXPECT_EQ(body, c.body) << c.mode;
        EXPECT_EQ(local.logEntries(), c.log) << c.mode;
    }
}

TEST_F(HttpsTest, AnEndlessBodyIsCutAtTheBoundAndRefusedByTheReader) {
    trustTestAuthority();
    server_.misbehave("/xml/version.xml", "endless");
    std::string body;
    ASSERT_TRUE(get("/xml/version.xml", body));
    EXPECT_GT(body.size(), kManifestMaxBytes);
    EXPECT_LT(body.size(), kManifestMaxBytes + 128 * 1024);
    PlayerUpdateInfo record;
    record.type = PlayerType::Plugin;
    std::uint32_t cell = 1;
    EXPECT_FALSE(parseVersionManifest(fake.platform(), body.c_str(), &record, &cell));
    const Entries log = fake.logEntries();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], L"[info] 1630 /xml/version.xml");
    EXPECT_EQ(log[1], L"[warning] 1431");
    EXPECT_EQ(log[2], L"[warning] document too large");
    EXPECT_EQ(cell, 1u);
}

TEST_F(HttpsTest, ConnectionFailuresCarryWinHttpCodes) {
    struct Case {
        const char* name;
        bool trusted;
        const char* host;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"authority not in the Root store", false, "localhost", 12175},
        {"certificate for another name", true, "other.test", 12175},
        {"nothing listens", true, "closed.test", 12029},
    };
    addHost("other.test", server_.address());
    addHost("closed.test", "127.0.0.254");
    for (const Case& c : cases) {
        if (c.trusted) {
            trustTestAuthority();
        }
        FakePlatform local;
        logOptions().verbose = true;
        runtimeConfig().serverDomain = std::wstring(c.host, c.host + std::strlen(c.host));
        StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
        Platform platform = local.platform();
        platform.http = &http;
        std::string body;
        EXPECT_FALSE(httpsGetText(platform, body, L"/xml/version.xml")) << c.name;
        const std::wstring code = std::to_wstring(c.error);
        EXPECT_EQ(local.logEntries(),
                  (Entries{L"[info] 1630 /xml/version.xml", L"[warning] 1403 " + code,
                           L"[warning] 1407 " + code, L"[warning] 1408"}))
            << c.name;
    }
}

// The contract the fake and WinHTTP (under Wine) are held to as well.
TEST_F(HttpsTest, HoldsTheHttpContract) {
    trustTestAuthority();
    addHost("closed.test", "127.0.0.254");
    StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
    testing::holdsTheHttpContract(
        http, testing::httpCases(L"localhost", L"/xml/version.xml", kManifest, L"/xml/missing.xml",
                                 L"korin-contract.invalid", L"closed.test"));
}

// A listener on address that never accepts: the kernel completes the TCP
// handshake and queues the client's TLS hello, which nobody answers.
class SilentListener {
  public:
    explicit SilentListener(const std::string& address) {
        socket_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        socklen_t size = sizeof where;
        if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) == 1 &&
            bind(socket_, reinterpret_cast<sockaddr*>(&where), size) == 0 &&
            listen(socket_, 4) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&where), &size) == 0) {
            port_ = ntohs(where.sin_port);
        }
    }
    ~SilentListener() { close(socket_); }
    std::uint16_t port() const { return port_; }

  private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

// The cases WinHTTP (under Wine) is held to as well. The mirror is named
// only in the machine's hosts file, so only that file leads a redirect there.
TEST_F(HttpsTest, HoldsTheServerBehaviourContract) {
    trustTestAuthority();
    addHost("mirror.korinplayer.example", server_.address());
    SilentListener silent(server_.address());
    ASSERT_NE(silent.port(), 0);
    StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
    testing::holdsTheHttpContract(
        http, testing::serverBehaviourCases(work_ + "/tree", L"localhost",
                                            L"mirror.korinplayer.example", silent.port(), false));
}

TEST_F(HttpsTest, CallsOutOfOrderFailWithIncorrectHandleState) {
    trustTestAuthority();
    StandInHttp http(*machine_);
    auto session = http.open(L"agent", kHttpAccessTypeDefaultProxy);
    ASSERT_TRUE(session);
    auto connection = session->connect(L"localhost", kHttpsPort);
    ASSERT_TRUE(connection);
    auto request = connection->openRequest(L"GET", L"/xml/version.xml", kHttpFlagSecure);
    ASSERT_TRUE(request);
    std::uint32_t size = 0;
    EXPECT_FALSE(request->receiveResponse());
    EXPECT_EQ(lastError(), kErrorWinHttpIncorrectHandleState);
    EXPECT_FALSE(request->queryDataAvailable(size));
    EXPECT_EQ(lastError(), kErrorWinHttpIncorrectHandleState);
    ASSERT_TRUE(request->sendRequest());
    ASSERT_TRUE(request->receiveResponse());
    std::string body;
    char buffer[8];
    std::uint32_t read = 0;
    while (request->queryDataAvailable(size) && size > 0) {
        ASSERT_TRUE(request->readData(buffer, sizeof buffer, read));
        body.append(buffer, read);
    }
    EXPECT_EQ(body, kManifest);
    EXPECT_FALSE(session->connect(L"bad name", kHttpsPort));
    EXPECT_EQ(lastError(), kErrorWinHttpInvalidUrl);
}

// Text from manifests goes into request paths: the server gets exactly the
// target WinHTTP sends for it (the same table runs under Wine), never one cut
// at a "#" or with its dot segments removed.
TEST_F(HttpsTest, TheServerGetsTheTargetWinHttpSends) {
    trustTestAuthority();
    const std::size_t before = server_.requestTargets().size();
    std::vector<std::string> expected;
    for (const testing::RequestTarget& c : testing::requestTargets()) {
        StandInHttp http(*machine_, StandInHttp::Timeouts{10000, 1500});
        Platform platform = fake.platform();
        platform.http = &http;
        std::string body;
        EXPECT_TRUE(httpsGetText(platform, body, c.object)) << c.target;
        expected.push_back(c.target);
    }
    std::vector<std::string> targets = server_.requestTargets();
    ASSERT_GE(targets.size(), before);
    targets.erase(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(targets, expected);
}

// A listener whose queue is full: connections to it are neither accepted nor
// refused, so only the connect time-out ends them.
class FullListener {
  public:
    FullListener() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof where;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&where), size) != 0 ||
            listen(listener_, 0) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
            return;
        }
        port_ = ntohs(where.sin_port);
        // Fill the queue: the first connection that does not complete shows
        // that it is full.
        for (int i = 0; i < 16; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            fillers_.push_back(filler);
            if (connect(filler, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) {
                continue;
            }
            pollfd wait{filler, POLLOUT, 0};
            if (poll(&wait, 1, 300) == 0) {
                full_ = true;
                return;
            }
        }
    }
    ~FullListener() {
        for (int filler : fillers_) {
            close(filler);
        }
        close(listener_);
    }
    bool full() const { return full_; }
    std::uint16_t port() const { return port_; }

  private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

TEST_F(HttpsTest, AConnectThatTimesOutIsATimeoutNotAFailureToConnect) {
    FullListener listener;
    ASSERT_TRUE(listener.full()) << "the listener's queue could not be filled";
    addHost("full.test", "127.0.0.1");
    StandInHttp http(*machine_, StandInHttp::Timeouts{300, 1500});
    auto session = http.open(L"agent", kHttpAccessTypeDefaultProxy);
    ASSERT_TRUE(session);
    auto connection = session->connect(L"full.test", listener.port());
    ASSERT_TRUE(connection);
    auto request = connection->openRequest(L"GET", L"/xml/version.xml", kHttpFlagSecure);
    ASSERT_TRUE(request);
    EXPECT_FALSE(request->sendRequest());
    EXPECT_EQ(lastError(), kErrorWinHttpTimeout);
}

}  // namespace
}  // namespace korin
