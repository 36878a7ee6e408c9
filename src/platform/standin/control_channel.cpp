#include "platform/standin/control_channel.h"

#include "platform/error_codes.h"
#include "ground/text.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace korin::standin {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a connection may take to say what it wants before it is dropped,
// so that a stray client never holds a start or the dispatcher.
constexpr int kGreetingMs = 2000;
constexpr std::size_t kTokenBytes = 16;

// A descriptor closed on every path out.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

int remainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits for fd to be readable until the deadline.
bool readable(int fd, SteadyClock::time_point deadline) {
    pollfd entry{fd, POLLIN, 0};
    while (true) {
        const int ready = poll(&entry, 1, remainingMs(deadline));
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

bool readExact(int fd, void* data, std::size_t size, SteadyClock::time_point deadline) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        if (!readable(fd, deadline)) {
            return false;
        }
        const ssize_t got = recv(fd, bytes, size, 0);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// One line of at most limit bytes, read byte by byte (the peer sends little).
bool readLine(int fd, std::string& line, std::size_t limit, SteadyClock::time_point deadline) {
    line.clear();
    char c = 0;
    while (line.size() <= limit && readExact(fd, &c, 1, deadline)) {
        if (c == '\n') {
            return true;
        }
        line.push_back(c);
    }
    return false;
}

std::uint32_t peerProcess(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(credentials.pid);
}

bool socketAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// A listening socket at path, replacing what a earlier process left there.
int listenAt(const std::string& path, std::uint32_t& error) {
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        error = kErrorFilenameExcedRange;
        return -1;
    }
    Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    unlink(path.c_str());
    if (fd.get() < 0 ||
        bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd.get(), 8) != 0) {
        error = errno == EACCES ? kErrorAccessDenied : kErrorPathNotFound;
        return -1;
    }
    return fd.release();
}

int connectTo(const std::string& path) {
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        return -1;
    }
    Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 ||
        connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return -1;
    }
    return fd.release();
}

int acceptFrom(int listener) {
    while (true) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0 || errno != EINTR) {
            return fd;
        }
    }
}

std::string freshToken() {
    unsigned char bytes[kTokenBytes] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        return {};
    }
    std::string token;
    char hex[3];
    for (unsigned char byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return token;
}

void servicesFolder(const Machine& machine) {
    mkdir((machine.root() + "/services").c_str(), 0755);
}

}  // namespace

std::string serviceFile(const Machine& machine, const std::wstring& name, const char* suffix) {
    return machine.root() + "/services/" + utf8FromWide(asciiLower(name)) + suffix;
}

std::uint64_t processStartTime(std::uint32_t processId) {
    if (processId == 0) {
        return 0;
    }
    std::ifstream in("/proc/" + std::to_string(processId) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // After the command's closing parenthesis: the state (field 3), and the
    // start time as field 22.
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X") {
        return 0;
    }
    std::string field;
    for (int i = 4; i <= 22 && fields >> field; ++i) {
    }
    return std::strtoull(field.c_str(), nullptr, 10);
}

ServiceRuntime readServiceRuntime(const Machine& machine, const std::wstring& name) {
    ServiceRuntime runtime;
    runtime.status.serviceType = kServiceWin32OwnProcess;
    runtime.status.currentState = kServiceStopped;
    std::ifstream in(serviceFile(machine, name, ".state"));
    ServiceRuntime read;
    ServiceStatus& r = read.status;
    if (!(in >> read.processId >> read.processStart >> r.serviceType >> r.currentState >>
          r.controlsAccepted >> r.win32ExitCode >> r.serviceSpecificExitCode >> r.checkPoint >>
          r.waitHint)) {
        return runtime;
    }
    if (r.currentState == kServiceStopped ||
        processStartTime(read.processId) == read.processStart) {
        return read;
    }
    runtime.status.win32ExitCode = kErrorProcessAborted;
    return runtime;
}

