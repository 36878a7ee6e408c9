#pragma once

// One owner for every kind of handle, in the spirit of WIL's unique_any: it
// closes its handle on every path out of the scope that holds it, and the
// close never changes the thread's last error, so that a handle closed on
// the way out of a failed call does not replace the code the caller is about
// to log. Traits say what no handle is (`invalid()`) and how one is closed
// (`close`); traits that need a library to close through carry it.

#include "platform/last_error.h"

#include <cstdint>
#include <utility>

namespace korin {

template <typename Handle, typename Traits>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    explicit UniqueResource(Traits traits) : traits_(std::move(traits)) {}
    UniqueResource(Handle handle, Traits traits) : handle_(handle), traits_(std::move(traits)) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept
        : handle_(other.release()), traits_(std::move(other.traits_)) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            traits_ = std::move(other.traits_);
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Handle get() const { return handle_; }
    // For a call that hands a handle out: what was held is closed first.
    Handle* put() {
        reset();
        return &handle_;
    }
    [[nodiscard]] Handle release() { return std::exchange(handle_, Traits::invalid()); }
    void reset(Handle handle = Traits::invalid()) {
        if (handle_ != Traits::invalid()) {
            const std::uint32_t error = lastError();
            traits_.close(handle_);
            setLastError(error);
        }
        handle_ = handle;
    }
    explicit operator bool() const { return handle_ != Traits::invalid(); }

  private:
    Handle handle_ = Traits::invalid();
    [[no_unique_address]] Traits traits_{};
};

}  // namespace korin
