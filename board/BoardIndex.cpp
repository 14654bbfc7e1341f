// The board's spatial index (see BoardIndex.h).
#include "board/BoardIndex.h"

#include <algorithm>

#include "board/BoardEngine.h"

namespace gw {

namespace {

constexpr int kFineShift = 4;             // buckets of 16 x 16 grid points
constexpr int kCoarseShift = 8;           // buckets of 256 x 256 grid points
constexpr long long kMaxCellsPerBody = 64;
constexpr long long kMaxCellsPerSegment = 16;

uint64_t key(int x, int y) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
}
// Arithmetic shift floors negative coordinates too, so bucket -1 holds -16 .. -1.
int cellOf(int v) { return v >> kFineShift; }
int coarseOf(int v) { return v >> kCoarseShift; }

long long cellCount(int l, int t, int r, int b, int shift) {
    return (static_cast<long long>(r >> shift) - (l >> shift) + 1) *
           (static_cast<long long>(b >> shift) - (t >> shift) + 1);
}

bool meets(int l, int t, int r, int b, int l2, int t2, int r2, int b2) {
    return l <= r2 && l2 <= r && t <= b2 && t2 <= b;
}

// Sorts (order, record) hits by order and drops repeats of one record (an object met in several
// buckets).
void sortUnique(std::vector<std::pair<uint64_t, uint32_t>>& hits) {
    std::sort(hits.begin(), hits.end());
    hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
}

// One bit per record; `bits` grows to hold `records` bits.
void fitBits(std::vector<uint64_t>& bits, size_t records) {
    if (bits.size() * 64 < records) bits.resize((records + 63) / 64, 0);
}
bool isSet(const std::vector<uint64_t>& bits, uint32_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }
void setBit(std::vector<uint64_t>& bits, uint32_t i) { bits[i >> 6] |= uint64_t{1} << (i & 63); }

// Clears the bits of a query's hits when the query ends, however it ends: a bit left set would
// hide its object from every later query. Every set bit belongs to a hit (the hit is recorded
// first), so clearing their whole words clears them all.
struct SeenBitsReset {
    const std::vector<std::pair<uint64_t, uint32_t>>& hits;
    std::vector<uint64_t>& bits;
    ~SeenBitsReset() {
        for (const auto& h : hits) bits[h.second >> 6] = 0;
    }
};

struct Body {
    int l, t, r, b;
};
Body bodyOf(int x, int y, int w, int h) {
    return Body{x - static_cast<int>(0.5 * w), y - static_cast<int>(0.5 * h),
                x + static_cast<int>(0.5 * w) + odd(w), y + static_cast<int>(0.5 * h) + odd(h)};
}
// The closed body of a device record, from its position and size as indexed.
template <class Rec>
Body bodyOf(const Rec& r) {
    return bodyOf(r.x, r.y, r.w, r.h);
}

}  // namespace

void FlatMultiMap::clear() {
    pairs_.clear();
    keys_.clear();
    slots_.clear();
    start_.clear();
    items_.clear();
    bits_ = 0;
}

size_t FlatMultiMap::slotOf(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
}

void FlatMultiMap::rehash(unsigned bits) {
    bits_ = bits;
    const size_t mask = (size_t{1} << bits) - 1;
    slots_.assign(mask + 1, kEmpty);
    for (uint32_t id = 0; id < keys_.size(); ++id) {
        size_t s = slotOf(keys_[id]);
        while (slots_[s] != kEmpty) s = (s + 1) & mask;
        slots_[s] = id;
    }
}

