// Replaces the global allocator with one that counts, so a test can prove that a hot loop does not
// allocate. Include it in exactly one source file of a test binary.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace gwtest {
inline std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
    ++gwtest::allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
