#pragma once

#include <cstddef>

namespace korin::testing {

// Makes the calling thread's next heap allocation of exactly size bytes
// (after skip such allocations) throw std::bad_alloc, for as long as the
// object lives. The test binaries replace the global operator new for it.
class AllocationFault {
  public:
    explicit AllocationFault(std::size_t size, int skip = 0);
    ~AllocationFault();
    AllocationFault(const AllocationFault&) = delete;
    AllocationFault& operator=(const AllocationFault&) = delete;

    // Whether the planned failure happened.
    bool happened() const;
};

}  // namespace korin::testing