void FlatMultiMap::build() {
    // The table is sized by the distinct keys, which may be far fewer than the pairs (a bucket
    // holds many objects): it grows as keys turn up instead of being sized for every pair.
    keys_.clear();
    rehash(4);
    std::vector<uint32_t> id(pairs_.size());
    for (size_t i = 0; i < pairs_.size(); ++i) {
        const uint64_t k = pairs_[i].first;
        size_t mask = slots_.size() - 1, s = slotOf(k);
        while (slots_[s] != kEmpty && keys_[slots_[s]] != k) s = (s + 1) & mask;
        if (slots_[s] == kEmpty) {
            slots_[s] = static_cast<uint32_t>(keys_.size());
            keys_.push_back(k);
            if (2 * keys_.size() > slots_.size()) rehash(bits_ + 1);
            id[i] = static_cast<uint32_t>(keys_.size() - 1);
        } else {
            id[i] = slots_[s];
        }
    }
    // Values arrive in ascending order, so a repeat under one key is always the last one counted.
    std::vector<uint32_t> count(keys_.size(), 0), last(keys_.size(), kEmpty);
    for (size_t i = 0; i < pairs_.size(); ++i) {
        if (last[id[i]] == pairs_[i].second) {
            id[i] = kEmpty;
            continue;
        }
        last[id[i]] = pairs_[i].second;
        ++count[id[i]];
    }
    start_.assign(keys_.size() + 1, 0);
    for (size_t k = 0; k < keys_.size(); ++k) start_[k + 1] = start_[k] + count[k];
    items_.resize(start_.back());
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (size_t i = 0; i < pairs_.size(); ++i)
        if (id[i] != kEmpty) items_[fill[id[i]]++] = pairs_[i].second;
    pairs_.clear();
    pairs_.shrink_to_fit();
    keys_.shrink_to_fit();
}

size_t FlatMultiMap::memoryBytes() const {
    return pairs_.capacity() * sizeof(pairs_[0]) + keys_.capacity() * sizeof(uint64_t) +
           (slots_.capacity() + start_.capacity() + items_.capacity()) * sizeof(uint32_t);
}

size_t GrowingMultiMap::memoryBytes() const {
    size_t n = base_.memoryBytes();
    for (const auto& [key, v] : extra_) n += 48 + v.capacity() * sizeof(uint32_t);
    return n;
}

BoardIndex::Memory BoardIndex::memoryBytes() const {
    Memory m{};
    m.deviceRecords = devices_.capacity() * sizeof(DeviceRec) + bigDevices_.capacity() * sizeof(uint32_t);
    m.deviceSlots = deviceSlot_.memoryBytes();
    m.deviceCells = deviceCells_.memoryBytes();
    m.netRecords = nets_.capacity() * sizeof(NetRec);
    m.netSlots = netSlot_.memoryBytes();
    m.runs = runs_.capacity() * sizeof(RunRec) + bigRuns_.capacity() * sizeof(uint32_t);
    m.runCells = runFine_.memoryBytes() + runCoarse_.memoryBytes();
    return m;
}

std::pair<const uint32_t*, const uint32_t*> FlatMultiMap::find(uint64_t key) const {
    if (slots_.empty()) return {nullptr, nullptr};
    const size_t mask = slots_.size() - 1;
    for (size_t s = slotOf(key); slots_[s] != kEmpty; s = (s + 1) & mask) {
        const uint32_t k = slots_[s];
        if (keys_[k] == key) return {items_.data() + start_[k], items_.data() + start_[k + 1]};
    }
    return {nullptr, nullptr};
}

void SlotMap::clear() {
    pairs_.clear();
    keys_.clear();
    slots_.clear();
    over_.clear();
}

void SlotMap::build() {
    // Objects placed one after another mostly lie at rising addresses: the sort has little to do.
    std::sort(pairs_.begin(), pairs_.end());
    keys_.resize(pairs_.size());
    slots_.resize(pairs_.size());
    for (size_t i = 0; i < pairs_.size(); ++i) {
        keys_[i] = pairs_[i].first;
        slots_[i] = pairs_[i].second;
    }
    std::vector<std::pair<uint64_t, uint32_t>>().swap(pairs_);
    keys_.shrink_to_fit();
    slots_.shrink_to_fit();
}

uint32_t SlotMap::find(const void* p) const {
    const uint64_t k = keyOf(p);
    if (!over_.empty()) {
        auto it = over_.find(k);
        if (it != over_.end()) return it->second;
    }
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), k);
    return it == keys_.end() || *it != k ? kNone : slots_[static_cast<size_t>(it - keys_.begin())];
}

// --- freshness ---

bool BoardIndex::liveDevice(const TDevice* d) const {
    const uint32_t s = deviceSlot_.find(d);
    return s != SlotMap::kNone && devices_[s].d.get() == d;
}

bool BoardIndex::liveNet(const TWireComplex* w) const {
    const uint32_t s = netSlot_.find(w);
    return s != SlotMap::kNone && nets_[s].w.get() == w;
}

