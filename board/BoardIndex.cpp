// The board's spatial index (see BoardIndex.h).
#include "board/BoardIndex.h"

#include <algorithm>

#include "board/BoardEngine.h"

namespace gw {

namespace {

constexpr int kCellShift = 4;           // buckets of 16 x 16 grid points
constexpr long long kMaxCellsPerBody = 64;
constexpr long long kMaxRectPoints = 4096;

uint64_t key(int x, int y) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
}
// Arithmetic shift floors negative coordinates too, so bucket -1 holds -16 .. -1.
int cellOf(int v) { return v >> kCellShift; }

struct Body {
    int l, t, r, b;
};
Body bodyOf(int x, int y, int w, int h) {
    return Body{x - static_cast<int>(0.5 * w), y - static_cast<int>(0.5 * h),
                x + static_cast<int>(0.5 * w) + odd(w), y + static_cast<int>(0.5 * h) + odd(h)};
}

}  // namespace

void FlatMultiMap::clear() {
    pairs_.clear();
    keys_.clear();
    used_.clear();
    start_.clear();
    count_.clear();
    last_.clear();
    items_.clear();
    bits_ = 0;
}

size_t FlatMultiMap::slotOf(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
}

void FlatMultiMap::build() {
    bits_ = 4;
    while ((size_t{1} << bits_) < 2 * pairs_.size()) ++bits_;
    const size_t cap = size_t{1} << bits_, mask = cap - 1;
    keys_.assign(cap, 0);
    used_.assign(cap, 0);
    count_.assign(cap, 0);
    last_.assign(cap, UINT32_MAX);
    std::vector<uint32_t> slot(pairs_.size());
    for (size_t i = 0; i < pairs_.size(); ++i) {
        size_t s = slotOf(pairs_[i].first);
        while (used_[s] && keys_[s] != pairs_[i].first) s = (s + 1) & mask;
        used_[s] = 1;
        keys_[s] = pairs_[i].first;
        slot[i] = static_cast<uint32_t>(s);
        // Positions arrive in ascending order, so a repeat is always the last one counted.
        if (last_[s] != pairs_[i].second) {
            last_[s] = pairs_[i].second;
            ++count_[s];
        } else {
            slot[i] = UINT32_MAX;
        }
    }
    start_.assign(cap, 0);
    uint32_t total = 0;
    for (size_t s = 0; s < cap; ++s) {
        start_[s] = total;
        total += count_[s];
    }
    items_.resize(total);
    std::vector<uint32_t> fill(start_);
    for (size_t i = 0; i < pairs_.size(); ++i)
        if (slot[i] != UINT32_MAX) items_[fill[slot[i]]++] = pairs_[i].second;
    pairs_.clear();
    pairs_.shrink_to_fit();
}

std::pair<const uint32_t*, const uint32_t*> FlatMultiMap::find(uint64_t key) const {
    if (keys_.empty()) return {nullptr, nullptr};
    const size_t mask = keys_.size() - 1;
    for (size_t s = slotOf(key); used_[s]; s = (s + 1) & mask) {
        if (keys_[s] == key) {
            const uint32_t* b = items_.data() + start_[s];
            return {b, b + count_[s]};
        }
    }
    return {nullptr, nullptr};
}

BoardIndex::NetShape BoardIndex::shapeOf(const TWireComplex& w) {
    const TLine* back = w.lineList.empty() ? nullptr : &w.lineList.back();
    return NetShape{&w, w.lineList.size(), w.lineList.data(), back ? back->ex : 0, back ? back->ey : 0};
}

void BoardIndex::verify() {
    // A type's body size never changes, so a device is where it was indexed when it is the same
    // object at the same point with the same type. A net is unchanged when its segment list is the
    // same array of the same length ending in the same point: the board replaces nets it cuts, and
    // adding or erasing segments changes the length or the last one.
    if (!devicesDirty_) {
        const auto& list = board_.deviceList;
        if (list.size() != placed_.size()) {
            devicesDirty_ = true;
        } else {
            for (size_t i = 0; i < list.size(); ++i) {
                const TDevice& d = *list[i];
                const Placed& p = placed_[i];
                if (p.d != &d || p.x != d.xPos || p.y != d.yPos || p.draft != d.draft.get()) {
                    devicesDirty_ = true;
                    break;
                }
            }
        }
    }
    if (!netsDirty_) {
        const auto& list = board_.wireComplexList;
        if (list.size() != nets_.size()) {
            netsDirty_ = true;
        } else {
            for (size_t i = 0; i < list.size(); ++i) {
                const NetShape now = shapeOf(*list[i]), &was = nets_[i];
                if (now.w != was.w || now.size != was.size || now.data != was.data ||
                    now.lastX != was.lastX || now.lastY != was.lastY) {
                    netsDirty_ = true;
                    break;
                }
            }
        }
    }
}

