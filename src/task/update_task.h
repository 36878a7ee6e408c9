#pragma once

// The hourly task that brings the service back: created or repaired, and
// deleted, through the Task Scheduler 2.0 interfaces on NT 6.0 and later and
// the 1.0 interfaces before.

#include <string>

namespace korin {

struct Platform;

inline constexpr wchar_t kUpdateTaskName[] = L"Vemra Korin Player Updater";

// True when the task was created or an existing one was updated.
bool createUpdateTask(const Platform& platform, const std::wstring& modulePath);
// True only when the platform's delete answered exactly S_OK.
bool deleteUpdateTask(const Platform& platform);
// "YYYY-MM-DDT00:mm:00Z"-shaped: 1 January 2000 at a random minute past
// midnight, 20 characters.
std::wstring randomStartBoundary(const Platform& platform);

}  // namespace korin