void BoardIndex::checkGuards() {
    if (!devicesDirty_) {
        const auto& list = board_.deviceList;
        if (list.size() != liveDevices_ ||
            (!list.empty() && (!liveDevice(list.front().get()) || !liveDevice(list.back().get()))))
            devicesDirty_ = true;
    }
    if (!netsDirty_) {
        const auto& list = board_.wireComplexList;
        if (list.size() != liveNets_ ||
            (!list.empty() && (!liveNet(list.front().get()) || !liveNet(list.back().get()))))
            netsDirty_ = true;
    }
}

// --- devices ---

BoardIndex::DeviceRec BoardIndex::makeDevice(const DevicePtrFwd& d, uint64_t order) const {
    return DeviceRec{d, order, d->xPos, d->yPos, d->draft->width, d->draft->Height};
}

void BoardIndex::placeDevice(uint32_t slot, bool bulk) {
    const Body rec = bodyOf(devices_[slot]);
    const int cl = cellOf(rec.l), cr = cellOf(rec.r), ct = cellOf(rec.t), cb = cellOf(rec.b);
    if (cr < cl || cb < ct || cellCount(rec.l, rec.t, rec.r, rec.b, kFineShift) > kMaxCellsPerBody) {
        if (!bulk) std::erase_if(bigDevices_, [this](uint32_t s) { return deadDevice(s); });
        bigDevices_.push_back(slot);
        return;
    }
    for (int cy = ct; cy <= cb; ++cy) {
        for (int cx = cl; cx <= cr; ++cx) {
            if (bulk)
                deviceCells_.add(key(cx, cy), slot);
            else
                deviceCells_.insert(key(cx, cy), slot, [this](uint32_t s) { return deadDevice(s); });
        }
    }
}

void BoardIndex::rebuildDevices() {
    ++rebuilds_;
    devices_.clear();
    deviceCells_.clear();
    bigDevices_.clear();
    deviceSlot_.clear();
    const auto& list = board_.deviceList;
    devices_.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const auto slot = static_cast<uint32_t>(i);
        devices_.push_back(makeDevice(list[i], i));
        deviceSlot_.add(list[i].get(), slot);
        placeDevice(slot, true);
    }
    deviceCells_.build();
    deviceSlot_.build();
    liveDevices_ = list.size();
    nextDeviceOrder_ = list.size();
    devicesDirty_ = false;
}

void BoardIndex::deviceAdded(const DevicePtrFwd& d) {
    if (devicesDirty_) return;
    const auto slot = static_cast<uint32_t>(devices_.size());
    devices_.push_back(makeDevice(d, nextDeviceOrder_++));
    deviceSlot_.set(d.get(), slot);
    placeDevice(slot, false);
    ++liveDevices_;
}

void BoardIndex::deviceRemoved(const TDevice* d) {
    if (devicesDirty_) return;
    const uint32_t s = deviceSlot_.find(d);
    if (s == SlotMap::kNone || devices_[s].d.get() != d) {
        devicesDirty_ = true;  // never indexed: the lists were edited behind the board's back
        return;
    }
    devices_[s].d.reset();
    deviceSlot_.set(d, SlotMap::kNone);
    --liveDevices_;
}

void BoardIndex::deviceMoved(const TDevice* d) {
    if (devicesDirty_) return;
    const uint32_t s = deviceSlot_.find(d);
    if (s == SlotMap::kNone || devices_[s].d.get() != d) {
        devicesDirty_ = true;
        return;
    }
    // The old record dies where it stands; the new one keeps the device's place in the order.
    DevicePtrFwd keep = std::move(devices_[s].d);
    const auto slot = static_cast<uint32_t>(devices_.size());
    devices_.push_back(makeDevice(keep, devices_[s].order));
    deviceSlot_.set(d, slot);
    placeDevice(slot, false);
}

const DevicePtrFwd* BoardIndex::deviceAt(int x, int y, int inner) {
    ensureDevices();
    const DeviceRec* best = nullptr;
    auto consider = [&](uint32_t s) {
        const DeviceRec& p = devices_[s];
        if (!p.d || (best && best->order < p.order)) return;
        const Body r = bodyOf(p);
        const bool in = inner ? (r.l < x && x < r.r && r.t < y && y < r.b)
                              : (r.l <= x && x <= r.r && r.t <= y && y <= r.b);
        if (in) best = &p;
    };
    deviceCells_.forEach(key(cellOf(x), cellOf(y)), consider);
    for (uint32_t s : bigDevices_) consider(s);
    return best ? &best->d : nullptr;
}

