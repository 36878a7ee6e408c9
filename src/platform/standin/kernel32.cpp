// kernel32's Wow64 redirection switches on the stand-in machine: they turn
// the calling thread's switch that the stand-in's files consult.

#include "platform/last_error.h"
#include "platform/standin/machine.h"
#include "platform/error_codes.h"
#include "platform/standin/system_exports.h"

namespace korin::standin {

namespace {

constexpr std::uint32_t kErrorInvalidFunction = 1;

// The old value handed back: the switch as it was, encoded as a pointer.
void* encode(bool enabled) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(enabled ? 1 : 2));
}

}  // namespace

crypto::Bool Wow64DisableWow64FsRedirection(void** oldValue) {
    if (oldValue == nullptr) {
        setLastError(kErrorInvalidParameter);
        return 0;
    }
    *oldValue = encode(wow64RedirectionEnabled());
    setWow64RedirectionEnabled(false);
    return 1;
}

crypto::Bool Wow64RevertWow64FsRedirection(void* oldValue) {
    if (oldValue != encode(true) && oldValue != encode(false)) {
        setLastError(kErrorInvalidParameter);
        return 0;
    }
    setWow64RedirectionEnabled(oldValue == encode(true));
    return 1;
}

crypto::Bool Wow64DisableWow64FsRedirection32(void** oldValue) {
    (void)oldValue;
    setLastError(kErrorInvalidFunction);
    return 0;
}

crypto::Bool Wow64RevertWow64FsRedirection32(void* oldValue) {
    (void)oldValue;
    setLastError(kErrorInvalidFunction);
    return 0;
}

}  // namespace korin::standin
