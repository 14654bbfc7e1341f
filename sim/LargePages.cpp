#include "sim/LargePages.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>

namespace gw::largepages {

namespace {
size_t rounded(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }
std::atomic<size_t> gMapped{0};
}  // namespace

void* map(size_t bytes) {
    const size_t len = rounded(bytes);
    // Map a page more than needed and cut the ends away, so the block starts on a 2 MB boundary.
    void* raw = mmap(nullptr, len + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto a = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (a + kPage - 1) & ~(uintptr_t{kPage} - 1);
    if (start > a) munmap(raw, start - a);
    const uintptr_t end = start + len;
    if (a + len + kPage > end) munmap(reinterpret_cast<void*>(end), a + len + kPage - end);
    // Refused (large pages off, or an old kernel): the block keeps small pages.
    (void)madvise(reinterpret_cast<void*>(start), len, MADV_HUGEPAGE);
    gMapped += len;
    return reinterpret_cast<void*>(start);
}

void unmap(void* p, size_t bytes) {
    munmap(p, rounded(bytes));
    gMapped -= rounded(bytes);
}

size_t mappedBytes() { return gMapped; }

}  // namespace gw::largepages
