// BoardIndex: the spatial index behind the board's hit tests while a frame runs.
//
// It answers exactly what the list scans answer. Every entry carries the object's position in its
// list as of the last build, and a query takes the hit with the lowest position (or sorts hits by
// it), so "first match in list order" holds by construction rather than by bucket order.
//
// Freshness: the board marks a part dirty after its own edits (devices and nets separately) and the
// next query rebuilds that part. Edits made from outside (the file reader, the IC tool, tests, a
// mode moving a device) are caught when a frame opens: verify() compares a snapshot of every
// device's placement and a hash of every net's segments with the lists, which costs one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace gw {

class TBoardEngine;
class TDevice;
class TWireComplex;

// A multimap from 64-bit keys to ascending lists of positions, built in one go from (key, position)
// pairs given in ascending position order: open addressing for the keys, one flat array for the
// positions. Building allocates a handful of arrays, not one per key.
class FlatMultiMap {
public:
    void clear();
    void add(uint64_t key, uint32_t pos) { pairs_.push_back({key, pos}); }
    void build();
    // The positions under `key` (ascending, without repeats); empty when none.
    std::pair<const uint32_t*, const uint32_t*> find(uint64_t key) const;
    bool contains(uint64_t key) const { auto r = find(key); return r.first != r.second; }

private:
    size_t slotOf(uint64_t key) const;
    std::vector<std::pair<uint64_t, uint32_t>> pairs_;
    std::vector<uint64_t> keys_;
    std::vector<uint8_t> used_;
    std::vector<uint32_t> start_, count_, last_;
    std::vector<uint32_t> items_;
    unsigned bits_ = 0;
};

class BoardIndex {
public:
    explicit BoardIndex(TBoardEngine& board) : board_(board) {}

    void invalidate() { devicesDirty_ = netsDirty_ = true; }
    void invalidateDevices() { devicesDirty_ = true; }
    void invalidateNets() { netsDirty_ = true; }
    // Marks stale parts dirty when the lists no longer match what was indexed.
    void verify();

    // Position in deviceList of the first device whose body holds (x, y), or -1.
    long deviceAt(int x, int y, int inner);
    // Position of the first device whose body in board pixels holds (px, py), borders included,
    // or -1.
    long deviceAtPixel(int px, int py);
    // Positions in wireComplexList of the nets with a segment end at (x, y), ascending.
    void wiresAt(int x, int y, std::vector<long>& out);
    // Whether any net has a segment end in the closed rectangle; -1 when the index declines (the
    // rectangle is too large to be worth it) and the caller should scan.
    int anyWireEndIn(int l, int t, int r, int b);
    // Whether a device other than `ignore` has a closed body meeting the closed rectangle; -1 when
    // the index declines.
    int anyDeviceMeets(int l, int t, int r, int b, const TDevice* ignore);

private:
    struct NetShape {
        const TWireComplex* w;
        size_t size;
        const void* data;
        int lastX, lastY;
    };
    struct Placed {
        const TDevice* d;
        int x, y, w, h;
        const void* draft;
    };
    void buildDevices();
    void buildNets();
    static NetShape shapeOf(const TWireComplex& w);

    TBoardEngine& board_;
    bool devicesDirty_ = true, netsDirty_ = true;

    std::vector<Placed> placed_;                                   // deviceList as indexed
    FlatMultiMap cells_;                                           // bucket -> device positions
    std::vector<uint32_t> oversize_;                               // bodies spanning many buckets

    FlatMultiMap ends_;                                            // grid point -> net positions
    std::vector<NetShape> nets_;                                   // wireComplexList as indexed
};

}  // namespace gw
