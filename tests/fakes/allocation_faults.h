#pragma once

#include <cstddef>

namespace korin::testing {

// Makes the calling thread's next heap allocation of exactly size bytes
// (after skip such allocations) throw std::bad_alloc, for as long as the
// object lives. The test binaries replace the global operator new for it.
class AllocationFault {
  public:
    // The calling thread's n-th heap allocation from now (1: the next one),
    // of any size: a loop over n fails each allocation of a path in turn.
    struct Nth {
        int n;
    };

    explicit AllocationFault(std::size_t size, int skip = 0);
    explicit AllocationFault(Nth nth);
    ~AllocationFault();
    AllocationFault(const AllocationFault&) = delete;
    AllocationFault& operator=(const AllocationFault&) = delete;

    // Whether the planned failure happened.
    bool happened() const;
};

// One run of a path with the calling thread's n-th allocation failing:
// whether anything was thrown out of it, and whether it reached that
// allocation (a loop over n = 1, 2, ... ends at the first run that did not).
struct NthAllocationRun {
    bool thrown;
    bool reached;
};
template <typename Run>
NthAllocationRun runWithNthAllocationFailing(int n, Run run) {
    AllocationFault fault(AllocationFault::Nth{n});
    try {
        run();
    } catch (...) {
        return {true, fault.happened()};
    }
    return {false, fault.happened()};
}

// While one lives, the calling thread's allocations are neither failed nor
// counted: a fake's own bookkeeping, where the call it stands for fails, if
// at all, with a result and never with an exception.
class AllocationFaultsPaused {
  public:
    AllocationFaultsPaused();
    ~AllocationFaultsPaused();
    AllocationFaultsPaused(const AllocationFaultsPaused&) = delete;
    AllocationFaultsPaused& operator=(const AllocationFaultsPaused&) = delete;
};

}  // namespace korin::testing
