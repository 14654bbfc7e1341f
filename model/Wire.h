// TWireComplex: one electrical net on the board — the straight segments (TLine) the user drew that
// touch each other, the one device output driving it (Input), the device inputs reading it
// (outputList) and the value it carries (State). Junction dots (TKnot) are derived from the segment
// ends and only drawn. Device <-> net links are recorded on both sides; the board keeps them so.
//
// Where a net's value lives. Every net's State is one int in NetValueStore, a process-wide array
// of ints that grows in chunks and never moves, so the value's address stays the same for the
// net's whole life and nets created one after another keep their values side by side. A large
// board's values then fill a few megabytes instead of one int in each of a million heap objects,
// and the compiled simulation step (sim/CompiledCircuit) reads and writes them where they are.
// State itself (a NetValue) behaves like the int it was: it converts to and from int, and a copy
// of it is a new value of its own, not a second name for the same one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/Compact.h"
#include "model/LineList.h"
#include "model/PinList.h"
#include "model/Ref.h"

namespace gw {

class TDevice;
class Renderer;

// The cell that holds one net's value in NetValueStore. A net carries 0 or 1; a value written
// from outside that is neither keeps meaning "neither" (see NetValue::cell) and is never used as an
// index by the compiled step.
using NetCell = uint8_t;

// The store of net values: slot i is the cell at base() + i, in one SlotArena (model/SlotStore.h):
// base() never changes and no slot ever moves. Slots are handed out in order; freed ones are reused
// first. Slots 0 and 1 are never handed out: the compiled step writes the results of unwired
// outputs into slot 0 and reads unwired inputs from slot 1, which stays 0.
class NetValueStore {
public:
    // Slots in one chunk (2 MB: one large page where the system grants one).
    static constexpr uint32_t kChunkSlots = uint32_t{1 << 21} / sizeof(NetCell);
    // The most slots the store can hold: indices fit in 30 bits.
    static constexpr uint32_t kMaxSlots = uint32_t{1} << 30;
    static constexpr uint32_t kSinkSlot = 0;
    static constexpr uint32_t kZeroSlot = 1;

    static NetCell* base();
    // A slot holding `value`. Throws std::bad_alloc when the store is full.
    static uint32_t acquire(int value);
    static void release(uint32_t slot);
    // `n` consecutive slots (values unspecified), for holders that want a block of their own, and
    // their return.
    static uint32_t acquireRun(uint32_t n);
    static void releaseRun(uint32_t first, uint32_t n);

    // For tests and benchmarks: slots handed out and not freed, and slots ever used (the top).
    static size_t inUse();
    static size_t top();
    // Bytes committed for the slots so far.
    static size_t committedBytes();
};

namespace detail {
// NetValueStore::base(), set before the first slot is handed out.
extern NetCell* gNetValues;
}  // namespace detail

// A net's value in the store. Reads and writes like an int; copies are independent values.
class NetValue {
public:
    NetValue() : slot_(NetValueStore::acquire(0)) {}
    // Explicit, so that `cond ? net->State : 0` reads the int rather than being ambiguous.
    explicit NetValue(int v) : slot_(NetValueStore::acquire(v)) {}
    NetValue(const NetValue& o) : slot_(NetValueStore::acquire(static_cast<int>(o))) {}
    NetValue& operator=(const NetValue& o) {
        ref() = cell(static_cast<int>(o));
        return *this;
    }
    NetValue& operator=(int v) {
        ref() = cell(v);
        return *this;
    }
    ~NetValue() { NetValueStore::release(slot_); }

    operator int() const { return detail::gNetValues[slot_]; }  // NOLINT: reads as the int
    // The slot of this value in NetValueStore.
    uint32_t slot() const { return slot_; }

