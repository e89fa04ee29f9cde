#include "ui/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {
bool s_allocationsFail = false;
}  // namespace

AllocationsFail::AllocationsFail() { s_allocationsFail = true; }
AllocationsFail::~AllocationsFail() { s_allocationsFail = false; }

// They replace the library's, for the whole test program.
void* operator new(std::size_t size) {
    if (!s_allocationsFail) {
        if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
