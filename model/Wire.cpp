#include "model/Wire.h"

#include <algorithm>

#include <cstring>
#include <iterator>
#include <map>
#include <new>

#include "model/SlotStore.h"

namespace gw {

NetCell* detail::gNetValues = nullptr;

namespace {

// Never destroyed: nets held by other objects that live until exit may be freed after any
// destructor of this file would have run.
SlotArena& store() {
    static SlotArena* s = [] {
        const ValueRegions& r = valueRegions();
        auto* a = new SlotArena(sizeof(NetCell), NetValueStore::kChunkSlots, r.base,
                                std::min<size_t>(r.halfBytes, size_t{NetValueStore::kMaxSlots} * sizeof(NetCell)), 2);
        detail::gNetValues = reinterpret_cast<NetCell*>(a->base());
        return a;
    }();
    return *s;
}

}  // namespace

NetCell* NetValueStore::base() { return reinterpret_cast<NetCell*>(store().base()); }
uint32_t NetValueStore::acquire(int value) {
    const uint32_t s = store().acquire();
    detail::gNetValues[s] = NetValue::cell(value);
    return s;
}
void NetValueStore::release(uint32_t slot) { store().release(slot); }
uint32_t NetValueStore::acquireRun(uint32_t n) { return store().acquireRun(n); }
void NetValueStore::releaseRun(uint32_t first, uint32_t n) { store().releaseRun(first, n); }
size_t NetValueStore::inUse() { return store().inUse(); }
size_t NetValueStore::top() { return store().top(); }
size_t NetValueStore::committedBytes() { return store().committedBytes(); }

KnotList& KnotList::operator=(const KnotList& o) {
    if (this == &o) return *this;
    clear();
    for (const TKnot& k : o) push_back(k);
    return *this;
}

void KnotList::push_back(const TKnot& k) {
    const uint32_t n = static_cast<uint32_t>(size());
    if (!b_ || n == b_->cap) {
        const uint32_t cap = std::max<uint32_t>(4, n * 2);
        auto* nb = static_cast<Block*>(::operator new(sizeof(Block) + size_t{cap} * sizeof(TKnot)));
        nb->size = n;
        nb->cap = cap;
        if (n) std::memcpy(reinterpret_cast<TKnot*>(nb + 1), data(), size_t{n} * sizeof(TKnot));
        ::operator delete(b_);
        b_ = nb;
    }
    data()[n] = k;
    ++b_->size;
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

bool TWireComplex::addWire(int sx, int sy, int ex, int ey) {
    if (containsLine(sx, sy, ex, ey)) return false;
    lineList.push_back(TLine{sx, sy, ex, ey});
    updateKnots = 1;
    return true;
}

bool TWireComplex::containsLine(int x1, int y1, int x2, int y2) const {
    for (const TLine l : lineList) {
        if (l.sx == x1 && l.sy == y1 && l.ex == x2 && l.ey == y2) return true;
        if (l.sx == x2 && l.sy == y2 && l.ex == x1 && l.ey == y1) return true;
    }
    return false;
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