const DevicePtrFwd* BoardIndex::deviceAtPixel(int px, int py) {
    ensureDevices();
    // A body's pixel rectangle spans exactly its closed grid body times 20, so any device holding
    // the pixel holds the grid point at the pixel's floored cell and sits in that point's bucket.
    auto floorDiv = [](int v) { return v >= 0 ? v / 20 : -static_cast<int>((-static_cast<long long>(v) + 19) / 20); };
    const int gx = floorDiv(px), gy = floorDiv(py);
    const DeviceRec* best = nullptr;
    auto consider = [&](uint32_t s) {
        const DeviceRec& p = devices_[s];
        if (!p.d || (best && best->order < p.order)) return;
        const long long left = 20LL * (p.x - static_cast<int>(0.5 * p.w));
        const long long top = 20LL * (p.y - static_cast<int>(0.5 * p.h));
        if (left <= px && px <= left + 20LL * p.w && top <= py && py <= top + 20LL * p.h) best = &p;
    };
    deviceCells_.forEach(key(cellOf(gx), cellOf(gy)), consider);
    for (uint32_t s : bigDevices_) consider(s);
    return best ? &best->d : nullptr;
}

int BoardIndex::anyDeviceMeets(int l, int t, int r, int b, const TDevice* ignore) {
    if (cellCount(l, t, r, b, kFineShift) > kMaxCellsPerBody) return -1;
    ensureDevices();
    auto hit = [&](uint32_t s) {
        const DeviceRec& p = devices_[s];
        if (!p.d || p.d.get() == ignore) return false;
        const Body q = bodyOf(p);
        return meets(l, t, r, b, q.l, q.t, q.r, q.b);
    };
    bool found = false;
    for (int cy = cellOf(t); cy <= cellOf(b) && !found; ++cy)
        for (int cx = cellOf(l); cx <= cellOf(r) && !found; ++cx)
            deviceCells_.forEach(key(cx, cy), [&](uint32_t s) { found = found || hit(s); });
    for (uint32_t s : bigDevices_)
        if (!found && hit(s)) found = true;
    return found ? 1 : 0;
}

int BoardIndex::devicesInRect(int l, int t, int r, int b, std::vector<TDevice*>& out) {
    out.clear();
    if (l > r || t > b) return 1;
    ensureDevices();
    // Walking buckets pays per bucket; scanning the list pays per device. Past the point where
    // the rectangle has more buckets than a sixteenth of the devices, the scan is the cheaper one.
    const long long cells = cellCount(l, t, r, b, kFineShift);
    if (cells > 64 + static_cast<long long>(liveDevices_ / 16)) return -1;
    hits_.clear();
    fitBits(seenDevices_, devices_.size());
    const SeenBitsReset reset{hits_, seenDevices_};
    auto consider = [&](uint32_t s) {
        if (isSet(seenDevices_, s)) return;
        const DeviceRec& p = devices_[s];
        if (!p.d) return;
        if (const Body q = bodyOf(p); meets(l, t, r, b, q.l, q.t, q.r, q.b)) {
            hits_.push_back({p.order, s});
            setBit(seenDevices_, s);
        }
    };
    for (int cy = cellOf(t); cy <= cellOf(b); ++cy)
        for (int cx = cellOf(l); cx <= cellOf(r); ++cx) deviceCells_.forEach(key(cx, cy), consider);
    for (uint32_t s : bigDevices_) consider(s);
    std::sort(hits_.begin(), hits_.end());
    for (const auto& h : hits_) out.push_back(devices_[h.second].d.get());
    return 1;
}

// --- nets ---

namespace {
constexpr long long kMaxCellsPerRun = 4;          // a run grows while its box spans at most 2 x 2 buckets
constexpr uint32_t kMaxRunLength = 32;
constexpr long long kMaxCoarseCellsPerSegment = 128;
}  // namespace

