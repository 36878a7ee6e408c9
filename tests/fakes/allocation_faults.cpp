#include "fakes/allocation_faults.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool armed = false;
thread_local bool failed = false;
thread_local int paused = 0;
thread_local bool anySize = false;
thread_local std::size_t failSize = 0;
thread_local int failSkip = 0;

}  // namespace

namespace korin::testing {

AllocationFault::AllocationFault(std::size_t size, int skip) {
    anySize = false;
    failSize = size;
    failSkip = skip;
    failed = false;
    armed = true;
}

AllocationFault::AllocationFault(Nth nth) {
    anySize = true;
    failSkip = nth.n - 1;
    failed = false;
    armed = true;
}

AllocationFault::~AllocationFault() {
    armed = false;
}

bool AllocationFault::happened() const {
    return failed;
}

AllocationFaultsPaused::AllocationFaultsPaused() {
    ++paused;
}

AllocationFaultsPaused::~AllocationFaultsPaused() {
    --paused;
}

}  // namespace korin::testing

namespace {

void* allocate(std::size_t size) {
    if (armed && paused == 0 && (anySize || size == failSize) && failSkip-- == 0) {
        armed = false;
        failed = true;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void* allocateOrNull(std::size_t size) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

// Every replaceable form, so that no allocation escapes to another allocator
// (a sanitizer's, say) and every form is freed by its own.
void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