    // What a cell keeps of an int: 0 and 1 as they are, and when the cell is narrower than an int,
    // values that do not fit as the cell's largest value, so that they never read as 0 or 1.
    static NetCell cell(int v) {
        if constexpr (sizeof(NetCell) < sizeof(int)) {
            constexpr auto kTop = static_cast<unsigned>(static_cast<NetCell>(~0u));
            return static_cast<NetCell>(static_cast<unsigned>(v) <= kTop ? static_cast<unsigned>(v) : kTop);
        } else {
            return v;
        }
    }

private:
    NetCell& ref() { return detail::gNetValues[slot_]; }
    uint32_t slot_;
};

struct TKnot {
    int xPos = 0, yPos = 0;
    int Count = 0;
};

// The junction points of one net (kept beside the nets, see TWireComplex::knots): a vector in one
// pointer, its size and room in the allocation.
class KnotList {
public:
    KnotList() = default;
    KnotList(const KnotList& o) { *this = o; }
    KnotList(KnotList&& o) noexcept : b_(o.b_) { o.b_ = nullptr; }
    KnotList& operator=(const KnotList& o);
    KnotList& operator=(KnotList&& o) noexcept {
        std::swap(b_, o.b_);
        return *this;
    }
    ~KnotList() { release(); }

    size_t size() const { return b_ ? b_->size : 0; }
    bool empty() const { return size() == 0; }
    TKnot& operator[](size_t i) { return data()[i]; }
    const TKnot& operator[](size_t i) const { return data()[i]; }
    TKnot* begin() { return data(); }
    TKnot* end() { return data() + size(); }
    const TKnot* begin() const { return data(); }
    const TKnot* end() const { return data() + size(); }
    void clear() {
        if (b_) b_->size = 0;
    }
    void push_back(const TKnot& k);
    // Room for exactly `n` junctions when there is less.
    void reserve(size_t n);

private:
    struct Block {
        uint32_t size, cap;
    };
    static size_t bytesFor(uint32_t cap) { return sizeof(Block) + size_t{cap} * sizeof(TKnot); }
    TKnot* data() const { return b_ ? reinterpret_cast<TKnot*>(b_ + 1) : nullptr; }
    void reallocate(uint32_t cap);
    void release() noexcept;
    Block* b_ = nullptr;
};

class TWireComplex {
public:
    // Ordered so that the object has no padding: a large board holds a million and more.
    Compact<TDevice> Input = nullptr;     // the driver, or nullptr
    PinList<Compact<TDevice>, 2> outputList;  // the readers, in connection order
    LineList lineList;                    // in the order added
    NetValue State;                       // 0 or 1, in NetValueStore
    RefCount refs_;                       // the Refs to this net (model/Ref.h)
    uint8_t highlightIt : 1 = 0;
    uint8_t updateKnots : 1 = 1;
    uint8_t hasKnots : 1 = 0;             // junctions found and kept (see knots())
    uint8_t notValid = 0;

    TWireComplex() = default;
    // A copy has the same segments and finds its junctions when drawn.
    TWireComplex(const TWireComplex& o);
    TWireComplex& operator=(const TWireComplex& o);
    ~TWireComplex() {
        if (hasKnots) dropKnots();
    }

    // Marks the net as taken off the board and forgets its readers. The board clears the devices'
    // references to it.
    void Destroy();
    // 1 when some segment starts or ends at (x, y); points inside a segment do not count.
    int isAt(int x, int y) const;
    int containsDot(int x, int y) const { return isAt(x, y); }
    void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
              int ownColour);
    // Appends the segment unless one with the same two ends (either direction) exists. Answers
    // whether it was added.
    bool addWire(int sx, int sy, int ex, int ey);
    // Whether some segment's ends are the two points, in either order.
    bool containsLine(int x1, int y1, int x2, int y2) const;
    static void DrawWire(Renderer& r, double x1, double y1, double x2, double y2, double sx, double sy);
    // Finds the junctions: the points where three or more segment ends meet (each segment end
    // counts, so three segments ending at a point make one), ordered by x, then y, each with its
    // count. Other points are not kept: only junctions are drawn.
    void recalcKnots();
    // The junctions last found (empty before). Only nets that were drawn and have junctions keep
    // any, so they are kept beside the nets, not in every one of a large board's nets.
    const KnotList& knots() const;
    // Forgets the junctions; the next drawing finds them again.
    void dropKnots();
    // How many nets keep junctions (for tests).
    static size_t netsKeepingKnots();
};

// A net is one pool slot of its size, its count inside. (Builds that hold links as plain pointers
// have larger ones.)
static_assert(sizeof(void*) != 8 || !kPooledSlots || sizeof(TWireComplex) <= 40, "TWireComplex grew");

using WirePtr = Ref<TWireComplex>;

}  // namespace gw
