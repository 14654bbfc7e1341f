#include "model/SlotStore.h"

#include <sys/mman.h>

#include <algorithm>
#include <iterator>
#include <new>

namespace gw {

const ValueRegions& valueRegions() {
    static const ValueRegions r = [] {
        // Address space only, aligned to 2 MB so that each chunk can be one large page. A system
        // that refuses the whole range gets a smaller one; a million-device board needs a few
        // megabytes.
        constexpr size_t kAlign = size_t{1} << 21;
        for (size_t half = size_t{1} << 30; half >= kAlign * 8; half /= 2) {
            void* p = mmap(nullptr, 2 * half + kAlign, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED) continue;
            const auto a = reinterpret_cast<uintptr_t>(p);
            return ValueRegions{reinterpret_cast<char*>((a + kAlign - 1) / kAlign * kAlign), half};
        }
        throw std::bad_alloc();
    }();
    return r;
}

SlotArena::SlotArena(size_t cellBytes, uint32_t chunkCells, char* region, size_t regionBytes, uint32_t reserved)
    : base_(region),
      cell_(cellBytes),
      chunk_(chunkCells),
      limit_(static_cast<uint32_t>(std::min<size_t>(regionBytes / cellBytes, UINT32_MAX))) {
    grow(reserved);
    top_ = reserved;
}

uint32_t SlotArena::acquire() {
    uint32_t s;
    if (!free_.empty()) {
        s = free_.back();
        free_.pop_back();
    } else {
        grow(uint64_t{top_} + 1);
        s = top_++;
    }
    ++inUse_;
    return s;
}

void SlotArena::release(uint32_t s) {
    free_.push_back(s);
    --inUse_;
}

uint32_t SlotArena::acquireRun(uint32_t n) {
    if (n == 0) return top_;
    // The first freed run that is long enough, else fresh cells at the top.
    for (auto it = runs_.begin(); it != runs_.end(); ++it) {
        if (it->second < n) continue;
        const uint32_t first = it->first, len = it->second;
        runs_.erase(it);
        if (len > n) runs_.emplace(first + n, len - n);
        inUse_ += n;
        return first;
    }
    if (n > limit_ - top_) throw std::bad_alloc();
    grow(uint64_t{top_} + n);
    const uint32_t first = top_;
    top_ += n;
    inUse_ += n;
    return first;
}

void SlotArena::releaseRun(uint32_t first, uint32_t n) {
    if (n == 0) return;
    inUse_ -= n;
    auto it = runs_.emplace(first, n).first;
    // Join with the neighbours, so that runs of many sizes do not splinter the arena.
    if (it != runs_.begin()) {
        auto prev = std::prev(it);
        if (prev->first + prev->second == it->first) {
            prev->second += it->second;
            runs_.erase(it);
            it = prev;
        }
    }
    auto next = std::next(it);
    if (next != runs_.end() && it->first + it->second == next->first) {
        it->second += next->second;
        runs_.erase(next);
    }
}

void SlotArena::grow(uint64_t cells) {
    if (cells <= committed_) return;
    if (cells > limit_) throw std::bad_alloc();
    const uint64_t to = std::min<uint64_t>((cells + chunk_ - 1) / chunk_ * chunk_, limit_);
    char* from = base_ + size_t{committed_} * cell_;
    const size_t bytes = (to - committed_) * cell_;
    if (mprotect(from, bytes, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
    // Large pages where the system grants them on request; without, small pages serve.
    (void)madvise(from, bytes, MADV_HUGEPAGE);
    committed_ = static_cast<uint32_t>(to);
}

}  // namespace gw
