#include "service/service_registration.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"

namespace korin {

// Until the Service Control Manager operations arrive, the start request
// fails with ERROR_CALL_NOT_IMPLEMENTED and logs nothing.
bool scmStartService(const Platform&, const ServiceInfo&) {
    setLastError(kErrorCallNotImplemented);
    return false;
}

}  // namespace korin