std::pair<LineList::const_iterator, LineList::const_iterator> BoardIndex::segmentsOf(const RunRec& run) const {
    const LineList& lines = nets_[run.net].w->lineList;
    if (static_cast<size_t>(run.first) + run.count > lines.size()) return {};
    const auto p = lines.begin() + run.first;
    return {p, p + run.count};
}

template <class F>
void BoardIndex::forRunsIn(int l, int t, int r, int b, F&& f) const {
    // The box first: most runs met in a bucket lie elsewhere in it, and their net's record (far
    // away in memory) is only read for the runs that count.
    auto live = [&](uint32_t run) {
        const RunRec& rr = runs_[run];
        if (meets(l, t, r, b, rr.l, rr.t, rr.r, rr.b) && nets_[rr.net].w) f(run);
    };
    for (int cy = cellOf(t); cy <= cellOf(b); ++cy)
        for (int cx = cellOf(l); cx <= cellOf(r); ++cx) runFine_.forEach(key(cx, cy), live);
    for (int cy = coarseOf(t); cy <= coarseOf(b); ++cy)
        for (int cx = coarseOf(l); cx <= coarseOf(r); ++cx) runCoarse_.forEach(key(cx, cy), live);
    for (uint32_t run : bigRuns_) live(run);
}

void BoardIndex::indexSegments(uint32_t net, size_t from, bool bulk) {
    const LineList& lines = nets_[net].w->lineList;
    auto deadRunAt = [this](uint32_t r) { return deadRun(r); };
    auto boxOf = [](const TLine& ln) {
        return Body{std::min(ln.sx, ln.ex), std::min(ln.sy, ln.ey), std::max(ln.sx, ln.ex), std::max(ln.sy, ln.ey)};
    };
    size_t i = from;
    while (i < lines.size()) {
        const size_t first = i;
        Body box = boxOf(lines[i++]);
        if (cellCount(box.l, box.t, box.r, box.b, kFineShift) <= kMaxCellsPerRun) {
            while (i < lines.size() && i - first < kMaxRunLength) {
                const Body s = boxOf(lines[i]);
                const Body u{std::min(box.l, s.l), std::min(box.t, s.t), std::max(box.r, s.r), std::max(box.b, s.b)};
                if (cellCount(u.l, u.t, u.r, u.b, kFineShift) > kMaxCellsPerRun) break;
                box = u;
                ++i;
            }
        }
        const auto run = static_cast<uint32_t>(runs_.size());
        runs_.push_back(RunRec{net, static_cast<uint32_t>(first), static_cast<uint32_t>(i - first), box.l, box.t,
                               box.r, box.b});
        GrowingMultiMap* map = nullptr;
        int shift = 0;
        if (cellCount(box.l, box.t, box.r, box.b, kFineShift) <= kMaxCellsPerSegment) {
            map = &runFine_;
            shift = kFineShift;
        } else if (cellCount(box.l, box.t, box.r, box.b, kCoarseShift) <= kMaxCoarseCellsPerSegment) {
            map = &runCoarse_;
            shift = kCoarseShift;
        } else {
            if (!bulk) std::erase_if(bigRuns_, deadRunAt);
            bigRuns_.push_back(run);
            continue;
        }
        for (int cy = box.t >> shift; cy <= box.b >> shift; ++cy) {
            for (int cx = box.l >> shift; cx <= box.r >> shift; ++cx) {
                if (bulk)
                    map->add(key(cx, cy), run);
                else
                    map->insert(key(cx, cy), run, deadRunAt);
            }
        }
    }
    nets_[net].segments = static_cast<uint32_t>(lines.size());
}

void BoardIndex::rebuildNets() {
    ++rebuilds_;
    nets_.clear();
    netSlot_.clear();
    runs_.clear();
    runFine_.clear();
    runCoarse_.clear();
    bigRuns_.clear();
    const auto& list = board_.wireComplexList;
    nets_.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const auto slot = static_cast<uint32_t>(i);
        nets_.push_back(NetRec{list[i], static_cast<uint32_t>(i), 0});
        netSlot_.add(list[i].get(), slot);
        indexSegments(slot, 0, true);
    }
    netSlot_.build();
    runFine_.build();
    runCoarse_.build();
    // Runs are counted only while they are made: give back what the vector's doubling left over
    // (on a large board, tens of megabytes).
    runs_.shrink_to_fit();
    liveNets_ = list.size();
    nextNetOrder_ = list.size();
    netsDirty_ = false;
}

