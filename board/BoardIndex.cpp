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

uint64_t mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

}  // namespace

uint64_t BoardIndex::netHash() const {
    uint64_t h = 0;
    for (const auto& w : board_.wireComplexList) {
        h = mix(h, reinterpret_cast<uintptr_t>(w.get()));
        for (const TLine& l : w->lineList) {
            h = mix(h, key(l.sx, l.sy));
            h = mix(h, key(l.ex, l.ey));
        }
    }
    return h;
}

void BoardIndex::verify() {
    if (!devicesDirty_) {
        const auto& list = board_.deviceList;
        if (list.size() != placed_.size()) {
            devicesDirty_ = true;
        } else {
            for (size_t i = 0; i < list.size(); ++i) {
                const TDevice& d = *list[i];
                const Placed& p = placed_[i];
                if (p.d != &d || p.x != d.xPos || p.y != d.yPos || p.draft != d.draft.get() ||
                    p.w != d.draft->width || p.h != d.draft->Height) {
                    devicesDirty_ = true;
                    break;
                }
            }
        }
    }
    if (!netsDirty_ && (board_.wireComplexList.size() != netCount_ || netHash() != netHash_))
        netsDirty_ = true;
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
            for (int cx = cl; cx <= cr; ++cx) cells_[key(cx, cy)].push_back(static_cast<uint32_t>(i));
    }
    devicesDirty_ = false;
}

void BoardIndex::buildNets() {
    ends_.clear();
    const auto& list = board_.wireComplexList;
    for (size_t i = 0; i < list.size(); ++i) {
        const auto n = static_cast<uint32_t>(i);
        for (const TLine& l : list[i]->lineList) {
            for (uint64_t k : {key(l.sx, l.sy), key(l.ex, l.ey)}) {
                auto& v = ends_[k];
                // Nets are visited in list order, so a net already listed at this point is last.
                if (v.empty() || v.back() != n) v.push_back(n);
            }
        }
    }
    netCount_ = list.size();
    netHash_ = netHash();
    netsDirty_ = false;
}

long BoardIndex::deviceAt(int x, int y, int inner) {
    if (devicesDirty_) buildDevices();
    long best = -1;
    auto consider = [&](uint32_t i) {
        if (best >= 0 && static_cast<long>(i) >= best) return;
        if (placed_[i].d->pointIn(x, y, inner)) best = static_cast<long>(i);
    };
    if (auto it = cells_.find(key(cellOf(x), cellOf(y))); it != cells_.end())
        for (uint32_t i : it->second) consider(i);
    for (uint32_t i : oversize_) consider(i);
    return best;
}

void BoardIndex::wiresAt(int x, int y, std::vector<long>& out) {
    if (netsDirty_) buildNets();
    out.clear();
    if (auto it = ends_.find(key(x, y)); it != ends_.end())
        for (uint32_t i : it->second) out.push_back(static_cast<long>(i));
}

int BoardIndex::anyWireEndIn(int l, int t, int r, int b) {
    if ((static_cast<long long>(r) - l + 1) * (static_cast<long long>(b) - t + 1) > kMaxRectPoints) return -1;
    if (netsDirty_) buildNets();
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x)
            if (ends_.count(key(x, y))) return 1;
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
            if (auto it = cells_.find(key(cx, cy)); it != cells_.end())
                for (uint32_t i : it->second)
                    if (meets(i)) return 1;
    for (uint32_t i : oversize_)
        if (meets(i)) return 1;
    return 0;
}

}  // namespace gw
