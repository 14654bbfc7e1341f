#include "model/Wire.h"

#include <algorithm>

#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

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
        if (n > UINT32_MAX / 2) throw std::length_error("KnotList too long");
        reallocate(std::max<uint32_t>(2, n * 2));
    }
    data()[n] = k;
    ++b_->size;
}

void KnotList::reserve(size_t n) {
    if (n > UINT32_MAX) throw std::length_error("KnotList too long");
    if (n > (b_ ? b_->cap : 0)) reallocate(static_cast<uint32_t>(n));
}

// The blocks come from the pools of small blocks (model/ObjectPool.h): one or two junctions, the
// common case, take 24 or 32 bytes with no allocator header.
void KnotList::reallocate(uint32_t cap) {
    const uint32_t n = static_cast<uint32_t>(size());
    auto* nb = static_cast<Block*>(takeBlock(bytesFor(cap)));
    nb->size = n;
    nb->cap = cap;
    if (n) std::memcpy(reinterpret_cast<TKnot*>(nb + 1), data(), size_t{n} * sizeof(TKnot));
    release();
    b_ = nb;
}

void KnotList::release() noexcept {
    if (b_) giveBlock(b_, bytesFor(b_->cap));
    b_ = nullptr;
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

namespace {
// The junctions of the nets that keep some, by net. The nets use them on one thread, like the rest
// of the board; never destroyed, so that nets freed while the program exits still find it.
std::unordered_map<const TWireComplex*, KnotList>& knotTable() {
    static auto* t = new std::unordered_map<const TWireComplex*, KnotList>();
    return *t;
}
}  // namespace

TWireComplex::TWireComplex(const TWireComplex& o)
    : Input(o.Input), outputList(o.outputList), lineList(o.lineList), State(o.State), highlightIt(o.highlightIt),
      notValid(o.notValid) {}

TWireComplex& TWireComplex::operator=(const TWireComplex& o) {
    if (this != &o) {
        Input = o.Input;
        outputList = o.outputList;
        lineList = o.lineList;
        State = o.State;
        highlightIt = o.highlightIt;
        notValid = o.notValid;
        dropKnots();
    }
    return *this;
}

const KnotList& TWireComplex::knots() const {
    static const KnotList none;
    if (!hasKnots) return none;
    const auto it = knotTable().find(this);
    return it == knotTable().end() ? none : it->second;
}

size_t TWireComplex::netsKeepingKnots() { return knotTable().size(); }

void TWireComplex::dropKnots() {
    if (hasKnots) knotTable().erase(this);
    hasKnots = 0;
    updateKnots = 1;
}

void TWireComplex::recalcKnots() {
    // Every segment end, sorted, then counted: a long net (a bus of thousands of segments) costs
    // n log n, not a comparison of every end with every other.
    static thread_local std::vector<std::pair<int, int>> ends;
    ends.clear();
    ends.reserve(lineList.size() * 2);
    for (const TLine l : lineList) {
        ends.emplace_back(l.sx, l.sy);
        ends.emplace_back(l.ex, l.ey);
    }
    std::sort(ends.begin(), ends.end());
    // Runs of three or more equal ends, counted first so that the list takes exactly their room.
    auto forJunctions = [&](auto&& f) {
        for (size_t i = 0; i < ends.size();) {
            size_t j = i + 1;
            while (j < ends.size() && ends[j] == ends[i]) ++j;
            if (j - i >= 3) f(TKnot{ends[i].first, ends[i].second, static_cast<int>(j - i)});
            i = j;
        }
    };
    size_t junctions = 0;
    forJunctions([&](const TKnot&) { ++junctions; });
    if (junctions == 0) {
        if (hasKnots) dropKnots();
    } else {
        KnotList& list = knotTable()[this];
        hasKnots = 1;
        list = KnotList();
        list.reserve(junctions);
        forJunctions([&](const TKnot& k) { list.push_back(k); });
    }
    updateKnots = 0;
    if (ends.capacity() > 4096) ends = {};         // one huge net does not pin its scratch memory
}

}  // namespace gw
