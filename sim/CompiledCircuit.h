// CompiledCircuit: a device list compiled into flat arrays and stepped without touching the object
// model. One step gives exactly what stepping every device's Update in list order gives: the same
// net values, device data, counter edge flags, the same clock phases and the same draws from the
// random source of the simulation environment, in the same order.
//
// Layout. Most devices (gates of up to four inputs, inverters, both adders, lamps, memory cells
// holding 0 or 1, clocks, switches holding 0 or 1, and the copies that carry values into and out
// of IC inner circuits) share one table op: up to four input slots and up to three output slots,
// each output a 16-entry truth table indexed by the input values, with every pin's inversion
// folded into the tables. A memory
// cell's bit and a lamp's value are an extra input and/or output of the op: the device's data word
// itself, read and written through its lowest byte (see below). One op kind for nearly all
// devices means the step runs one branch-free body instead of jumping to a different body per
// device, which a random mix of kinds would turn into a stream of mispredicted jumps. The tables
// are built by running the type's own Update on every input combination, so they cannot drift from
// the type's behaviour. A clock's op copies the phase of its period, which a word of the form's
// own holds (set once as each step starts: all clocks of a step see one time); a switch's op
// copies its data word, read when the op runs, so the board's mouse handling may change it between
// steps. Only wired outputs are driven, three to an op.
//
// The step waits mostly on values written by the ops just before (a ripple adder's carry, a gate
// reading the gate before it): the inputs of a table op are ordered by how recently an op drove
// them, the latest first, and the step adds input 0 to the table index last, so the value likeliest
// still on its way delays the fewest instructions. Better still, two neighbouring devices whose
// ops fit in one share it (see Pair): the second reads what the first drives from the tables, not
// from memory, and the step runs one op fewer.
//
// A board uses few distinct tables (a type, times the inversions of its pins), so they are kept
// once in a pool. The step reads one stream of 32-byte records, one per op: four input slots,
// three output slots and the op's pool index. Every table op has the same shape there (unused
// inputs read the zero slot, unused outputs drive the sink), so the step runs the same
// instructions for a gate, an adder and a memory cell, with no branch on the op's size and no
// decoding of where its pins are or where the next op starts: that mix of shapes changes from op
// to op on a random board, and branching on it cost more than the few extra loads and stores.
// A record whose pool index is kSideOp holds an op of another kind (see below): where its pins
// start in pins_, the op itself, and a counter's data word and flags, so that stepping it reads
// nothing else before its pins and words.
//
// Those side ops are 8 bytes each with their pins in an array of their own: table ops whose
// tables no longer fit in the pool (seven pins, inputs and outputs padded as in a record), and the
// other kinds (counters, wide gates, the constant source, random generators, digit displays,
// switches, memory cells and lamps holding other values when built), whose pins carry inversion
// flags in their top bit. Types this form does not know (and built-in types with odd parameters)
// are stepped through their draft's own Update with input and output values taken from and given
// to the flat arrays. Counters, displays, switches and memory cells and lamps built holding
// another value read and write their data word where the model keeps it (DeviceDataStore,
// model/DeviceData.h: dense, never moving); so do counters with their two edge flags, which are
// data words of the same store. Building moves the data words the step touches side by side in
// step order when they are not (packDataWords): made among the words of gates, they would each be a
// cache miss on a large board. A last side op ends the step, so the loop counts nothing.
//
// The model and the flat form. A net's value lives in NetValueStore (model/Wire.h), one byte per
// net in one array that never moves, and the step reads and writes it there: pins of nets (and of
// IC inner wires, which keep their values in the same store) are their own slots in the store. The
// device data words live in DeviceDataStore, which shares one reserved address range with the net
// values (nets below, data words above), so a pin may also be the byte offset of a data word's
// lowest byte: that is how the table op reads and writes the bit of a memory cell or a lamp, whose
// word holds 0 or 1 (the word's other bytes stay 0). After run() the model is current: net State,
// device data and counter flags; nothing is copied back. Slot 0 of the store swallows the writes
// of unwired outputs and slot 1 always reads 0 (unwired inputs point there, their inversion
// dropped, since an unwired input reads 0 inverted or not). Nets hold 0 or 1 (the step writes
// nothing else and files do not store net values); a net given another value behind the step's
// back is read as some 0 or 1, never used as an index.
//
// The compiled form holds plain pointers to the devices, nets and state objects it was built from.
// Any structural change of the circuit (devices added or removed, pins connected or disconnected,
// inversion flags toggled, nets merged or split, counter state objects replaced) and any change of
// a non-switch device's data made outside a step calls for a rebuild; using a stale compiled form
// after such a change is a programming error. Devices appended to the list (joining nets that
// exist) are the exception: append() compiles just those onto the form. FastSimulator
// (FastSimulator.h) ties the rebuild to a version counter that the board bumps.
//
// No allocation happens in run(): every buffer is sized when building.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "model/Device.h"
#include "model/Wire.h"
#include "sim/LargePages.h"

