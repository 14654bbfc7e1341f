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
#include <unordered_map>
#include <vector>

namespace gw {

class TBoardEngine;
class TDevice;
class TWireComplex;

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
    // Positions in wireComplexList of the nets with a segment end at (x, y), ascending.
    void wiresAt(int x, int y, std::vector<long>& out);
    // Whether any net has a segment end in the closed rectangle; -1 when the index declines (the
    // rectangle is too large to be worth it) and the caller should scan.
    int anyWireEndIn(int l, int t, int r, int b);
    // Whether a device other than `ignore` has a closed body meeting the closed rectangle; -1 when
    // the index declines.
    int anyDeviceMeets(int l, int t, int r, int b, const TDevice* ignore);

private:
    struct Placed {
        const TDevice* d;
        int x, y, w, h;
        const void* draft;
    };
    void buildDevices();
    void buildNets();
    uint64_t netHash() const;

    TBoardEngine& board_;
    bool devicesDirty_ = true, netsDirty_ = true;

    std::vector<Placed> placed_;                                   // deviceList as indexed
    std::unordered_map<uint64_t, std::vector<uint32_t>> cells_;    // bucket -> device positions
    std::vector<uint32_t> oversize_;                               // bodies spanning many buckets

    std::unordered_map<uint64_t, std::vector<uint32_t>> ends_;     // grid point -> net positions
    uint64_t netHash_ = 0;
    size_t netCount_ = 0;
};

}  // namespace gw
