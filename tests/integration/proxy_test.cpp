// A stand-in machine behind an enterprise proxy: with the WinHTTP proxy set
// by `korin-machine netsh winhttp set proxy`, the manifest passes and the
// package download go through a real tinyproxy on loopback as CONNECT
// tunnels, a bypassed host goes direct, and a proxy that is gone or refuses
// fails with WinHTTP's codes. The update server listens on 127.0.0.1:443,
// where the proxy finds "localhost".

#include "integration/machine_fixture.h"
#include "net/test_server_posix.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace korin::integration {
namespace {

namespace fs = std::filesystem;

constexpr char kPlugin[] = "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayerPlugin";
constexpr char kConnect[] = "CONNECT localhost:443 ";

bool accepts(int port) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &where.sin_addr);
    const bool connected = connect(probe, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
    close(probe);
    return connected;
}

// A port nothing listens on now.
int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &where.sin_addr);
    socklen_t size = sizeof where;
    bind(s, reinterpret_cast<sockaddr*>(&where), sizeof where);
    getsockname(s, reinterpret_cast<sockaddr*>(&where), &size);
    close(s);
    return ntohs(where.sin_port);
}

// tinyproxy in the foreground with a configuration of its own in folder,
// tunnelling to one port only.
class Tinyproxy {
  public:
    ~Tinyproxy() { stop(); }
    bool start(const std::string& folder, int connectPort, std::string& error) {
        port_ = freePort();
        log_ = folder + "/tinyproxy.log";
        const std::string config = folder + "/tinyproxy.conf";
        std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\n"
                              << "LogFile \"" << log_ << "\"\nLogLevel Connect\n"
                              << "PidFile \"" << folder << "/tinyproxy.pid\"\n"
                              << "MaxClients 10\nAllow 127.0.0.1\nConnectPort " << connectPort
                              << "\n";
        std::vector<std::string> args = {"tinyproxy", "-d", "-c", config};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "tinyproxy", nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            error = "tinyproxy cannot be started: is it installed (make deps)?";
            return false;
        }
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                error = "tinyproxy ended at once; its log: " + log();
                return false;
            }
            if (accepts(port_)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        error = "tinyproxy does not listen on port " + std::to_string(port_);
        return false;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string log() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    int port_ = 0;
    pid_t pid_ = -1;
    std::string log_;
};

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Plugin 31 installed, 32 offered as a full package of korin-test-installer.
class ProxyTest : public MachineFixture {
  protected:
    void SetUp() override {
        MachineFixture::SetUp();
        std::ofstream(root_ + "/offer.txt")
            << "major 32\nmajorBeta 33\nloudVer 32.0.0.465\noffer Plugin release 32.0.0.465\n";
        const RunResult published = run("korin-publish",
                                        {root_ + "/offer.txt", root_ + "/tree", "--installer",
                                         std::string(KORIN_BIN_DIR) + "/korin-test-installer"},
                                        root_);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        // The port is the machine's: another run's server may hold it a while.
        std::string error;
        bool started = false;
        for (int i = 0; i < 60 && !started; ++i) {
            started = server_.start(root_ + "/tree", root_, error, "127.0.0.1");
            if (!started && error.find("Address already in use") != std::string::npos) {
                std::this_thread::sleep_for(std::chrono::seconds(2));
            } else if (!started) {
                break;
            }
        }
        ASSERT_TRUE(started) << error;
        ASSERT_EQ(machine({"hosts", "add", "localhost", "127.0.0.1"}).exitCode, 0);
        ASSERT_EQ(machine({"trust", "add", server_.authorityFile()}).exitCode, 0);
        fs::create_directories(driveC("Windows/SysWOW64/Tervalon/Korin"));
        const RunResult version = machine({"reg", "add", kPlugin, "/v", "Version", "/t", "REG_SZ",
                                           "/d", "31.0.0.100", "/f", "/reg:32"});
        ASSERT_EQ(version.exitCode, 0) << version.err;
    }
    void setProxy(const std::string& bypass) {
        const RunResult set =
            machine({"netsh", "winhttp", "set", "proxy", "proxy-server=" + proxy_.address(),
                     "bypass-list=" + bypass});
        ASSERT_EQ(set.exitCode, 0) << set.err;
        ASSERT_NE(set.out.find("Proxy Server(s) :  " + proxy_.address()), std::string::npos)
            << set.out;
    }
    RunResult install() {
        return run("korin-update-check", {"--server", "localhost", "--install"});
    }

    testing::TestServer server_;
    Tinyproxy proxy_;
};

TEST_F(ProxyTest, ManifestsAndPackageTunnelThroughTheProxyUnlessTheHostIsBypassed) {
    std::string error;
    ASSERT_TRUE(proxy_.start(root_, 443, error)) << error;
    struct Case {
        const char* bypass;
        bool throughProxy;
    };
    for (const Case& c : {Case{"", true}, Case{"*.example;<local>", false}}) {
        SCOPED_TRACE(c.bypass);
        setProxy(c.bypass);
        const std::size_t tunnelsBefore = countOf(proxy_.log(), kConnect);
        const std::size_t requestsBefore = server_.requestTargets().size();
        const RunResult result = install();
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("Plugin installer started"), std::string::npos) << result.out;
        const std::size_t requests = server_.requestTargets().size() - requestsBefore;
        // The current-major, version and patch manifests and the package.
        EXPECT_EQ(requests, 4u);
        EXPECT_EQ(countOf(proxy_.log(), kConnect) - tunnelsBefore, c.throughProxy ? requests : 0)
            << proxy_.log();
    }
}

TEST_F(ProxyTest, AProxyThatIsGoneOrRefusesTheTunnelFailsWithWinHttpsCode) {
    struct Case {
        int connectPort;  // 0: no proxy listens
        const char* entry;
    };
    for (const Case& c :
         {Case{0, "[warning] 1470 12029\r\n"}, Case{8443, "[warning] 1470 12157\r\n"}}) {
        SCOPED_TRACE(c.entry);
        std::string error;
        ASSERT_TRUE(proxy_.start(root_, c.connectPort == 0 ? 443 : c.connectPort, error)) << error;
        setProxy("");
        if (c.connectPort == 0) {
            proxy_.stop();
        }
        const RunResult result = install();
        EXPECT_NE(serviceLog().find(c.entry), std::string::npos) << serviceLog();
        EXPECT_NE(serviceLog().find("[warning] 1475\r\n"), std::string::npos) << serviceLog();
        EXPECT_TRUE(server_.requestTargets().empty());
        // The reader of the machine's log points the administrator at the proxy.
        const RunResult read = run("korin-log", {"--runs", "1"});
        EXPECT_NE(read.out.find("); this machine's WinHTTP proxy setting: proxy " +
                                proxy_.address() + ", bypass (none)"),
                  std::string::npos)
            << read.out << read.err;
        proxy_.stop();
    }
}

}  // namespace
}  // namespace korin::integration