namespace gw {

class TCounter;
class TCounterData;
class TWireComplex;
class SimEnvironment;

class CompiledCircuit {
public:
    CompiledCircuit();
    ~CompiledCircuit();
    CompiledCircuit(const CompiledCircuit&) = delete;
    CompiledCircuit& operator=(const CompiledCircuit&) = delete;

    // Compiles the devices in step order. Counters that have no counter state object yet get one
    // (flags 0), as their first step would give them.
    void build(const std::vector<DevicePtr>& devices);
    // The same from plain pointers (none may be null).
    void build(const std::vector<TDevice*>& devices);
    void clear();
    // Compiles devices[from..] onto a form built from devices[0..from) (the same objects), giving
    // what building them all would. Valid only when nothing but these appends changed since.
    void append(const std::vector<DevicePtr>& devices, size_t from);

    // The `index`-th device of the list compiled (`d`) had pins connected, disconnected, moved to
    // another net or their inversions toggled: updates its op in place and answers true when it is
    // a pooled table op whose new tables fit the pool (alone, or still together with the neighbour
    // it shares an op with), a device of one side-stream op (a flat kind other than the table op,
    // or a fallback), a switch or clock keeping as many ops, or an IC whose copies to and from its
    // inner circuit are pooled ops; answers false (and changes nothing) when a build is needed
    // (table ops whose tables went inline, a device whose op changes kind or count, neighbours that
    // no longer fit in one op). Nets may have been merged, split or removed, provided every device
    // with a pin on a net that left is updated before the next run (no op may read a slot given
    // back).
    bool repatch(TDevice& d, size_t index);
    // The `index`-th device of the list compiled, `d`, is being removed from it (its pins
    // disconnected, nothing else changed): its ops are left reading nothing and driving nothing
    // (an op it shares with a neighbour is compiled again for the neighbour alone), and the device
    // is forgotten, so the form matches the list without it. Answers false (and changes nothing)
    // when so many ops lie idle already that a build is the better course, or the neighbour's op
    // has no room in the pool.
    bool remove(size_t index, const TDevice& d);

    // Runs `steps` steps on the flat form; the model is current after each.
    void run(int steps = 1);

    // Sizes, for tests and benchmarks.
    size_t deviceCount() const { return deviceCount_; }
    // Inner devices of IC devices, expanded into the flat form.
    size_t innerDeviceCount() const { return innerCount_; }
    // Devices stepped through their draft's Update because the flat form has no kind for them.
    size_t fallbackCount() const { return fallbacks_.size(); }
    // Table ops (IC inner ones and copies included; an op shared by two devices counts once).
    size_t tableCount() const { return tableCount_; }
    // Memory cells and lamps whose bit a table op reads and writes in their data word.
    size_t tableDataWordCount() const { return tableDataWords_; }
    // For tests that prove the differential checks can see a wrong table: flips entry `entry` (0..15)
    // of output `output` (0..2) in the `k`-th table op. Answers false when there is no such op.
    bool flipTableEntry(size_t k, unsigned output, unsigned entry);
    // Words of DeviceDataStore the form holds: one per clock period, the clocks' phase.
    size_t clockWordCount() const { return clockWords_.size(); }
    // Bytes held by the flat form (capacities of its arrays).
    size_t memoryBytes() const;
    // Distinct tables in the pool.
    size_t pooledTables() const { return pool_.size() - 1; }
    // For tests: caps the pool (at most kPoolMax tables) for the next builds, so that small circuits
    // also run table ops from the side stream.
    void setPoolLimit(size_t tables) { poolLimit_ = std::min<size_t>(tables, kPoolMax); }
    // For tests that address table ops one by one: whether the next builds fuse neighbours (see
    // Pair); on by default.
    void setFusion(bool on) { fusion_ = on; }
    // Table ops that step two devices.
    size_t fusedPairs() const { return pairs_.size(); }
    static constexpr size_t kPoolMax = 0x7fff;