void BoardIndex::netAdded(const WirePtrFwd& w) {
    if (netsDirty_) return;
    if (liveNet(w.get())) {
        netGrew(w.get());
        return;
    }
    if (nextNetOrder_ > UINT32_MAX || nets_.size() >= UINT32_MAX) {
        netsDirty_ = true;  // the next query numbers every net again
        return;
    }
    const auto slot = static_cast<uint32_t>(nets_.size());
    nets_.push_back(NetRec{w, static_cast<uint32_t>(nextNetOrder_++), 0});
    netSlot_.set(w.get(), slot);
    indexSegments(slot, 0, false);
    ++liveNets_;
}

void BoardIndex::netGrew(const TWireComplex* w) {
    if (netsDirty_) return;
    const uint32_t s = netSlot_.find(w);
    if (s == SlotMap::kNone || nets_[s].w.get() != w || w->lineList.size() < nets_[s].segments) {
        netsDirty_ = true;  // not indexed, or segments went missing: nothing to build on
        return;
    }
    indexSegments(s, nets_[s].segments, false);
}

void BoardIndex::netRemoved(const TWireComplex* w) {
    if (netsDirty_) return;
    const uint32_t s = netSlot_.find(w);
    if (s == SlotMap::kNone || nets_[s].w.get() != w) {
        netsDirty_ = true;
        return;
    }
    // Its runs stay in the buckets, recognised as dead by their net's empty record.
    nets_[s].w.reset();
    netSlot_.set(w, SlotMap::kNone);
    --liveNets_;
}

void BoardIndex::wiresAt(int x, int y, std::vector<const WirePtrFwd*>& out) {
    ensureNets();
    out.clear();
    hits_.clear();
    forRunsIn(x, y, x, y, [&](uint32_t ri) {
        const RunRec& run = runs_[ri];
        for (auto [p, e] = segmentsOf(run); p != e; ++p) {
            const TLine s = *p;
            if ((s.sx == x && s.sy == y) || (s.ex == x && s.ey == y)) {
                hits_.push_back({nets_[run.net].order, run.net});
                return;
            }
        }
    });
    if (hits_.size() > 1) sortUnique(hits_);
    for (const auto& h : hits_) out.push_back(&nets_[h.second].w);
}

int BoardIndex::anyWireEndIn(int l, int t, int r, int b) {
    if (cellCount(l, t, r, b, kFineShift) > kMaxCellsPerBody) return -1;
    ensureNets();
    auto in = [&](int x, int y) { return l <= x && x <= r && t <= y && y <= b; };
    bool found = false;
    forRunsIn(l, t, r, b, [&](uint32_t ri) {
        const RunRec& run = runs_[ri];
        if (found) return;
        for (auto [p, e] = segmentsOf(run); p != e && !found; ++p) {
            const TLine s = *p;
            found = in(s.sx, s.sy) || in(s.ex, s.ey);
        }
    });
    return found ? 1 : 0;
}

int BoardIndex::netsInRect(int l, int t, int r, int b, std::vector<TWireComplex*>& out) {
    out.clear();
    if (l > r || t > b) return 1;
    ensureNets();
    const long long cells = cellCount(l, t, r, b, kFineShift);
    if (cells > 64 + static_cast<long long>(runs_.size() / 16)) return -1;
    hits_.clear();
    fitBits(seenNets_, nets_.size());
    const SeenBitsReset reset{hits_, seenNets_};
    forRunsIn(l, t, r, b, [&](uint32_t ri) {
        const RunRec& run = runs_[ri];
        if (isSet(seenNets_, run.net)) return;
        for (auto [p, e] = segmentsOf(run); p != e; ++p) {
            const TLine s = *p;
            if (meets(l, t, r, b, std::min(s.sx, s.ex), std::min(s.sy, s.ey), std::max(s.sx, s.ex),
                      std::max(s.sy, s.ey))) {
                hits_.push_back({nets_[run.net].order, run.net});
                setBit(seenNets_, run.net);
                return;
            }
        }
    });
    std::sort(hits_.begin(), hits_.end());
    for (const auto& h : hits_) out.push_back(nets_[h.second].w.get());
    return 1;
}

}  // namespace gw
