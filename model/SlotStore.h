// SlotArena: the memory behind the model's value stores (net values in model/Wire.h, device data
// words in model/DeviceData.h). A process-wide array of fixed-size cells in an address range
// reserved once; pages are committed a chunk at a time as cells are handed out, so the base never
// changes and no cell ever moves, and holders can keep a cell's index (its slot) for life. Cells
// handed out one after another sit side by side, which is what lets a large board's values fill
// a few dense megabytes instead of one field in each of a million heap objects. Single cells
// freed are reused first, last freed first; runs of cells (for holders wanting a block of their
// own) are kept apart and joined again when freed side by side. The model runs on one thread; so
// does every arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace gw {

// The address range of the two value stores, reserved once (no memory behind it until an arena
// commits some): net values in the lower half, device data words in the upper half. A byte offset
// from `base` below 2^31 reaches either, which lets the compiled step address the data word of a
// memory cell or a lamp like a net. `halfBytes` is at most 1 GiB, a multiple of 2 MB.
struct ValueRegions {
    char* base;
    size_t halfBytes;
};
const ValueRegions& valueRegions();

class SlotArena {
public:
    // Cells of `cellBytes` each in the reserved range [region, region + regionBytes) (aligned to a
    // chunk), committed `chunkCells` at a time; the first `reserved` cells are never handed out
    // (their memory reads 0 until written).
    SlotArena(size_t cellBytes, uint32_t chunkCells, char* region, size_t regionBytes, uint32_t reserved);
    SlotArena(const SlotArena&) = delete;
    SlotArena& operator=(const SlotArena&) = delete;

    char* base() const { return base_; }
    // A cell's slot; its contents are whatever the last holder left. Throws std::bad_alloc when
    // the arena is full.
    uint32_t acquire();
    void release(uint32_t slot);
    // `n` consecutive cells (n = 0 gives an empty run) and their return.
    uint32_t acquireRun(uint32_t n);
    void releaseRun(uint32_t first, uint32_t n);

    size_t inUse() const { return inUse_; }
    size_t top() const { return top_; }
    size_t committedBytes() const { return size_t{committed_} * cell_; }

private:
    // Makes cells below `cells` usable.
    void grow(uint64_t cells);

    char* base_ = nullptr;
    size_t cell_;
    uint32_t chunk_;
    uint32_t limit_ = 0;      // cells reserved
    uint32_t committed_ = 0;  // cells with memory behind them
    uint32_t top_ = 0;        // cells ever handed out (or reserved)
    size_t inUse_ = 0;
    std::vector<uint32_t> free_;         // freed single cells
    std::map<uint32_t, uint32_t> runs_;  // freed runs: first cell -> length
};

}  // namespace gw
