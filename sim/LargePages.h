// An allocator for the compiled step's big arrays: blocks of 2 MB and more come from their own
// mapping, aligned to 2 MB and marked for large pages, so that streaming through megabytes of ops
// takes a handful of address translations instead of one per 4 kB. Smaller blocks come from
// operator new as usual. Where large pages are not granted the mapping simply keeps small ones; a
// block the system refuses to map at all is out of memory, as it would be for operator new.
#pragma once

#include <cstddef>
#include <new>

namespace gw {

namespace largepages {
constexpr size_t kPage = size_t{2} << 20;
// A block of `bytes` (at least kPage), aligned to kPage. Throws std::bad_alloc when it cannot be
// mapped.
void* map(size_t bytes);
void unmap(void* p, size_t bytes);
// Bytes mapped by map() and not yet unmapped (for the memory figures of the benchmarks).
size_t mappedBytes();
}  // namespace largepages

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) {}  // NOLINT: rebinding

    T* allocate(size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes >= largepages::kPage) return static_cast<T*>(largepages::map(bytes));
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* p, size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes >= largepages::kPage)
            largepages::unmap(p, bytes);
        else
            ::operator delete(p);
    }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const {
        return true;
    }
};

}  // namespace gw