void BoardIndex::buildDevices() {
    placed_.clear();
    cells_.clear();
    oversize_.clear();
    const auto& list = board_.deviceList;
    placed_.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const TDevice& d = *list[i];
        const int w = d.draft->width, h = d.draft->Height;
        placed_.push_back(Placed{&d, d.xPos, d.yPos, w, h, d.draft.get()});
        const Body b = bodyOf(d.xPos, d.yPos, w, h);
        const int cl = cellOf(b.l), cr = cellOf(b.r), ct = cellOf(b.t), cb = cellOf(b.b);
        const long long cells = (static_cast<long long>(cr) - cl + 1) * (static_cast<long long>(cb) - ct + 1);
        if (cr < cl || cb < ct || cells > kMaxCellsPerBody) {
            oversize_.push_back(static_cast<uint32_t>(i));
            continue;
        }
        for (int cy = ct; cy <= cb; ++cy)
            for (int cx = cl; cx <= cr; ++cx) cells_.add(key(cx, cy), static_cast<uint32_t>(i));
    }
    cells_.build();
    devicesDirty_ = false;
}

void BoardIndex::buildNets() {
    ends_.clear();
    nets_.clear();
    const auto& list = board_.wireComplexList;
    nets_.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const auto n = static_cast<uint32_t>(i);
        nets_.push_back(shapeOf(*list[i]));
        for (const TLine& l : list[i]->lineList) {
            ends_.add(key(l.sx, l.sy), n);
            ends_.add(key(l.ex, l.ey), n);
        }
    }
    ends_.build();
    netsDirty_ = false;
}

long BoardIndex::deviceAt(int x, int y, int inner) {
    if (devicesDirty_) buildDevices();
    long best = -1;
    auto consider = [&](uint32_t i) {
        if (best >= 0 && static_cast<long>(i) >= best) return;
        if (placed_[i].d->pointIn(x, y, inner)) best = static_cast<long>(i);
    };
    for (auto [p, e] = cells_.find(key(cellOf(x), cellOf(y))); p != e; ++p) consider(*p);
    for (uint32_t i : oversize_) consider(i);
    return best;
}

long BoardIndex::deviceAtPixel(int px, int py) {
    if (devicesDirty_) buildDevices();
    // A body's pixel rectangle spans exactly its closed grid body times 20, so any device holding
    // the pixel holds the grid point at the pixel's floored cell and sits in that point's bucket.
    auto floorDiv = [](int v) { return v >= 0 ? v / 20 : -static_cast<int>((-static_cast<long long>(v) + 19) / 20); };
    const int gx = floorDiv(px), gy = floorDiv(py);
    long best = -1;
    auto consider = [&](uint32_t i) {
        if (best >= 0 && static_cast<long>(i) >= best) return;
        const Placed& p = placed_[i];
        const long long left = 20LL * (p.x - static_cast<int>(0.5 * p.w));
        const long long top = 20LL * (p.y - static_cast<int>(0.5 * p.h));
        if (left <= px && px <= left + 20LL * p.w && top <= py && py <= top + 20LL * p.h)
            best = static_cast<long>(i);
    };
    for (auto [p, e] = cells_.find(key(cellOf(gx), cellOf(gy))); p != e; ++p) consider(*p);
    for (uint32_t i : oversize_) consider(i);
    return best;
}

void BoardIndex::wiresAt(int x, int y, std::vector<long>& out) {
    if (netsDirty_) buildNets();
    out.clear();
    for (auto [p, e] = ends_.find(key(x, y)); p != e; ++p) out.push_back(static_cast<long>(*p));
}

int BoardIndex::anyWireEndIn(int l, int t, int r, int b) {
    if ((static_cast<long long>(r) - l + 1) * (static_cast<long long>(b) - t + 1) > kMaxRectPoints) return -1;
    if (netsDirty_) buildNets();
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x)
            if (ends_.contains(key(x, y))) return 1;
    return 0;
}

int BoardIndex::anyDeviceMeets(int l, int t, int r, int b, const TDevice* ignore) {
    const int cl = cellOf(l), cr = cellOf(r), ct = cellOf(t), cb = cellOf(b);
    if ((static_cast<long long>(cr) - cl + 1) * (static_cast<long long>(cb) - ct + 1) > kMaxCellsPerBody) return -1;
    if (devicesDirty_) buildDevices();
    auto meets = [&](uint32_t i) {
        const Placed& p = placed_[i];
        if (p.d == ignore) return false;
        const Body o = bodyOf(p.x, p.y, p.w, p.h);
        return o.l <= r && l <= o.r && o.t <= b && t <= o.b;
    };
    for (int cy = ct; cy <= cb; ++cy)
        for (int cx = cl; cx <= cr; ++cx)
            for (auto [p, e] = cells_.find(key(cx, cy)); p != e; ++p)
                if (meets(*p)) return 1;
    for (uint32_t i : oversize_)
        if (meets(i)) return 1;
    return 0;
}

}  // namespace gw