    // Internal kinds of the flat form. The table op has the top bit of its kind byte set (see Op).
    enum Kind : uint8_t {
        kGate,     // threshold gate: 1 when at least `param` inputs are 1 (wide AND and OR, constant)
        kRam,      // memory cell holding a value other than 0 or 1; aux = slot of its data word
        kCounter,  // param = bits; the record's outputs are the slots of its data word and flags
        kSwitch,   // aux = slot of its data word, read live
        kRandom,
        kLed,      // a lamp holding a value other than 0 or 1 when built; aux = data word slot
        kDigit4,   // aux = data word slot, as kDigit7
        kDigit7,
        kFallback,  // aux = index into fallbacks_; its pins live in fallbackPins_
        kEnd,       // the last op: ends the step
        kKindCount
    };

private:
    // Other kinds: an aux word, input and output pin counts, a small parameter and the kind.
    // The table op reuses the same 8 bytes, read as one little-endian word: bits 0..47 are the
    // three 16-entry tables of outputs 0, 1 and 2 (bit i of a table: the output for input bits i),
    // so shifting the word by the input bits brings the results to bits 0, 16 and 32; byte 6 is the
    // number of pins the device has; byte 7 (the kind) is kTable | inputs | (outputs - 1) << 3.
    // Pooled words have the same form.
    struct Op {
        uint32_t aux;
        uint8_t nIn;
        uint8_t nOut;
        uint8_t param;
        uint8_t kind;
    };
    static_assert(sizeof(Op) == 8);
    static constexpr uint8_t kTable = 0x80;

    // Truth tables of one type without inversions, built once per draft per build.
    struct TypeTable {
        const TDraft* draft;
        bool ok;          // the type has a table form with these pin counts
        bool stateIn;     // the device's bit is an extra input (memory cell)
        bool stateOut;    // ... and/or an extra output (memory cell, lamp)
        uint16_t t[3];
    };

    struct Fallback {
        TDraft* draft;
        TDevice* device;
        uint32_t pinStart;  // into fallbackPins_: nIn input pins, then nOut output pins
        uint32_t nIn;
        uint32_t nOut;  // outputs the model device has (results beyond are dropped)
    };

    static constexpr uint32_t kInvBit = 0x80000000u;
    static constexpr uint32_t kSlotMask = 0x7fffffffu;
    static constexpr uint32_t kSinkNet = NetValueStore::kSinkSlot;
    static constexpr uint32_t kZeroNet = NetValueStore::kZeroSlot;

    // One op of the step stream. For a table op, `k` is its index in pool_; for an op of the side
    // stream it is kSideOp, in[0] is its first pin in pins_, in[1..2] the Op itself (sideOp()),
    // and for a counter out[0..2] are the slots of its data word and its two flags.
    struct Rec {
        uint32_t in[4];
        uint32_t out[3];
        uint32_t k;
    };
    static_assert(sizeof(Rec) == 32);
    static constexpr uint32_t kSideOp = 0xffffffffu;
    static Op sideOp(const Rec& r) {
        Op op;
        std::memcpy(&op, &r.in[1], sizeof op);
        return op;
    }
    static void setSideOp(Rec& r, const Op& op) { std::memcpy(&r.in[1], &op, sizeof op); }

    // The built-in drafts the flat form treats apart.
    enum class DraftClass : uint8_t { Other, Logic, Adder, Ram, Led, Counter, Switch, Ticker, Digital, IC };
    DraftClass classOf(const TDraft* draft);
    static constexpr size_t kClassSlots = 64;
    std::vector<std::pair<const TDraft*, DraftClass>> classes_;  // only while building
    bool building_ = false;

