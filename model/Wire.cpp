#include "model/Wire.h"

#include <sys/mman.h>

#include <iterator>
#include <map>
#include <new>

namespace gw {

int* detail::gNetValues = nullptr;

namespace {

constexpr size_t kChunkBytes = size_t{NetValueStore::kChunkSlots} * sizeof(int);

class Store {
public:
    Store() {
        // Reserve address space only (no memory is committed for it), aligned to a chunk so that
        // each chunk can be one large page. A system that refuses the whole range gets a smaller
        // one; a million-device board needs a few megabytes.
        for (size_t want = size_t{NetValueStore::kMaxSlots} * sizeof(int); want >= kChunkBytes * 4; want /= 2) {
            void* p = mmap(nullptr, want + kChunkBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED) continue;
            const auto a = reinterpret_cast<uintptr_t>(p);
            const uintptr_t aligned = (a + kChunkBytes - 1) & ~(uintptr_t{kChunkBytes} - 1);
            base_ = reinterpret_cast<int*>(aligned);
            limit_ = static_cast<uint32_t>(want / sizeof(int));
            break;
        }
        if (!base_) throw std::bad_alloc();
        detail::gNetValues = base_;
        grow(2);  // the sink and the zero slot
        base_[NetValueStore::kSinkSlot] = 0;
        base_[NetValueStore::kZeroSlot] = 0;
        top_ = 2;
    }

    uint32_t acquire(int value) {
        uint32_t s;
        if (!free_.empty()) {
            s = free_.back();
            free_.pop_back();
        } else {
            grow(top_ + 1);
            s = top_++;
        }
        base_[s] = value;
        ++inUse_;
        return s;
    }

    void release(uint32_t s) {
        free_.push_back(s);
        --inUse_;
    }

    uint32_t acquireRun(uint32_t n) {
        if (n == 0) return top_;
        // The first freed run that is long enough, else fresh slots at the top.
        for (auto it = runs_.begin(); it != runs_.end(); ++it) {
            if (it->second < n) continue;
            const uint32_t first = it->first, len = it->second;
            runs_.erase(it);
            if (len > n) runs_.emplace(first + n, len - n);
            inUse_ += n;
            return first;
        }
        if (n > limit_ - top_) throw std::bad_alloc();
        grow(top_ + n);
        const uint32_t first = top_;
        top_ += n;
        inUse_ += n;
        return first;
    }

    void releaseRun(uint32_t first, uint32_t n) {
        if (n == 0) return;
        inUse_ -= n;
        auto it = runs_.emplace(first, n).first;
        // Join with the neighbours, so that runs of many sizes do not splinter the store.
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

    int* base() const { return base_; }
    size_t inUse() const { return inUse_; }
    size_t top() const { return top_; }
    size_t committed() const { return committed_ * sizeof(int); }

private:
    // Makes slots below `slots` usable.
    void grow(uint64_t slots) {
        if (slots <= committed_) return;
        if (slots > limit_) throw std::bad_alloc();
        const uint64_t to = std::min<uint64_t>((slots + NetValueStore::kChunkSlots - 1) / NetValueStore::kChunkSlots *
                                                   NetValueStore::kChunkSlots,
                                               limit_);
        char* from = reinterpret_cast<char*>(base_ + committed_);
        const size_t bytes = (to - committed_) * sizeof(int);
        if (mprotect(from, bytes, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
        // Large pages where the system grants them on request; without, small pages serve.
        (void)madvise(from, bytes, MADV_HUGEPAGE);
        committed_ = static_cast<uint32_t>(to);
    }

    int* base_ = nullptr;
    uint32_t limit_ = 0;      // slots reserved
    uint32_t committed_ = 0;  // slots with memory behind them
    uint32_t top_ = 0;        // slots ever handed out
    size_t inUse_ = 0;
    std::vector<uint32_t> free_;          // freed single slots, reused last freed first
    std::map<uint32_t, uint32_t> runs_;   // freed runs: first slot -> length
};

// Never destroyed: nets held by other objects that live until exit may be freed after any
// destructor of this file would have run.
Store& store() {
    static Store* s = new Store;
    return *s;
}

}  // namespace

int* NetValueStore::base() { return store().base(); }
uint32_t NetValueStore::acquire(int value) { return store().acquire(value); }
void NetValueStore::release(uint32_t slot) { store().release(slot); }
uint32_t NetValueStore::acquireRun(uint32_t n) { return store().acquireRun(n); }
void NetValueStore::releaseRun(uint32_t first, uint32_t n) { store().releaseRun(first, n); }
size_t NetValueStore::inUse() { return store().inUse(); }
size_t NetValueStore::top() { return store().top(); }
size_t NetValueStore::committedBytes() { return store().committed(); }

TLine TLine::createRightCoords(const TLine& line, double sx, double sy, double ox, double oy) {
    TLine r;
    r.sx = static_cast<int>(line.sx * sx + ox);
    r.sy = static_cast<int>(line.sy * sy + oy);
    r.ex = static_cast<int>(ox + sx * line.ex);
    r.ey = static_cast<int>(oy + sy * line.ey);
    return r;
}

void TWireComplex::Destroy() {
    notValid = 1;
    outputList.clear();
}

int TWireComplex::isAt(int x, int y) const {
    for (const TLine& l : lineList)
        if ((l.sx == x && l.sy == y) || (l.ex == x && l.ey == y)) return 1;
    return 0;
}

TLine* TWireComplex::addWire(int sx, int sy, int ex, int ey) {
    if (containsLine(sx, sy, ex, ey)) return nullptr;
    lineList.push_back(TLine{sx, sy, ex, ey});
    updateKnots = 1;
    return &lineList.back();
}

TLine* TWireComplex::containsLine(int x1, int y1, int x2, int y2) {
    for (TLine& l : lineList) {
        if (l.sx == x1 && l.sy == y1 && l.ex == x2 && l.ey == y2) return &l;
        if (l.sx == x2 && l.sy == y2 && l.ex == x1 && l.ey == y1) return &l;
    }
    return nullptr;
}

void TWireComplex::recalcKnots() {
    knotList.clear();
    for (const TLine& l : lineList) {
        addKnot(l.sx, l.sy);
        addKnot(l.ex, l.ey);
    }
}

void TWireComplex::addKnot(int x, int y) {
    for (TKnot& k : knotList)
        if (k.xPos == x && k.yPos == y) {
            ++k.Count;
            return;
        }
    knotList.push_back(TKnot{x, y, 1});
}

}  // namespace gw
