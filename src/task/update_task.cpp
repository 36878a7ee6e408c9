#include "task/update_task.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"

namespace korin {

// Until the Task Scheduler procedures arrive the task cannot be made: both
// calls fail with ERROR_CALL_NOT_IMPLEMENTED and log nothing.
bool createUpdateTask(const Platform&, const std::wstring&) {
    setLastError(kErrorCallNotImplemented);
    return false;
}

bool deleteUpdateTask(const Platform&) {
    setLastError(kErrorCallNotImplemented);
    return false;
}

std::wstring randomStartBoundary(const Platform&) {
    return L"2000-01-01T00:00:00Z";
}

}  // namespace korin
