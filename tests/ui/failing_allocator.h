// Memory that runs out on demand: the test program's operator new, which
// every allocation of the program's own C++ code goes through, fails while an
// AllocationsFail lives. The system's own allocations go on.
#pragma once

class AllocationsFail {
public:
    AllocationsFail();
    ~AllocationsFail();
    AllocationsFail(const AllocationsFail&) = delete;
    AllocationsFail& operator=(const AllocationsFail&) = delete;
};
