// BoardIndex: the spatial index behind the board's hit tests and view queries.
//
// It answers exactly what the list scans answer. Every indexed device and net carries an order key
// that grows along its list: a rebuild numbers the lists from the front, an appended object takes
// the next key, and removing an object leaves the other keys alone. A query takes the hit with the
// lowest key (or sorts its hits by key), so "first match in list order" holds by construction
// rather than by bucket order, and no edit has to renumber anything.
//
// Freshness. The board tells the index about each of its own edits (a device added, removed or
// moved; a net added, grown by segments or removed) and the index updates itself in place: an edit
// costs about what it touches, not the size of the board. Records are never rewritten: a removed
// object's record is emptied and skipped by every query, a moved device gets a new record with its
// old key. Anything else invalidates the index, and the next query rebuilds the stale half
// (devices or nets) in one pass. checkGuards() is the cheap safety net for edits made from outside
// without saying so: it compares the list lengths and the first and last objects with what is
// indexed, in constant time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/LineList.h"
#include "model/Ref.h"

namespace gw {

class TBoardEngine;
class TDevice;
class TWireComplex;
using DevicePtrFwd = Ref<TDevice>;
using WirePtrFwd = Ref<TWireComplex>;

// A multimap from 64-bit keys to ascending lists of values, built in one go from (key, value)
// pairs given in ascending value order: open addressing over the distinct keys, one flat array for
// the values. Building allocates a handful of arrays, not one per key.
class FlatMultiMap {
public:
    void clear();
    void add(uint64_t key, uint32_t value) { pairs_.push_back({key, value}); }
    void build();
    // The values under `key` (ascending, without repeats); empty when none.
    std::pair<const uint32_t*, const uint32_t*> find(uint64_t key) const;
    // Bytes of its arrays (capacities).
    size_t memoryBytes() const;

private:
    static constexpr uint32_t kEmpty = UINT32_MAX;
    size_t slotOf(uint64_t key) const;
    void rehash(unsigned bits);
    std::vector<std::pair<uint64_t, uint32_t>> pairs_;
    std::vector<uint64_t> keys_;     // distinct keys, by key number
    std::vector<uint32_t> slots_;    // open addressing: key number or kEmpty
    std::vector<uint32_t> start_;    // key number -> its values in items_ (one more entry at the end)
    std::vector<uint32_t> items_;
    unsigned bits_ = 0;
};

// A FlatMultiMap built in bulk plus the entries inserted one at a time since. Values whose record
// has died are skipped by the readers; inserting at a key first drops the dead values kept there,
// so a point edited over and over does not pile them up.
class GrowingMultiMap {
public:
    void clear() {
        base_.clear();
        extra_.clear();
    }
    void add(uint64_t key, uint32_t value) { base_.add(key, value); }
    void build() { base_.build(); }
    template <class Dead>
    void insert(uint64_t key, uint32_t value, Dead dead) {
        std::vector<uint32_t>& v = extra_[key];
        std::erase_if(v, dead);
        v.push_back(value);
    }
    // Bytes of the bulk part, and a lower bound for the entries inserted since.
    size_t memoryBytes() const;
    template <class F>
    void forEach(uint64_t key, F&& f) const {
        for (auto [p, e] = base_.find(key); p != e; ++p) f(*p);
        if (extra_.empty()) return;
        auto it = extra_.find(key);
        if (it != extra_.end())
            for (uint32_t v : it->second) f(v);
    }

private:
    FlatMultiMap base_;
    std::unordered_map<uint64_t, std::vector<uint32_t>> extra_;
};

// Object address -> record slot; later settings override the bulk-built ones. The bulk part is a
// sorted array of addresses beside their slots (12 bytes an object; a hash table took twice that),
// searched by halving: lookups serve edits and the per-frame guards, never the queries' inner loops.
class SlotMap {
public:
    static constexpr uint32_t kNone = UINT32_MAX;
    void clear();
    void add(const void* p, uint32_t slot) { pairs_.push_back({keyOf(p), slot}); }
    void build();
    void set(const void* p, uint32_t slot) { over_[keyOf(p)] = slot; }
    uint32_t find(const void* p) const;
    size_t memoryBytes() const {
        return pairs_.capacity() * sizeof(pairs_[0]) + keys_.capacity() * sizeof(uint64_t) +
               slots_.capacity() * sizeof(uint32_t) + over_.size() * 32;
    }

private:
    static uint64_t keyOf(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }
    std::vector<std::pair<uint64_t, uint32_t>> pairs_;  // only between add() and build()
    std::vector<uint64_t> keys_;                         // ascending
    std::vector<uint32_t> slots_;                        // beside keys_
    std::unordered_map<uint64_t, uint32_t> over_;
};

class BoardIndex {
public:
    explicit BoardIndex(TBoardEngine& board) : board_(board) {}

    void invalidate() { devicesDirty_ = netsDirty_ = true; }
    // How often a half was rebuilt from its list (for tests: in-place updates must keep it low).
    uint64_t rebuilds() const { return rebuilds_; }
    // Marks a half stale when its list no longer has the indexed length or its first or last
    // object is not the indexed one. Constant time.
    void checkGuards();

