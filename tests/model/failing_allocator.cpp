#include "model/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {
bool s_allocationsFail = false;
std::size_t s_largest = 0;
}  // namespace

AllocationsFail::AllocationsFail(std::size_t largest) {
    s_allocationsFail = true;
    s_largest = largest;
}
AllocationsFail::~AllocationsFail() { s_allocationsFail = false; }

// They replace the library's, for the whole test program.
void* operator new(std::size_t size) {
    if (!s_allocationsFail || size <= s_largest) {
        if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