    void begin(size_t devices);
    // Moves the data words the step touches side by side, in step order, when they are not so.
    template <class List>
    void packDataWords(const List& devices);
    static constexpr size_t kPackMin = 64;  // fewer words are not worth moving
    // The flags of a counter that compiles to the flat kind (made when missing, as its first step
    // would make them); null for one that does not.
    static TCounterData* counterFlags(TDevice& d, const TCounter& type, size_t nIn, size_t nOut);
    void addDevice(TDevice& d);
    void finish(bool trim = true);
    // Gives back capacity beyond `room` more elements.
    template <class V>
    static void trimTo(V& v, size_t room);
    static constexpr size_t kRoomOps = 4096;
    static uint32_t netSlot(const TWireComplex* n) { return n->State.slot(); }
    uint32_t inPin(TDevice& d, size_t i);
    uint32_t outPin(TDevice& d, size_t i);
    // One device of `draft` whose state lives in `state`, its pins given by in(i) and out(i).
    // Compiles it to a flat kind when there is one, else to a fallback.
    template <class In, class Out>
    void addOp(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out);
    // The word of a table op (format of Op, see there).
    static uint64_t tableWord(uint64_t tables, unsigned nIn, unsigned nOut) {
        return tables | uint64_t{nIn + nOut} << 48 | uint64_t{kTable | nIn | (nOut - 1) << 3} << 56;
    }
    // A table op's tables and pins, before they go into the streams.
    struct TableOp {
        uint64_t tables = 0;
        uint32_t pins[8] = {};
        unsigned nIn = 0, nOut = 0;
        bool dataWord = false;  // a memory cell's or lamp's bit is among its pins
    };
    template <class In, class Out>
    bool tableOf(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out, TableOp& op);
    // Two neighbours in one op. A device compiled to one pooled table op, followed by another such
    // device whose op fits with it in one (four distinct inputs and three outputs in all), share
    // one op that computes both, in order: the second's inputs that the first drives come from the
    // first's tables instead of from the values it stores, so the second does not wait for them,
    // and the step runs one op fewer. The op counts as the first device's; the second has none.
    // pairs_ lists these ops in stream order with their devices, for edits.
    struct Pair {
        uint32_t rec;
        TDevice* first;
        TDevice* second;
    };
    std::vector<Pair> pairs_;
    bool fusion_ = true;
    // While building: the device just compiled and its record, when it was one plain table op.
    TDevice* prevPlain_ = nullptr;
    size_t prevRec_ = SIZE_MAX;
    // The table op in record `rec` (a pooled one), as tables and pins.
    TableOp opAt(size_t rec) const;
    // `a` then `b` as one op in `f`; false when they do not fit in one.
    static bool fuseOps(const TableOp& a, const TableOp& b, TableOp& f);
    // Fuses the device just compiled (one op at `rec` + 1) into the previous one's op at `rec`.
    bool tryFuse(TDevice& first, TDevice& second, size_t rec);
    // The pair whose op is record `rec`, or null.
    Pair* pairAt(size_t rec);
    // The pair holding device `d`, whose ops start at record `at` (null when none).
    Pair* pairOf(const TDevice& d, size_t at);
    // Writes `op` into pooled record `rec` with its inputs ordered as a build would order them
    // (from the ops just before); false when its tables have no room in the pool.
    bool rewriteTable(size_t rec, TableOp op);
    // The device compiled without the pair it shared an op with.
    void compileDevice(TDevice& d);

    // The table op of placed device `d` from its own pins (tableOf); false when it has none.
    bool deviceTable(TDevice& d, TableOp& op);

