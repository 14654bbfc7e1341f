#include "model/PinFlags.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace gw {

void PinFlags::release() noexcept {
    if (!isInline()) ::operator delete(block());
    w_ = kEmpty;
}

void PinFlags::resize(size_t n, int v) {
    const size_t old = size();
    if (isInline() && n <= kInline) {
        // Drop the flags past the new end, then store the count.
        const uint64_t keep = n < old ? (uint64_t{1} << (7 + n)) - 1 : ~uint64_t{0};
        w_ = ((w_ & keep) & ~(uint64_t{63} << 1)) | uint64_t{n} << 1;
    } else {
        if (n > (size_t{1} << 30)) throw std::length_error("PinFlags too long");
        const size_t cap = isInline() ? 0 : block()->cap;
        if (n > cap) {
            const size_t want = std::max(n, 2 * cap);
            const size_t newCap = (want + 63) / 64 * 64;
            auto* b = static_cast<Block*>(::operator new(sizeof(Block) + newCap / 8));
            std::memset(b->words(), 0, newCap / 8);
            b->size = static_cast<uint32_t>(old);
            b->cap = static_cast<uint32_t>(newCap);
            for (size_t i = 0; i < old; ++i)
                if (get(i)) b->words()[i / 64] |= uint64_t{1} << (i % 64);
            release();
            w_ = reinterpret_cast<uintptr_t>(b);
        }
        block()->size = static_cast<uint32_t>(n);
    }
    for (size_t i = old; i < n; ++i) set(i, v);
}

}  // namespace gw
