#pragma once

// What ties a service's process to the machine's Service Control Manager,
// which is a library in every process, not a daemon. Under
// <root>/services, per service (the name in lower case):
//   .state    the runtime: process, its start time and the status it last
//             reported, one line, replaced whole (rename) on each report;
//   .lock     held (flock) by a start from before the spawn until the
//             dispatcher connected or the start failed;
//   .start    the Unix socket a start listens on for the dispatcher of the
//             process it spawned; the dispatcher proves itself with the
//             one-time token handed to it in its environment, and its pid
//             must be the spawned one (SO_PEERCRED);
//   .control  the Unix socket the dispatcher serves controls on; a control
//             goes to it only when its listener is the service's process.

#include "platform/service_control.h"
#include "platform/standin/machine.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korin::standin {

// The environment entries that hand a started program its channel.
inline constexpr char kServiceChannelVariable[] = "KORIN_SERVICE_CHANNEL";
inline constexpr char kServiceTokenVariable[] = "KORIN_SERVICE_TOKEN";

// A service's process and the status it last reported.
struct ServiceRuntime {
    std::uint32_t processId = 0;
    std::uint64_t processStart = 0;  // its start time, against pid reuse
    ServiceStatus status;
};

// "<root>/services/<name in lower case><suffix>".
std::string serviceFile(const Machine& machine, const std::wstring& name, const char* suffix);

// The runtime as last written, stopped when there is none. A process that
// is gone, or whose pid now names another process, left the service
// stopped with 1067 (ERROR_PROCESS_ABORTED), as Windows records a service
// process that ended without reporting.
ServiceRuntime readServiceRuntime(const Machine& machine, const std::wstring& name);
bool writeServiceRuntime(const Machine& machine, const std::wstring& name,
                         const ServiceRuntime& runtime);
void removeServiceRuntime(const Machine& machine, const std::wstring& name);

// The start time of a live process, 0 when it is gone or a zombie.
std::uint64_t processStartTime(std::uint32_t processId);

// Holds the service's start lock until destroyed.
class ServiceStartLock {
  public:
    ServiceStartLock(const Machine& machine, const std::wstring& name);
    ~ServiceStartLock();
    ServiceStartLock(const ServiceStartLock&) = delete;
    ServiceStartLock& operator=(const ServiceStartLock&) = delete;

  private:
    int fd_;
};

// The manager's end of one start.
class StartChannel {
  public:
    // Listens on the service's .start socket with a fresh token; null with
    // the error otherwise.
    static std::unique_ptr<StartChannel> open(const Machine& machine, const std::wstring& name,
                                              std::uint32_t& error);
    ~StartChannel();
    StartChannel(const StartChannel&) = delete;
    StartChannel& operator=(const StartChannel&) = delete;

    // The environment entries for the program to start.
    std::string channelEntry() const;
    std::string tokenEntry() const;

    // Waits up to timeoutMs for the dispatcher of processId. Once it has
    // shown the token, the service is recorded start-pending with that
    // process and the dispatcher told to go on: 0. 1083 when its table names
    // another service; 1053 when none connected in time or the process
    // ended first.
    std::uint32_t awaitDispatcher(std::uint32_t processId, std::uint64_t processStart,
                                  std::uint32_t timeoutMs);

  private:
    StartChannel(const Machine& machine, std::wstring name, int fd, std::string path,
                 std::string token);
    Machine machine_;
    std::wstring name_;
    int fd_;
    std::string path_;
    std::string token_;
};

// The service process's end: the dispatcher's connection and its control
// socket. One per process.
class DispatcherChannel {
  public:
    // Connects to the start that spawned this process and serves controls
    // from then on: null with 1063 when no start spawned it (no channel in
    // the environment, or one that refuses this process), with the start's
    // refusal otherwise. Takes the channel out of the environment, so that
    // the programs the service starts do not inherit it.
    static std::unique_ptr<DispatcherChannel> connect(const Machine& machine,
                                                      const std::wstring& serviceName,
                                                      std::uint32_t& error);
    ~DispatcherChannel();
    DispatcherChannel(const DispatcherChannel&) = delete;
    DispatcherChannel& operator=(const DispatcherChannel&) = delete;

    // Blocks until a control arrives (true, its code) or wake() was called
    // (false). Each control must be answered before the next is asked for.
    bool nextControl(std::uint32_t& code);
    void answer(const ServiceStatus& status);
    // Safe from any thread.
    void wake();
    // Records the status as this process's report. With stopped, the
    // control socket's name goes first: the controls still queued are
    // served, no new one reaches this process.
    bool publish(const ServiceStatus& status);

  private:
    DispatcherChannel(const Machine& machine, std::wstring name, int listener, std::string path);
    Machine machine_;
    std::wstring name_;
    int listener_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int pending_ = -1;
    std::string path_;
    bool withdrawn_ = false;  // the socket's name is gone
    std::uint64_t ownStart_;
};

// Hands a control to the dispatcher of processId and waits up to timeoutMs
// for its answer: 0 and the status it answered, 1062 when no dispatcher of
// that process listens, 1053 when no answer came in time.
std::uint32_t sendServiceControl(const Machine& machine, const std::wstring& name,
                                 std::uint32_t processId, std::uint32_t code,
                                 std::uint32_t timeoutMs, ServiceStatus& status);

}  // namespace korin::standin