    // A switch holding 0 or 1, or a clock, as table ops: copies of one word's low byte (the
    // switch's data word, or the phase word of the clock's period) to the wired outputs, three
    // to an op. Answers how many ops it wrote to `ops` (none when no output is wired), or -1 for
    // a device that is no such source.
    static constexpr int kMaxSourceOps = 2;
    template <class Out>
    int sourceOps(TDraft* draft, TDevice& d, size_t nIn, size_t nOut, Out out, TableOp* ops);
    // The word holding the phase (0 or 1) of the clocks of `period` ms, set as each step starts.
    uint32_t clockWord(int period);
    void releaseClockWords();
    struct ClockWord {
        int period;
        uint32_t slot;  // in DeviceDataStore, owned
    };
    std::vector<ClockWord> clockWords_;
    template <class In, class Out>
    bool addTable(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out);
    const TypeTable& typeTable(TDraft* draft, size_t nIn, size_t nOut);
    // A one-input, one-output copy (through the pins' inversions) as a table op.
    void addCopy(uint32_t from, uint32_t to);
    void pushTable(unsigned nIn, unsigned nOut, uint64_t tables, const uint32_t* pins);
    // Reorders a table op's inputs (and its tables to match) by age(slot): ops since the slot was
    // last driven, the youngest first.
    template <class Age>
    static void orderInputs(unsigned nIn, uint64_t& tables, uint32_t* pins, Age age);
    // While building: the op that last drove a slot, kept for the last few thousand slots driven
    // (an entry per slot & (kWriters - 1)); UINT32_MAX when not known.
    struct Writer {
        uint32_t slot = UINT32_MAX;
        uint32_t op = 0;
    };
    static constexpr size_t kWriters = 4096;
    static constexpr size_t kLookBack = 8;  // ops repatch() looks back for the drivers of inputs
    std::vector<Writer> writers_;
    uint32_t lastWriterAge(uint32_t slot) const;
    void noteWrites(const uint32_t* outs, size_t n);
    // A table op's pins as the step reads them: four inputs, three outputs, padded.
    static void padPins(unsigned nIn, unsigned nOut, const uint32_t* pins, uint32_t* in, uint32_t* out);
    // An op of the side stream whose pins start at pins_[pinStart] (with a counter's three slots in
    // `extra`), as a record of the step stream.
    void pushSide(const Op& op, size_t pinStart, const uint32_t* extra = nullptr);
    template <class In, class Out>
    void addFallback(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out);
    // An IC device: its inner circuit expanded in place (input copies, inner devices, output
    // copies). Answers false when it has no inner circuit to expand.
    bool addIC(TDevice& d);
    // repatch() for a device compiled to one op of the side stream, and for an expanded IC.
    bool repatchSide(TDevice& d, size_t index, size_t nIn, size_t nOut);
    bool repatchIC(TDevice& d, size_t index);
    // Whether op `at` is the fallback op of `d` itself.
    bool ownFallback(const TDevice& d, size_t at) const;
    // The pool index of table word `w` for op `at`, which must be a pooled table op (the word added
    // to the pool when there is room); false when that cannot be.
    bool pooledLike(size_t at, uint64_t w, uint32_t& idx);
    // The table word of a copy from pin `from` to pin `to`, their inversions folded in.
    static uint64_t copyWord(uint32_t from, uint32_t to);

    void step(SimEnvironment& env);

    // The streams the step reads are the big arrays of a large board (megabytes each): in memory
    // marked for large pages.
    template <class T>
    using Stream = std::vector<T, LargePageAllocator<T>>;
    Stream<Rec> recs_;             // the ops in step order
    std::vector<uint64_t> pool_;   // table words (format of the table op in Op); entry 0 unused
    // While building, the pool's index: open addressing over twice the most words the pool holds
    // (a table word is never 0: its kind has the table bit). poolFind answers 0 for a word not in
    // the pool; poolAdd appends one.
    static constexpr size_t kPoolSlots = 65536;
    static_assert(kPoolSlots >= 2 * (kPoolMax + 1));
    std::vector<uint64_t> poolKeys_;
    std::vector<uint16_t> poolVals_;
    void indexPool();
    static size_t poolSlot(uint64_t w);
    uint16_t poolFind(uint64_t w) const;
    void poolInsert(uint64_t w, uint16_t k);
    uint16_t poolAdd(uint64_t w);
    size_t poolLimit_ = kPoolMax;
    Stream<uint32_t> pins_;
    std::vector<Fallback> fallbacks_;
    std::vector<uint32_t> fallbackPins_;
    std::vector<int> fbIns_, fbOuts_;  // scratch values for fallbacks

    std::vector<TypeTable> types_;   // only while building
    std::vector<uint32_t> devOps_;   // per device compiled, where its ops start in recs_
    size_t deadOps_ = 0;             // ops of removed devices, left doing nothing

    size_t deviceCount_ = 0;
    size_t innerCount_ = 0;
    size_t tableCount_ = 0;
    size_t tableDataWords_ = 0;
};

}  // namespace gw
