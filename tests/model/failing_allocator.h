// Memory that runs out on demand: the test program's operator new, which
// every allocation of the program's own C++ code goes through, fails while an
// AllocationsFail lives. The system's own allocations go on.
#pragma once

#include <cstddef>

class AllocationsFail {
public:
    // Every allocation fails; with largest, only those of more bytes, as in a
    // 32-bit address space too fragmented for a large block.
    explicit AllocationsFail(std::size_t largest = 0);
    ~AllocationsFail();
    AllocationsFail(const AllocationsFail&) = delete;
    AllocationsFail& operator=(const AllocationsFail&) = delete;
};