    // --- the board's own edits (ignored while that half is stale: it is rebuilt anyway) ---
    // `d` was appended to deviceList.
    void deviceAdded(const DevicePtrFwd& d);
    void deviceRemoved(const TDevice* d);
    // `d` changed its position (or type) and kept its place in the list.
    void deviceMoved(const TDevice* d);
    // `w` was appended to wireComplexList (with whatever segments it has by now).
    void netAdded(const WirePtrFwd& w);
    // `w` gained segments at the end of its segment list. Anything else done to a segment list
    // must go through netRemoved (the board replaces nets it cuts) or invalidate().
    void netGrew(const TWireComplex* w);
    void netRemoved(const TWireComplex* w);

    // Bytes held, by part (capacities; hash nodes of entries added one at a time estimated).
    struct Memory {
        size_t deviceRecords, deviceSlots, deviceCells, netRecords, netSlots, runs, runCells;
    };
    Memory memoryBytes() const;

    // --- queries ---
    // The first device whose body holds (x, y) (open body with inner 1), or null.
    const DevicePtrFwd* deviceAt(int x, int y, int inner);
    // The first device whose body in board pixels holds (px, py), borders included, or null.
    const DevicePtrFwd* deviceAtPixel(int px, int py);
    // The nets with a segment end at (x, y), in list order.
    void wiresAt(int x, int y, std::vector<const WirePtrFwd*>& out);
    // Whether any net has a segment end in the closed rectangle; -1 when the index declines (the
    // rectangle is too large to be worth it) and the caller should scan.
    int anyWireEndIn(int l, int t, int r, int b);
    // Whether a device other than `ignore` has a closed body meeting the closed rectangle; -1 when
    // the index declines.
    int anyDeviceMeets(int l, int t, int r, int b, const TDevice* ignore);
    // Devices whose closed body meets the closed rectangle, in list order; -1 (and `out` left
    // empty) when the rectangle covers so much of the board that a list scan is cheaper.
    int devicesInRect(int l, int t, int r, int b, std::vector<TDevice*>& out);
    // Nets with a segment whose closed bounding box meets the rectangle, in list order; -1 as above.
    int netsInRect(int l, int t, int r, int b, std::vector<TWireComplex*>& out);

private:
    struct DeviceRec {
        DevicePtrFwd d;  // null once removed or moved
        uint64_t order;
        int x, y, w, h;  // as indexed; the closed body follows from them
    };
    struct NetRec {
        WirePtrFwd w;       // null once removed
        uint32_t order;     // past UINT32_MAX the nets are indexed afresh, numbered from 0
        uint32_t segments;  // how many of its segments are indexed (a list holds fewer than 2^28)
    };
    // A run of consecutive segments of one net lying close together (or one long segment), filed
    // by the box around them: a net drawn cell by cell files one entry per few cells, not one per
    // segment. Queries test the run's segments themselves. The board only ever appends to a live
    // net's segment list, so a run's range stays valid while its net lives.
    struct RunRec {
        uint32_t net;
        uint32_t first, count;  // range in the net's segment list
        int l, t, r, b;         // closed box around the run's segments
    };
    void rebuildDevices();
    void rebuildNets();
    void ensureDevices() {
        if (devicesDirty_) rebuildDevices();
    }
    void ensureNets() {
        if (netsDirty_) rebuildNets();
    }
    DeviceRec makeDevice(const DevicePtrFwd& d, uint64_t order) const;
    void placeDevice(uint32_t slot, bool bulk);
    void indexSegments(uint32_t net, size_t from, bool bulk);
    bool liveDevice(const TDevice* d) const;
    bool liveNet(const TWireComplex* w) const;
    bool deadDevice(uint32_t slot) const { return !devices_[slot].d; }
    bool deadNet(uint32_t slot) const { return !nets_[slot].w; }
    bool deadRun(uint32_t run) const { return !nets_[runs_[run].net].w; }
    // Calls f(run) for every live run whose box meets the closed rectangle, filed under a bucket
    // the rectangle touches (a run may come more than once).
    template <class F>
    void forRunsIn(int l, int t, int r, int b, F&& f) const;
    // The segments of a live run, or an empty range when the list no longer holds them.
    std::pair<LineList::const_iterator, LineList::const_iterator> segmentsOf(const RunRec& run) const;

    TBoardEngine& board_;
    bool devicesDirty_ = true, netsDirty_ = true;
    uint64_t rebuilds_ = 0;

    std::vector<DeviceRec> devices_;
    SlotMap deviceSlot_;
    GrowingMultiMap deviceCells_;      // 16 x 16 bucket -> device records
    std::vector<uint32_t> bigDevices_;  // bodies spanning too many buckets
    size_t liveDevices_ = 0;
    uint64_t nextDeviceOrder_ = 0;

    std::vector<NetRec> nets_;
    SlotMap netSlot_;
    std::vector<RunRec> runs_;
    GrowingMultiMap runFine_;          // 16 x 16 bucket -> runs whose box spans few of them
    GrowingMultiMap runCoarse_;        // 256 x 256 bucket -> long segments
    std::vector<uint32_t> bigRuns_;    // longer still
    size_t liveNets_ = 0;
    uint64_t nextNetOrder_ = 0;

    std::vector<std::pair<uint64_t, uint32_t>> hits_;  // scratch: (order, record)
    // Scratch of the view queries: one bit per device or net record, set for the records already
    // among the hits (an object is met in every bucket it spans, a net in every run it has there)
    // and cleared again before the query returns.
    std::vector<uint64_t> seenDevices_, seenNets_;
};

}  // namespace gw