bool writeServiceRuntime(const Machine& machine, const std::wstring& name,
                         const ServiceRuntime& runtime) {
    servicesFolder(machine);
    const ServiceStatus& s = runtime.status;
    std::ostringstream out;
    out << runtime.processId << ' ' << runtime.processStart << ' ' << s.serviceType << ' '
        << s.currentState << ' ' << s.controlsAccepted << ' ' << s.win32ExitCode << ' '
        << s.serviceSpecificExitCode << ' ' << s.checkPoint << ' ' << s.waitHint << '\n';
    return replaceMachineFile(serviceFile(machine, name, ".state"), out.str());
}

void removeServiceRuntime(const Machine& machine, const std::wstring& name) {
    for (const char* suffix : {".state", ".lock", ".start", ".control"}) {
        unlink(serviceFile(machine, name, suffix).c_str());
    }
}

ServiceStartLock::ServiceStartLock(const Machine& machine, const std::wstring& name) {
    servicesFolder(machine);
    fd_ = open(serviceFile(machine, name, ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

ServiceStartLock::~ServiceStartLock() {
    if (fd_ >= 0) {
        close(fd_);  // releases the lock
    }
}

StartChannel::StartChannel(const Machine& machine, std::wstring name, int fd, std::string path,
                           std::string token)
    : machine_(machine),
      name_(std::move(name)),
      fd_(fd),
      path_(std::move(path)),
      token_(std::move(token)) {}

std::unique_ptr<StartChannel> StartChannel::open(const Machine& machine, const std::wstring& name,
                                                 std::uint32_t& error) {
    servicesFolder(machine);
    const std::string token = freshToken();
    if (token.empty()) {
        error = kErrorNotEnoughMemory;
        return nullptr;
    }
    const std::string path = serviceFile(machine, name, ".start");
    const int fd = listenAt(path, error);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<StartChannel>(new StartChannel(machine, name, fd, path, token));
}

StartChannel::~StartChannel() {
    close(fd_);
    unlink(path_.c_str());
}

std::string StartChannel::channelEntry() const {
    return std::string(kServiceChannelVariable) + "=" + path_;
}

std::string StartChannel::tokenEntry() const {
    return std::string(kServiceTokenVariable) + "=" + token_;
}

std::uint32_t StartChannel::awaitDispatcher(std::uint32_t processId, std::uint64_t processStart,
                                            std::uint32_t timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    // Wakes now and then to see whether the process is still there.
    constexpr auto kLivenessCheck = std::chrono::milliseconds(100);
    while (SteadyClock::now() < deadline) {
        if (processStartTime(processId) != processStart) {
            return kErrorServiceRequestTimeout;
        }
        if (!readable(fd_, std::min(deadline, SteadyClock::now() + kLivenessCheck))) {
            continue;
        }
        Descriptor peer(acceptFrom(fd_));
        if (peer.get() < 0 || peerProcess(peer.get()) != processId) {
            continue;  // not the process this start spawned
        }
        const auto greeting =
            std::min(deadline, SteadyClock::now() + std::chrono::milliseconds(kGreetingMs));
        std::string token;
        std::string table;
        if (!readLine(peer.get(), token, token_.size(), greeting) || token != token_ ||
            !readLine(peer.get(), table, 1024, greeting)) {
            continue;
        }
        std::uint32_t answer = 0;
        if (!equalsIgnoreCase(wideFromUtf8(table), name_)) {
            answer = kErrorServiceNotInExe;
        } else {
            ServiceRuntime runtime;
            runtime.processId = processId;
            runtime.processStart = processStart;
            // What Windows shows until the service's first report.
            runtime.status = {kServiceWin32OwnProcess, kServiceStartPending, 0, 0, 0, 0, 2000};
            if (!writeServiceRuntime(machine_, name_, runtime)) {
                answer = kErrorAccessDenied;
            }
        }
        if (!writeAll(peer.get(), &answer, sizeof answer)) {
            answer = kErrorServiceRequestTimeout;
        }
        return answer;
    }
    return kErrorServiceRequestTimeout;
}

DispatcherChannel::DispatcherChannel(const Machine& machine, std::wstring name, int listener,
                                     std::string path)
    : machine_(machine),
      name_(std::move(name)),
      listener_(listener),
      path_(std::move(path)),
      ownStart_(processStartTime(static_cast<std::uint32_t>(getpid()))) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
    }
}

std::unique_ptr<DispatcherChannel> DispatcherChannel::connect(const Machine& machine,
                                                              const std::wstring& serviceName,
                                                              std::uint32_t& error) {
    const char* channel = std::getenv(kServiceChannelVariable);
    const char* token = std::getenv(kServiceTokenVariable);
    const std::string channelPath = channel ? channel : "";
    const std::string tokenText = token ? token : "";
    unsetenv(kServiceChannelVariable);
    unsetenv(kServiceTokenVariable);
    error = kErrorFailedServiceControllerConnect;
    if (channelPath.empty() || tokenText.empty()) {
        return nullptr;
    }
    Descriptor start(connectTo(channelPath));
    const std::string greeting = tokenText + "\n" + utf8FromWide(serviceName) + "\n";
    std::uint32_t answer = kErrorFailedServiceControllerConnect;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kGreetingMs);
    if (start.get() < 0 || !writeAll(start.get(), greeting.data(), greeting.size()) ||
        !readExact(start.get(), &answer, sizeof answer, deadline) || answer != 0) {
        error = answer;
        return nullptr;
    }
    // Only now that this process is the service's: the service accepts no
    // control while start-pending, so none can come before it listens.
    const std::string controlPath = serviceFile(machine, serviceName, ".control");
    Descriptor listener(listenAt(controlPath, error));
    if (listener.get() < 0) {
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<DispatcherChannel>(
        new DispatcherChannel(machine, serviceName, listener.release(), controlPath));
}

DispatcherChannel::~DispatcherChannel() {
    if (!withdrawn_) {
        unlink(path_.c_str());
    }
    for (int fd : {listener_, wakeRead_, wakeWrite_, pending_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool DispatcherChannel::nextControl(std::uint32_t& code) {
    while (true) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (entries[1].revents != 0) {
            return false;
        }
        Descriptor peer(acceptFrom(listener_));
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kGreetingMs);
        if (peer.get() >= 0 && readExact(peer.get(), &code, sizeof code, deadline)) {
            pending_ = peer.release();
            return true;
        }
    }
}

void DispatcherChannel::answer(const ServiceStatus& status) {
    if (pending_ < 0) {
        return;
    }
    const std::uint32_t record[8] = {0,
                                     status.serviceType,
                                     status.currentState,
                                     status.controlsAccepted,
                                     status.win32ExitCode,
                                     status.serviceSpecificExitCode,
                                     status.checkPoint,
                                     status.waitHint};
    writeAll(pending_, record, sizeof record);
    close(std::exchange(pending_, -1));
}

void DispatcherChannel::wake() {
    const char byte = 1;
    const ssize_t ignored = write(wakeWrite_, &byte, 1);
    (void)ignored;
}

bool DispatcherChannel::publish(const ServiceStatus& status) {
    if (status.currentState == kServiceStopped && !withdrawn_) {
        // The name goes before the stop is known, so that a later start's
        // socket never loses its name to this process's going.
        unlink(path_.c_str());
        withdrawn_ = true;
    }
    ServiceRuntime runtime;
    runtime.processId = static_cast<std::uint32_t>(getpid());
    runtime.processStart = ownStart_;
    runtime.status = status;
    return writeServiceRuntime(machine_, name_, runtime);
}

std::uint32_t sendServiceControl(const Machine& machine, const std::wstring& name,
                                 std::uint32_t processId, std::uint32_t code,
                                 std::uint32_t timeoutMs, ServiceStatus& status) {
    Descriptor peer(connectTo(serviceFile(machine, name, ".control")));
    if (peer.get() < 0 || peerProcess(peer.get()) != processId) {
        return kErrorServiceNotActive;
    }
    std::uint32_t record[8] = {};
    if (!writeAll(peer.get(), &code, sizeof code)) {
        return kErrorServiceNotActive;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    if (!readExact(peer.get(), record, sizeof record, deadline)) {
        return kErrorServiceRequestTimeout;
    }
    status = {record[1], record[2], record[3], record[4], record[5], record[6], record[7]};
    return record[0];
}

}  // namespace korin::standin
