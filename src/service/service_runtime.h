#pragma once

// The service's life under the Service Control Manager: the dispatcher, the
// service main and its worker, the control handler and the status reports.
// The platform's callbacks carry no context, so the runtime keeps its state
// process-wide: the Platform (set before the dispatcher starts), the status
// record with its check-point counter and status handle, and the stop event.
// Each runServiceDispatcher starts that state afresh.
// Two threads meet here: the dispatcher's (the caller of
// runServiceDispatcher, where controls arrive) and the service thread.

#include <cstdint>
#include "support/log_codes.h"

namespace korin {

struct Platform;

// Log codes of the service runtime.
inline constexpr int kLogDispatcherStarting = logCode(1618);
inline constexpr int kLogDispatcherFailed = logCode(1619);
inline constexpr int kLogDispatcherReturned = logCode(1620);
inline constexpr int kLogNoMemoryForDispatchTable = logCode(1451);
inline constexpr int kLogHandlerNotRegistered = logCode(1240);
inline constexpr int kLogNoServiceContext = logCode(1241);
inline constexpr int kLogControlReceived = logCode(1622);
inline constexpr int kLogStopControl = logCode(1623);

// The wait hint of the start-pending report, in milliseconds.
inline constexpr std::uint32_t kStartPendingWaitHint = 3000;

// Connects the process to the Service Control Manager and runs the service
// to its end: true when the dispatcher returned after the service stopped,
// false when it could not be started (1063 when the process was not started
// by the Service Control Manager).
bool runServiceDispatcher(const Platform& platform);

// The service main of the dispatch table: registers the handler, reports
// start-pending and runs the worker.
void serviceMain();
// Creates the stop event, reports running, runs one update cycle while the
// ServiceContext exists and reports stopped.
void serviceWorker();
// Every control is logged; a stop is answered with two stop-pending reports.
void serviceControlHandler(std::uint32_t control);
// Fills the status record for state and hands one consistent copy of it to
// the Service Control Manager; the two threads' reports never mix.
void reportServiceStatus(std::uint32_t state, std::uint32_t waitHint);

}  // namespace korin
