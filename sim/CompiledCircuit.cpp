#include "sim/CompiledCircuit.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <typeinfo>

#include "ic/ICDescription.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/SimEnvironment.h"
#include "model/Wire.h"

namespace gw {

CompiledCircuit::CompiledCircuit() { clear(); }
CompiledCircuit::~CompiledCircuit() { releaseClockWords(); }

void CompiledCircuit::releaseClockWords() {
    for (const ClockWord& c : clockWords_) DeviceDataStore::release(c.slot);
    clockWords_.clear();
}

uint32_t CompiledCircuit::clockWord(int period) {
    for (const ClockWord& c : clockWords_)
        if (c.period == period) return c.slot;
    clockWords_.push_back(ClockWord{period, DeviceDataStore::acquire(0)});
    return clockWords_.back().slot;
}

void CompiledCircuit::clear() {
    releaseClockWords();
    recs_.clear();
    devOps_.clear();
    pairs_.clear();
    prevPlain_ = nullptr;
    prevRec_ = SIZE_MAX;
    deadOps_ = 0;
    pool_.assign(1, 0);
    poolKeys_.clear();
    poolVals_.clear();
    pins_.clear();
    fallbacks_.clear();
    fallbackPins_.clear();
    fbIns_.clear();
    fbOuts_.clear();
    types_.clear();
    deviceCount_ = 0;
    innerCount_ = 0;
    tableCount_ = 0;
    tableDataWords_ = 0;
}

void CompiledCircuit::build(const std::vector<DevicePtr>& devices) {
    begin(devices.size());
    packDataWords(devices);
    for (const auto& d : devices) addDevice(*d);
    finish();
}

void CompiledCircuit::build(const std::vector<TDevice*>& devices) {
    begin(devices.size());
    packDataWords(devices);
    for (TDevice* d : devices) addDevice(*d);
    finish();
}

CompiledCircuit::DraftClass CompiledCircuit::classOf(const TDraft* dr) {
    // Comparing type_info may compare names; a board has few drafts, so each is classified once
    // per build and kept in a small table by address.
    const size_t slot = (reinterpret_cast<uintptr_t>(dr) >> 4) & (kClassSlots - 1);
    if (building_ && classes_[slot].first == dr) return classes_[slot].second;
    const std::type_info& t = typeid(*dr);
    DraftClass c = DraftClass::Other;
    if (t == typeid(TLogic)) c = DraftClass::Logic;
    else if (t == typeid(TAdder)) c = DraftClass::Adder;
    else if (t == typeid(TRam)) c = DraftClass::Ram;
    else if (t == typeid(TLed)) c = DraftClass::Led;
    else if (t == typeid(TCounter)) c = DraftClass::Counter;
    else if (t == typeid(TSwich)) c = DraftClass::Switch;
    else if (t == typeid(TTicker)) c = DraftClass::Ticker;
    else if (t == typeid(TDigital)) c = DraftClass::Digital;
    else if (t == typeid(TLoadedDraft)) c = DraftClass::IC;
    if (building_) classes_[slot] = {dr, c};
    return c;
}

TCounterData* CompiledCircuit::counterFlags(TDevice& d, const TCounter& type, size_t nIn, size_t nOut) {
    const int n = type.ports;
    if (n < 1 || n > 30 || nIn != static_cast<size_t>(n) + 4 || nOut != static_cast<size_t>(n)) return nullptr;
    auto* cd = dynamic_cast<TCounterData*>(d.obj.get());
    if (!cd) {
        d.obj = std::make_unique<TCounterData>();
        cd = static_cast<TCounterData*>(d.obj.get());
    }
    return cd;
}

template <class List>
void CompiledCircuit::packDataWords(const List& devices) {
    // The data words the step reads and writes (memory cells, lamps, counters with their flags,
    // switches, displays) are spread over the store as their devices were made, among the words
    // of gates that nothing reads: on a large board nearly every one is a cache miss. Words that
    // are mostly out of step order are moved into one run, in step order; the next builds find
    // them in place and move nothing.
    std::vector<DeviceData*> words;
    for (const auto& p : devices) {
        TDevice& d = *p;
        TDraft* dr = d.draft.get();
        if (!dr) continue;
        const DraftClass c = classOf(dr);
        if (c == DraftClass::Counter) {
            words.push_back(&d.data);
            if (TCounterData* cd = counterFlags(d, static_cast<const TCounter&>(*dr), d.inputs.size(), d.outputs.size())) {
                words.push_back(&cd->addSignal);
                words.push_back(&cd->subSignal);
            }
        } else if (c == DraftClass::Ram || c == DraftClass::Led || c == DraftClass::Switch || c == DraftClass::Digital) {
            words.push_back(&d.data);
        }
    }
    size_t breaks = 0;
    for (size_t i = 1; i < words.size(); ++i) breaks += words[i]->slot() != words[i - 1]->slot() + 1;
    if (words.size() < kPackMin || breaks <= words.size() / 8) return;
    uint32_t first;
    try {
        first = DeviceDataStore::acquireRun(static_cast<uint32_t>(words.size()));
    } catch (const std::bad_alloc&) {
        return;  // the words stay where they are: slower, not wrong
    }
    for (size_t i = 0; i < words.size(); ++i) words[i]->moveTo(first + static_cast<uint32_t>(i));
}

void CompiledCircuit::begin(size_t devices) {
    clear();
    // Typical boards: about four pins per device.
    recs_.reserve(devices + 16);
    indexPool();
    writers_.assign(kWriters, Writer{});
    classes_.assign(kClassSlots, {nullptr, DraftClass::Other});
    building_ = true;
}

void CompiledCircuit::finish(bool trim) {
    pushSide(Op{.aux = 0, .nIn = 0, .nOut = 0, .param = 0, .kind = kEnd}, pins_.size());
    types_ = {};
    writers_ = {};
    classes_ = {};
    building_ = false;
    std::vector<uint64_t>().swap(poolKeys_);
    std::vector<uint16_t>().swap(poolVals_);
    // After an append the streams keep their room for the next ones. After a build they keep a
    // little: a device placed on a large board is then compiled onto them without copying them.
    if (!trim) return;
    trimTo(recs_, kRoomOps);
    trimTo(pins_, kRoomOps);
    pool_.shrink_to_fit();
    devOps_.shrink_to_fit();
    pairs_.shrink_to_fit();
}

template <class V>
void CompiledCircuit::trimTo(V& v, size_t room) {
    if (v.capacity() <= v.size() + 2 * room) return;
    V t;
    t.reserve(v.size() + room);
    t.insert(t.end(), v.begin(), v.end());
    v.swap(t);
}

void CompiledCircuit::append(const std::vector<DevicePtr>& devices, size_t from) {
    if (recs_.empty()) {  // never built
        build(devices);
        return;
    }
    // Take back what finish() added (the end op) and what it let go.
    recs_.pop_back();
    prevPlain_ = nullptr;  // no op is shared across an append
    writers_.assign(kWriters, Writer{});
    classes_.assign(kClassSlots, {nullptr, DraftClass::Other});
    building_ = true;
    indexPool();
    for (size_t i = from; i < devices.size(); ++i) addDevice(*devices[i]);
    finish(false);
}

uint32_t CompiledCircuit::inPin(TDevice& d, size_t i) {
    TWireComplex* n = d.inputs[i];
    if (!n) return kZeroNet;  // reads 0 whether inverted or not
    return netSlot(n) | (d.invertedInputs[i] ? kInvBit : 0);
}

uint32_t CompiledCircuit::outPin(TDevice& d, size_t i) {
    TWireComplex* n = d.outputs[i];
    return (n ? netSlot(n) : kSinkNet) | (d.invertedOutputs[i] ? kInvBit : 0);
}

template <class In, class Out>
void CompiledCircuit::addFallback(TDraft* draft, TDevice& state, size_t nIn, size_t nOut, In in, Out out) {
    Fallback f{draft, &state, static_cast<uint32_t>(fallbackPins_.size()), static_cast<uint32_t>(nIn),
               static_cast<uint32_t>(nOut)};
    for (size_t i = 0; i < nIn; ++i) fallbackPins_.push_back(in(i));
    for (size_t i = 0; i < nOut; ++i) fallbackPins_.push_back(out(i));
    // The draft may read up to countInputs() values and write up to countOutputs() results.
    const size_t ins = std::max<size_t>(nIn, static_cast<size_t>(std::max(0, draft->countInputs())));
    const size_t outs = std::max<size_t>(nOut, static_cast<size_t>(std::max(0, draft->countOutputs())));
    if (fbIns_.size() < ins) fbIns_.resize(ins, 0);
    if (fbOuts_.size() < outs) fbOuts_.resize(outs, 0);
    pushSide(Op{.aux = static_cast<uint32_t>(fallbacks_.size()), .nIn = 0, .nOut = 0, .param = 0, .kind = kFallback},
             pins_.size());
    fallbacks_.push_back(f);
}

void CompiledCircuit::addDevice(TDevice& d) {
    const size_t start = recs_.size();
    compileDevice(d);
    // One pooled table op of a plain table type: it may share an op with its neighbour.
    const DraftClass c = d.draft ? classOf(d.draft.get()) : DraftClass::Other;
    const bool plain = fusion_ && recs_.size() == start + 1 && recs_[start].k != kSideOp &&
                       (c == DraftClass::Logic || c == DraftClass::Adder || c == DraftClass::Ram || c == DraftClass::Led);
    if (plain && prevPlain_ && prevRec_ + 1 == start && tryFuse(*prevPlain_, d, prevRec_)) {
        prevPlain_ = nullptr;  // a pair takes no third
        return;
    }
    prevPlain_ = plain ? &d : nullptr;
    prevRec_ = start;
}

void CompiledCircuit::compileDevice(TDevice& d) {
    ++deviceCount_;
    devOps_.push_back(static_cast<uint32_t>(recs_.size()));
    TDraft* dr = d.draft.get();
    if (!dr) return;  // nothing to step
    const size_t nIn = d.inputs.size(), nOut = d.outputs.size();
    auto in = [&](size_t i) { return inPin(d, i); };
    auto out = [&](size_t i) { return outPin(d, i); };
    // The flat kinds assume the pin arrays have the type's pin counts (the board keeps them so).
    const bool shaped = static_cast<int>(nIn) == dr->countInputs() &&
                        static_cast<int>(nOut) == dr->countOutputs() && d.invertedInputs.size() == nIn &&
                        d.invertedOutputs.size() == nOut;
    if (!shaped) {
        addFallback(dr, d, nIn, nOut, in, out);
        return;
    }
    if (classOf(dr) == DraftClass::IC && addIC(d)) return;
    addOp(dr, d, nIn, nOut, in, out);
}

bool CompiledCircuit::addIC(TDevice& d) {
    auto* ic = static_cast<TLoadedDraft*>(d.draft.get());
    auto* vd = dynamic_cast<TVDraft*>(d.obj.get());
    if (!vd) {
        // A device that has not run yet gets its inner circuit now, as its first step would; one
        // that cannot be built is left to the type's own Update, which reports it and gives zeros.
        if (!ic->dsc || dynamic_cast<TBrokenIC*>(d.obj.get())) return false;
        auto built = ic->dsc->generateVirtualDraft();
        if (!built) return false;
        vd = built.get();
        d.obj = std::move(built);
    }
    // Every pin of the inner circuit points into the circuit's wire array; a circuit that breaks
    // this is left to its Update.
    const TVWire* const w0 = vd->vWires.data();
    const size_t nw = vd->vWires.size();
    auto inside = [&](const TVWire* w) { return !w || (w >= w0 && w < w0 + nw); };
    for (const TVDevice& v : vd->vDevices) {
        for (const TVWire* w : v.inputs)
            if (!inside(w)) return false;
        for (const TVWire* w : v.outputs)
            if (!inside(w)) return false;
    }
    for (const TVWire* w : vd->inputs)
        if (!inside(w)) return false;
    for (const TVWire* w : vd->outputs)
        if (!inside(w)) return false;
    // Inner wires keep their values in the store of net values, like nets: stepped in place.
    auto wire = [&](const TVWire* w) { return w ? w->State.slot() : kZeroNet; };

    const size_t nIn = d.inputs.size(), nOut = d.outputs.size();
    // The IC's input values go onto their inner wires first, in pin order.
    for (size_t i = 0; i < nIn && i < vd->inputs.size(); ++i)
        if (vd->inputs[i]) addCopy(inPin(d, i), wire(vd->inputs[i]));
    for (TVDevice& v : vd->vDevices) {
        ++innerCount_;
        TDraft* dr = v.draft.get();
        if (!dr || !v.device) continue;
        const size_t vi = v.inputs.size(), vo = v.outputs.size();
        auto in = [&](size_t i) {
            if (!v.inputs[i]) return kZeroNet;
            const bool inv = i < v.invertedInput.size() && v.invertedInput[i] != 0;
            return wire(v.inputs[i]) | (inv ? kInvBit : 0);
        };
        auto out = [&](size_t i) {
            const bool inv = i < v.invertedOutput.size() && v.invertedOutput[i] != 0;
            return (v.outputs[i] ? wire(v.outputs[i]) : kSinkNet) | (inv ? kInvBit : 0);
        };
        if (static_cast<int>(vi) == dr->countInputs() && static_cast<int>(vo) == dr->countOutputs())
            addOp(dr, *v.device, vi, vo, in, out);
        else
            addFallback(dr, *v.device, vi, vo, in, out);
    }
    // Then each output pin takes its inner wire's value (0 without one) through the placed
    // device's own output inversion.
    for (size_t i = 0; i < nOut; ++i)
        addCopy(i < vd->outputs.size() ? wire(vd->outputs[i]) : kZeroNet, outPin(d, i));
    return true;
}

// --- The table op ---

namespace {

// Bit i of each mask: input bit k of the index i is 1 (k = 0..3).
constexpr uint16_t kBitSet[4] = {0xAAAA, 0xCCCC, 0xF0F0, 0xFF00};

// The table read through an inverted input k: entry i becomes entry i ^ (1 << k).
constexpr uint16_t flipInput(uint16_t t, unsigned k) {
    const unsigned sh = 1u << k;
    return static_cast<uint16_t>(((t & kBitSet[k]) >> sh) | ((t & ~kBitSet[k] & 0xFFFF) << sh));
}

}  // namespace

const CompiledCircuit::TypeTable& CompiledCircuit::typeTable(TDraft* dr, size_t nIn, size_t nOut) {
    // Lookups by draft; a board uses few types, and the last one is the likeliest.
    for (size_t i = types_.size(); i-- > 0;)
        if (types_[i].draft == dr) {
            if (i + 1 != types_.size()) std::swap(types_[i], types_.back());
            return types_.back();
        }
    TypeTable tt{dr, false, false, false, {0, 0, 0}};
    const std::type_info& t = typeid(*dr);
    // Types whose results depend on their inputs (and a memory cell's bit) only.
    if (t == typeid(TRam)) {
        tt.stateIn = tt.stateOut = true;
    } else if (t == typeid(TLed)) {
        tt.stateOut = true;
    } else if (t != typeid(TLogic) && t != typeid(TAdder)) {
        types_.push_back(tt);
        return types_.back();
    }
    const size_t ni = nIn + (tt.stateIn ? 1 : 0), no = nOut + (tt.stateOut ? 1 : 0);
    if (ni <= 4 && no >= 1 && no <= 3) {
        // Run the type on every combination of input values; each result must be a plain 0 or 1
        // (anything else drives a plain pin and an inverted pin alike to 0, which a table cannot
        // fold), and the type must always answer all its outputs.
        TDevice scratch;
        int ins[4] = {0, 0, 0, 0};
        std::vector<int> outs(nOut + 1, 0);
        bool ok = true;
        uint16_t tab[3] = {0, 0, 0};
        for (unsigned idx = 0; idx < (1u << ni) && ok; ++idx) {
            for (size_t k = 0; k < nIn; ++k) ins[k] = (idx >> k) & 1;
            scratch.data = tt.stateIn ? static_cast<int>((idx >> nIn) & 1) : 0;
            const int r = dr->Update(ins, outs.data(), scratch);
            ok = r == static_cast<int>(nOut);
            for (size_t o = 0; o < nOut && ok; ++o) {
                ok = outs[o] == 0 || outs[o] == 1;
                if (outs[o] == 1) tab[o] |= static_cast<uint16_t>(1u << idx);
            }
            if (tt.stateOut) {
                ok = ok && (scratch.data == 0 || scratch.data == 1);
                if (scratch.data == 1) tab[nOut] |= static_cast<uint16_t>(1u << idx);
            }
        }
        if (ok) {
            // Entries beyond the used inputs repeat the used ones: those index bits come from
            // whatever pins follow the op and must not matter.
            for (size_t k = ni; k < 4; ++k)
                for (uint16_t& x : tab) x = static_cast<uint16_t>(x | (x << (1u << k)));
            tt.ok = true;
            std::memcpy(tt.t, tab, sizeof tab);
        }
    }
    types_.push_back(tt);
    return types_.back();
}

void CompiledCircuit::pushSide(const Op& op, size_t pinStart, const uint32_t* extra) {
    Rec r{};
    r.in[0] = static_cast<uint32_t>(pinStart);
    setSideOp(r, op);
    if (extra) std::copy(extra, extra + 3, r.out);
    r.k = kSideOp;
    recs_.push_back(r);
}

void CompiledCircuit::padPins(unsigned nIn, unsigned nOut, const uint32_t* pins, uint32_t* in, uint32_t* out) {
    for (unsigned i = 0; i < 4; ++i) in[i] = i < nIn ? pins[i] : kZeroNet;
    for (unsigned i = 0; i < 3; ++i) out[i] = i < nOut ? pins[nIn + i] : kSinkNet;
}

uint32_t CompiledCircuit::lastWriterAge(uint32_t slot) const {
    if (writers_.empty()) return UINT32_MAX;
    const Writer& e = writers_[slot & (kWriters - 1)];
    return e.slot == slot ? static_cast<uint32_t>(recs_.size()) - e.op : UINT32_MAX;
}

void CompiledCircuit::noteWrites(const uint32_t* outs, size_t n) {
    if (writers_.empty()) return;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t slot = outs[i] & kSlotMask;
        writers_[slot & (kWriters - 1)] = Writer{slot, static_cast<uint32_t>(recs_.size())};
    }
}

template <class Age>
void CompiledCircuit::orderInputs(unsigned nIn, uint64_t& tables, uint32_t* pins, Age age) {
    // Inputs sorted by how recently an op drove them, the latest first: the step adds input 0 to
    // the table index last, so the value that is likeliest still on its way from the op just
    // before waits for the fewest instructions after it.
    if (nIn < 2) return;
    unsigned order[4] = {0, 1, 2, 3};
    uint32_t ages[4];
    for (unsigned i = 0; i < nIn; ++i) ages[i] = age(pins[i]);
    bool same = true;
    for (unsigned i = 1; i < nIn; ++i) {  // insertion sort, stable
        const unsigned o = order[i];
        unsigned j = i;
        for (; j > 0 && ages[order[j - 1]] > ages[o]; --j) order[j] = order[j - 1];
        order[j] = o;
        same = same && j == i;
    }
    if (same) return;
    uint32_t was[4];
    std::copy(pins, pins + nIn, was);
    for (unsigned i = 0; i < nIn; ++i) pins[i] = was[order[i]];
    // The tables follow by swapping two inputs at a time (all three tables at once: a swap never
    // moves a bit out of its 16): entries whose index has input a set and b clear trade places
    // with those whose index has b set and a clear.
    unsigned at[4] = {0, 1, 2, 3};  // the old input now at each position
    uint64_t t = tables & uint64_t{0xFFFFFFFFFFFF};
    for (unsigned q = 0; q < nIn; ++q) {
        unsigned p = q;
        while (at[p] != order[q]) ++p;
        if (p == q) continue;
        const unsigned d = (1u << p) - (1u << q);
        const uint64_t m16 = kBitSet[q] & ~kBitSet[p] & 0xFFFFu;
        const uint64_t m = m16 | m16 << 16 | m16 << 32;
        const uint64_t x = (t ^ (t >> d)) & m;
        t ^= x ^ (x << d);
        std::swap(at[p], at[q]);
    }
    tables = (tables & ~uint64_t{0xFFFFFFFFFFFF}) | t;
}

void CompiledCircuit::indexPool() {
    poolKeys_.assign(kPoolSlots, 0);
    poolVals_.assign(kPoolSlots, 0);
    for (size_t i = 1; i < pool_.size(); ++i)
        if (!poolFind(pool_[i])) poolInsert(pool_[i], static_cast<uint16_t>(i));
}

size_t CompiledCircuit::poolSlot(uint64_t w) { return static_cast<size_t>((w * 0x9E3779B97F4A7C15u) >> 48); }

uint16_t CompiledCircuit::poolFind(uint64_t w) const {
    for (size_t i = poolSlot(w);; i = (i + 1) & (kPoolSlots - 1)) {
        if (poolKeys_[i] == w) return poolVals_[i];
        if (poolKeys_[i] == 0) return 0;
    }
}

void CompiledCircuit::poolInsert(uint64_t w, uint16_t k) {
    size_t i = poolSlot(w);
    while (poolKeys_[i] != 0) i = (i + 1) & (kPoolSlots - 1);
    poolKeys_[i] = w;
    poolVals_[i] = k;
}

uint16_t CompiledCircuit::poolAdd(uint64_t w) {
    const auto k = static_cast<uint16_t>(pool_.size());
    pool_.push_back(w);
    poolInsert(w, k);
    return k;
}

void CompiledCircuit::pushTable(unsigned nIn, unsigned nOut, uint64_t tables, const uint32_t* given) {
    uint32_t pins[8];
    std::copy(given, given + nIn + nOut, pins);
    orderInputs(nIn, tables, pins, [this](uint32_t slot) { return lastWriterAge(slot); });
    const uint64_t w = tableWord(tables, nIn, nOut);
    ++tableCount_;
    uint16_t k = poolFind(w);
    if (!k && pool_.size() <= poolLimit_) k = poolAdd(w);
    if (k) {
        Rec r;
        padPins(nIn, nOut, pins, r.in, r.out);
        r.k = k;
        recs_.push_back(r);
        noteWrites(r.out, nOut);
        return;
    }
    // The pool is full: the tables go inline, in the side stream, the pins padded as in a record.
    Op op;
    std::memcpy(&op, &w, sizeof op);
    pushSide(op, pins_.size());
    pins_.resize(pins_.size() + 7);
    padPins(nIn, nOut, pins, pins_.data() + pins_.size() - 7, pins_.data() + pins_.size() - 3);
    noteWrites(pins_.data() + pins_.size() - 3, nOut);
}

CompiledCircuit::TableOp CompiledCircuit::opAt(size_t rec) const {
    const Rec& r = recs_[rec];
    const uint64_t w = pool_[r.k];
    TableOp op;
    op.nIn = (w >> 56) & 7;
    op.nOut = ((w >> 59) & 3) + 1;
    op.tables = w & uint64_t{0xFFFFFFFFFFFF};
    std::copy(r.in, r.in + op.nIn, op.pins);
    std::copy(r.out, r.out + op.nOut, op.pins + op.nIn);
    return op;
}

bool CompiledCircuit::fuseOps(const TableOp& a, const TableOp& b, TableOp& f) {
    if (a.nOut + b.nOut > 3) return false;
    f = TableOp{};
    // The inputs of both, each slot once; an input of `b` that `a` drives is `a`'s result (the
    // last of its outputs to that slot, as the last write wins).
    unsigned n = 0;
    auto input = [&](uint32_t slot) -> int {
        for (unsigned i = 0; i < n; ++i)
            if (f.pins[i] == slot) return static_cast<int>(i);
        if (n == 4) return -1;
        f.pins[n] = slot;
        return static_cast<int>(n++);
    };
    int aIn[4], bIn[4];  // index bit of each input; for `b`, -1 - m for output m of `a`
    for (unsigned j = 0; j < a.nIn; ++j)
        if ((aIn[j] = input(a.pins[j])) < 0) return false;
    for (unsigned j = 0; j < b.nIn; ++j) {
        int from = 0;
        for (unsigned m = 0; m < a.nOut; ++m)
            if (a.pins[a.nIn + m] == b.pins[j] && b.pins[j] != kSinkNet) from = -1 - static_cast<int>(m);
        if (from == 0 && (from = input(b.pins[j])) < 0) return false;
        bIn[j] = from;
    }
    f.nIn = n;
    f.nOut = a.nOut + b.nOut;
    std::copy(a.pins + a.nIn, a.pins + a.nIn + a.nOut, f.pins + n);
    std::copy(b.pins + b.nIn, b.pins + b.nIn + b.nOut, f.pins + n + a.nOut);
    f.dataWord = a.dataWord || b.dataWord;
    // Per bit of the shared index: the index bits of `a` and of `b` it sets; per output of `a`: the
    // index bits of `b` its result sets.
    unsigned toA[4] = {0, 0, 0, 0}, toB[4] = {0, 0, 0, 0}, fromA[3] = {0, 0, 0};
    for (unsigned j = 0; j < a.nIn; ++j) toA[aIn[j]] |= 1u << j;
    for (unsigned j = 0; j < b.nIn; ++j) {
        if (bIn[j] >= 0)
            toB[bIn[j]] |= 1u << j;
        else
            fromA[-1 - bIn[j]] |= 1u << j;
    }
    unsigned ai[16], bi[16];
    ai[0] = bi[0] = 0;
    for (unsigned i = 1; i < 16; ++i) {
        const auto low = static_cast<unsigned>(std::countr_zero(i));
        ai[i] = ai[i & (i - 1)] | toA[low];
        bi[i] = bi[i & (i - 1)] | toB[low];
    }
    for (unsigned i = 0; i < 16; ++i) {
        unsigned bx = bi[i];
        for (unsigned m = 0; m < a.nOut; ++m) {
            const unsigned r = (a.tables >> (16 * m + ai[i])) & 1u;
            f.tables |= uint64_t{r} << (16 * m + i);
            bx |= r ? fromA[m] : 0u;
        }
        for (unsigned m = 0; m < b.nOut; ++m)
            f.tables |= ((b.tables >> (16 * m + bx)) & 1u) << (16 * (a.nOut + m) + i);
    }
    return true;
}

bool CompiledCircuit::tryFuse(TDevice& first, TDevice& second, size_t rec) {
    // Most pairs have too many outputs between them: that is seen from the pool words alone.
    if (((pool_[recs_[rec].k] >> 59) & 3) + ((pool_[recs_[rec + 1].k] >> 59) & 3) > 1) return false;
    TableOp f;
    if (!fuseOps(opAt(rec), opAt(rec + 1), f)) return false;
    orderInputs(f.nIn, f.tables, f.pins, [this](uint32_t slot) { return lastWriterAge(slot); });
    const uint64_t w = tableWord(f.tables, f.nIn, f.nOut);
    uint16_t k = poolFind(w);
    if (!k) {
        // Shared ops take at most half the pool, so that the tables of single ops still fit.
        if (pool_.size() > poolLimit_ / 2) return false;
        k = poolAdd(w);
    }
    Rec& r = recs_[rec];
    padPins(f.nIn, f.nOut, f.pins, r.in, r.out);
    r.k = k;
    recs_.pop_back();
    --tableCount_;
    pairs_.push_back(Pair{static_cast<uint32_t>(rec), &first, &second});
    return true;
}

CompiledCircuit::Pair* CompiledCircuit::pairAt(size_t rec) {
    auto it = std::lower_bound(pairs_.begin(), pairs_.end(), rec, [](const Pair& p, size_t r) { return p.rec < r; });
    return it != pairs_.end() && it->rec == rec ? &*it : nullptr;
}

CompiledCircuit::Pair* CompiledCircuit::pairOf(const TDevice& d, size_t at) {
    if (pairs_.empty()) return nullptr;
    if (Pair* p = pairAt(at); p && p->first == &d) return p;
    if (Pair* p = at > 0 ? pairAt(at - 1) : nullptr; p && p->second == &d) return p;
    return nullptr;
}

bool CompiledCircuit::rewriteTable(size_t rec, TableOp op) {
    orderInputs(op.nIn, op.tables, op.pins, [&](uint32_t slot) {
        for (size_t back = 1; back <= kLookBack && back <= rec; ++back) {
            const Rec& b = recs_[rec - back];
            if (b.k == kSideOp) break;
            for (uint32_t o : b.out)
                if (o == slot) return static_cast<uint32_t>(back);
        }
        return UINT32_MAX;
    });
    const uint64_t w = tableWord(op.tables, op.nIn, op.nOut);
    uint32_t idx;
    if (!pooledLike(rec, w, idx)) return false;
    Rec& r = recs_[rec];
    padPins(op.nIn, op.nOut, op.pins, r.in, r.out);
    r.k = idx;
    return true;
}

uint64_t CompiledCircuit::copyWord(uint32_t from, uint32_t to) {
    uint16_t t = kBitSet[0];
    if (from & kInvBit) t = static_cast<uint16_t>(~t);
    if (to & kInvBit) t = static_cast<uint16_t>(~t);
    return tableWord(t, 1, 1);
}

void CompiledCircuit::addCopy(uint32_t from, uint32_t to) {
    const uint32_t pins[2] = {from & kSlotMask, to & kSlotMask};
    pushTable(1, 1, copyWord(from, to) & 0xFFFF, pins);
}

template <class In, class Out>
bool CompiledCircuit::tableOf(TDraft* dr, TDevice& d, size_t nIn, size_t nOut, In in, Out out, TableOp& op) {
    const TypeTable& tt = typeTable(dr, nIn, nOut);
    if (!tt.ok) return false;
    if ((tt.stateIn || tt.stateOut) && d.data != 0 && d.data != 1) return false;  // holding another value
    uint16_t t[3] = {tt.t[0], tt.t[1], tt.t[2]};
    unsigned np = 0;
    for (size_t k = 0; k < nIn; ++k) {
        const uint32_t pin = in(k);
        op.pins[np++] = pin & kSlotMask;
        if (pin & kInvBit)
            for (uint16_t& x : t) x = flipInput(x, static_cast<unsigned>(k));
    }
    uint32_t state = 0;
    // The device's bit is its data word, read and written through its lowest byte.
    op.dataWord = tt.stateIn || tt.stateOut;
    if (op.dataWord) {
        static_assert(sizeof(NetCell) == 1, "data words are reached by byte offset from the net values");
        state = DeviceDataStore::lowByteOffset(d.data.slot());
    }
    if (tt.stateIn) op.pins[np++] = state;
    op.nIn = np;
    for (size_t k = 0; k < nOut; ++k) {
        const uint32_t pin = out(k);
        op.pins[np++] = pin & kSlotMask;
        if (pin & kInvBit) t[k] = static_cast<uint16_t>(~t[k]);
    }
    if (tt.stateOut) op.pins[np++] = state;
    op.nOut = np - op.nIn;
    op.tables = uint64_t{t[0]} | uint64_t{t[1]} << 16 | uint64_t{t[2]} << 32;
    return true;
}

template <class In, class Out>
bool CompiledCircuit::addTable(TDraft* dr, TDevice& d, size_t nIn, size_t nOut, In in, Out out) {
    TableOp op;
    if (!tableOf(dr, d, nIn, nOut, in, out, op)) return false;
    if (op.dataWord) ++tableDataWords_;
    pushTable(op.nIn, op.nOut, op.tables, op.pins);
    return true;
}

bool CompiledCircuit::remove(size_t index, const TDevice& d) {
    if (index >= devOps_.size() || recs_.empty()) return false;
    if (Pair* p = pairOf(d, devOps_[index])) {
        // The shared op is compiled again for the neighbour alone.
        TableOp op;
        if (!deviceTable(p->first == &d ? *p->second : *p->first, op) || !rewriteTable(p->rec, op)) return false;
        const uint32_t rec = p->rec;
        pairs_.erase(pairs_.begin() + (p - pairs_.data()));
        if (devOps_[index] == rec) devOps_[index + 1] = rec;  // the second device now owns the op
        devOps_.erase(devOps_.begin() + static_cast<std::ptrdiff_t>(index));
        --deviceCount_;
        return true;
    }
    const size_t from = devOps_[index];
    const size_t to = index + 1 < devOps_.size() ? devOps_[index + 1] : recs_.size() - 1;  // before the end op
    // Ops left doing nothing cost a little in every step: past a share of all ops, build afresh.
    if (deadOps_ + (to - from) > kRoomOps + recs_.size() / 16) return false;
    // Every op of the device reads the zero slot and drives the sink from now on, and side ops
    // become gates, which touch no data word, draw no random bit and call no device.
    for (size_t i = from; i < to; ++i) {
        Rec& r = recs_[i];
        if (r.k != kSideOp) {
            std::fill(std::begin(r.in), std::end(r.in), kZeroNet);
            std::fill(std::begin(r.out), std::end(r.out), kSinkNet);
            continue;
        }
        Op op = sideOp(r);
        uint32_t* pins = pins_.data() + r.in[0];
        if (op.kind & kTable) {
            std::fill(pins, pins + 4, kZeroNet);
            std::fill(pins + 4, pins + 7, kSinkNet);
        } else {
            for (unsigned j = 0; j < op.nIn + op.nOut; ++j) pins[j] = j < op.nIn ? kZeroNet : kSinkNet;
            op.kind = kGate;
            op.param = 0;
            op.aux = 0;
            setSideOp(r, op);
        }
    }
    deadOps_ += to - from;
    devOps_.erase(devOps_.begin() + static_cast<std::ptrdiff_t>(index));
    --deviceCount_;
    return true;
}

bool CompiledCircuit::repatch(TDevice& d, size_t index) {
    TDraft* dr = d.draft.get();
    if (index >= devOps_.size() || !dr) return false;
    const size_t nIn = d.inputs.size(), nOut = d.outputs.size();
    if (static_cast<int>(nIn) != dr->countInputs() || static_cast<int>(nOut) != dr->countOutputs() ||
        d.invertedInputs.size() != nIn || d.invertedOutputs.size() != nOut)
        return false;
    const size_t at = devOps_[index];
    if (at >= recs_.size()) return false;
    if (Pair* p = pairOf(d, at)) {
        // Both devices of a shared op compiled again, as one op when they still fit in one.
        TableOp a, b, f;
        return deviceTable(*p->first, a) && deviceTable(*p->second, b) && fuseOps(a, b, f) && rewriteTable(p->rec, f);
    }
    TableOp src[kMaxSourceOps];
    const int ns = sourceOps(dr, d, nIn, nOut, [&](size_t i) { return outPin(d, i); }, src);
    if (ns >= 0) {
        // A source's table ops are rewritten in place when it still has as many (a switch that
        // was compiled to a side op, or one op more or fewer, needs a build).
        const size_t to = index + 1 < devOps_.size() ? devOps_[index + 1] : recs_.size() - 1;  // before the end op
        if (to - at != static_cast<size_t>(ns)) return false;
        uint32_t idx[kMaxSourceOps];
        for (int i = 0; i < ns; ++i) {
            const TableOp& op = src[i];
            const uint64_t w = tableWord(op.tables, op.nIn, op.nOut);
            if (!pooledLike(at + static_cast<size_t>(i), w, idx[i])) return false;
        }
        for (int i = 0; i < ns; ++i) {
            Rec& r = recs_[at + static_cast<size_t>(i)];
            padPins(src[i].nIn, src[i].nOut, src[i].pins, r.in, r.out);
            r.k = idx[i];
        }
        return true;
    }
    if (typeid(*dr) == typeid(TLoadedDraft)) return ownFallback(d, at) ? repatchSide(d, index, nIn, nOut) : repatchIC(d, index);
    if (recs_[at].k == kSideOp) return repatchSide(d, index, nIn, nOut);
    TableOp op;
    return deviceTable(d, op) && rewriteTable(at, op);
}

bool CompiledCircuit::deviceTable(TDevice& d, TableOp& op) {
    TDraft* dr = d.draft.get();
    return dr && tableOf(dr, d, d.inputs.size(), d.outputs.size(), [&](size_t i) { return inPin(d, i); },
                         [&](size_t i) { return outPin(d, i); }, op);
}

bool CompiledCircuit::pooledLike(size_t at, uint64_t w, uint32_t& idx) {
    if (recs_[at].k == kSideOp) return false;
    size_t i = static_cast<size_t>(std::find(pool_.begin() + 1, pool_.end(), w) - pool_.begin());
    if (i == pool_.size()) {
        if (pool_.size() > poolLimit_) return false;
        pool_.push_back(w);
    }
    idx = static_cast<uint32_t>(i);
    return true;
}

bool CompiledCircuit::ownFallback(const TDevice& d, size_t at) const {
    if (recs_[at].k != kSideOp) return false;
    const Op op = sideOp(recs_[at]);
    return op.kind == kFallback && fallbacks_[op.aux].device == &d;
}

bool CompiledCircuit::repatchIC(TDevice& d, size_t index) {
    // An expanded IC reads its outer pins only in its copies: one per wired inner input first,
    // one per output pin last (see addIC). Those are rewritten; the inner circuit stays.
    auto* vd = dynamic_cast<TVDraft*>(d.obj.get());
    if (!vd) return false;
    const size_t at = devOps_[index];
    const size_t next = index + 1 < devOps_.size() ? devOps_[index + 1] : recs_.size() - 1;  // before the end op
    const size_t nIn = d.inputs.size(), nOut = d.outputs.size();
    struct Copy {
        size_t op;
        uint32_t from, to;
    };
    std::vector<Copy> copies;
    for (size_t i = 0; i < nIn && i < vd->inputs.size(); ++i)
        if (vd->inputs[i]) copies.push_back({at + copies.size(), inPin(d, i), vd->inputs[i]->State.slot()});
    if (next < at + copies.size() + nOut) return false;
    for (size_t i = 0; i < nOut; ++i) {
        const TVWire* w = i < vd->outputs.size() ? vd->outputs[i] : nullptr;
        copies.push_back({next - nOut + i, w ? w->State.slot() : kZeroNet, outPin(d, i)});
    }
    // Every copy must be a pooled one-input op before anything is written.
    std::vector<uint32_t> idx(copies.size());
    for (size_t j = 0; j < copies.size(); ++j) {
        const Copy& c = copies[j];
        if (!pooledLike(c.op, copyWord(c.from, c.to), idx[j])) return false;
    }
    for (size_t j = 0; j < copies.size(); ++j) {
        const Copy& c = copies[j];
        Rec& r = recs_[c.op];
        r.in[0] = c.from & kSlotMask;
        r.out[0] = c.to & kSlotMask;
        r.k = idx[j];
    }
    return true;
}

bool CompiledCircuit::repatchSide(TDevice& d, size_t index, size_t nIn, size_t nOut) {
    // One op of the side stream, of a flat kind or a fallback: its kind does not depend on the
    // pins, which are all it reads of them (inversions in their top bits), so rewriting them is
    // compiling it again. Table ops there (the pool was full) are left to a build.
    const size_t at = devOps_[index];
    const size_t next = index + 1 < devOps_.size() ? devOps_[index + 1] : recs_.size() - 1;  // before the end op
    if (next != at + 1 || recs_[at].k != kSideOp) return false;
    const Op op = sideOp(recs_[at]);
    if (op.kind & kTable) return false;
    uint32_t* pins = nullptr;
    if (op.kind == kFallback) {
        const Fallback& f = fallbacks_[op.aux];
        if (f.device != &d || f.nIn != nIn || f.nOut != nOut) return false;
        pins = fallbackPins_.data() + f.pinStart;
    } else {
        if (op.nIn != nIn || op.nOut != nOut) return false;
        pins = pins_.data() + recs_[at].in[0];
    }
    for (size_t i = 0; i < nIn; ++i) pins[i] = inPin(d, i);
    for (size_t i = 0; i < nOut; ++i) pins[nIn + i] = outPin(d, i);
    return true;
}

template <class Out>
int CompiledCircuit::sourceOps(TDraft* dr, TDevice& d, size_t nIn, size_t nOut, Out out, TableOp* ops) {
    const DraftClass c = classOf(dr);
    uint32_t word;
    if (c == DraftClass::Switch) {
        // A switch's word is read as a net (its low byte) only while it holds 0 or 1, which is
        // all clicking gives it.
        if (nIn != 0 || nOut != 4 || (d.data != 0 && d.data != 1)) return -1;
        word = d.data.slot();
    } else if (c == DraftClass::Ticker) {
        const int time = static_cast<const TTicker*>(dr)->Time;
        if (nIn != 0 || nOut != 4 || time <= 0) return -1;
        word = clockWord(time);
    } else {
        return -1;
    }
    const uint32_t from = DeviceDataStore::lowByteOffset(word);
    int n = 0;
    for (size_t i = 0; i < nOut; ++i) {
        const uint32_t pin = out(i);
        if ((pin & kSlotMask) == kSinkNet) continue;  // unwired: nothing to drive
        if (n == 0 || ops[n - 1].nOut == 3) {
            ops[n] = TableOp{};
            ops[n].nIn = 1;
            ops[n].pins[0] = from;
            ++n;
        }
        TableOp& op = ops[n - 1];
        const auto copy = static_cast<uint16_t>((pin & kInvBit) ? ~kBitSet[0] : kBitSet[0]);
        op.tables |= uint64_t{copy} << (16 * op.nOut);
        op.pins[1 + op.nOut] = pin & kSlotMask;
        ++op.nOut;
    }
    return n;
}

template <class In, class Out>
void CompiledCircuit::addOp(TDraft* dr, TDevice& d, size_t nIn, size_t nOut, In in, Out out) {
    TableOp src[kMaxSourceOps];
    const int ns = sourceOps(dr, d, nIn, nOut, out, src);
    if (ns >= 0) {
        for (int i = 0; i < ns; ++i) pushTable(src[i].nIn, src[i].nOut, src[i].tables, src[i].pins);
        return;
    }
    if (addTable(dr, d, nIn, nOut, in, out)) return;
    const std::type_info& t = typeid(*dr);
    Op op{.aux = 0, .nIn = static_cast<uint8_t>(nIn), .nOut = static_cast<uint8_t>(nOut), .param = 0, .kind = kFallback};
    uint32_t extra[3] = {0, 0, 0};  // a counter's data word and flags
    bool ok = false;
    if (t == typeid(TLogic)) {
        const auto* g = static_cast<const TLogic*>(dr);
        // Wide gates. An inverter reads only its first input, so a wide one is left to its Update.
        if ((g->kind == 0 || g->kind == 1) && nOut == 1 && nIn <= 255) {
            op.kind = kGate;
            op.param = static_cast<uint8_t>(g->kind == 0 ? nIn : 1);
            ok = true;
        } else if (g->kind == 3 && nIn == 0 && nOut == 4) {
            op.kind = kGate;
            op.param = 0;
            ok = true;
        }
    } else if (t == typeid(TRam)) {
        if (nIn == 2 && nOut == 2) {
            op.kind = kRam;
            op.aux = d.data.slot();
            ok = true;
        }
    } else if (t == typeid(TCounter)) {
        const int n = static_cast<const TCounter*>(dr)->ports;
        if (TCounterData* cd = counterFlags(d, static_cast<const TCounter&>(*dr), nIn, nOut)) {
            op.kind = kCounter;
            op.param = static_cast<uint8_t>(n);
            extra[0] = d.data.slot();
            extra[1] = cd->addSignal.slot();
            extra[2] = cd->subSignal.slot();
            ok = true;
        }
    } else if (t == typeid(TSwich)) {
        if (nIn == 0 && nOut == 4) {
            op.kind = kSwitch;
            op.aux = d.data.slot();
            ok = true;
        }
    } else if (t == typeid(TTicker)) {
        if (nIn == 0 && nOut == 4) {
            const int time = static_cast<const TTicker*>(dr)->Time;
            // Clocks are table ops (sourceOps); this is a random generator.
            if (time <= 0) {
                op.kind = kRandom;
                ok = true;
            }
        }
    } else if (t == typeid(TLed)) {
        if (nIn == 4 && nOut == 0) {
            op.kind = kLed;
            op.aux = d.data.slot();
            ok = true;
        }
    } else if (t == typeid(TDigital)) {
        const bool analog = static_cast<const TDigital*>(dr)->analog != 0;
        if (nIn == (analog ? 7u : 4u) && nOut == 0) {
            op.kind = analog ? kDigit7 : kDigit4;
            op.aux = d.data.slot();
            ok = true;
        }
    }
    if (!ok) {
        addFallback(dr, d, nIn, nOut, in, out);
        return;
    }
    const size_t pinStart = pins_.size();
    for (size_t i = 0; i < nIn; ++i) pins_.push_back(in(i));
    for (size_t i = 0; i < nOut; ++i) pins_.push_back(out(i));
    pushSide(op, pinStart, extra);
    noteWrites(pins_.data() + pinStart + nIn, nOut);
}

namespace {
constexpr int kDigitMask[16] = {0x5F, 0x03, 0x79, 0x73, 0x27, 0x76, 0x7E, 0x47,
                                0x7F, 0x77, 0x6F, 0x3E, 0x5C, 0x3B, 0x7C, 0x6C};
}  // namespace

void CompiledCircuit::step(SimEnvironment& env) {
    if (recs_.empty()) return;  // never built
    NetCell* const s = NetValueStore::base();
    // Device data words are read and written where the model keeps them.
    int* const data = DeviceDataStore::base();
    // All clocks of one step see one time: each period's phase goes into its word before the
    // first op (boards without clocks never ask the time).
    if (!clockWords_.empty()) {
        const int64_t now = env.millis();
        for (const ClockWord& c : clockWords_) data[c.slot] = now % (2 * int64_t{c.period}) > c.period ? 1 : 0;
    }

    // An input value: the net's value, negated for an inverted pin (bit 0 only: a value other
    // than 0 or 1 must not reach an index).
    auto rd = [s](uint32_t pin) -> unsigned { return (static_cast<unsigned>(s[pin & kSlotMask]) ^ (pin >> 31)) & 1u; };
    // Drives a 0/1 value through an output pin.
    auto wr = [s](uint32_t pin, unsigned v) { s[pin & kSlotMask] = static_cast<NetCell>(v ^ (pin >> 31)); };
    // Drives any int the way the model does: the net becomes 1 exactly when the value is 1 on a
    // plain pin or 0 on an inverted one.
    auto wrValue = [&](uint32_t pin, int v) { wr(pin & kSlotMask, v == static_cast<int>(1 - (pin >> 31))); };

    // The record stream drives the step: a pooled table op (nearly every device) is stepped in the
    // loop itself; a side op's record leads to its op, whose kind jumps through the table of labels
    // and comes back.
    static const void* const kLabels[kKindCount] = {&&L_kGate,   &&L_kRam,    &&L_kCounter, &&L_kSwitch,
                                                    &&L_kRandom, &&L_kLed,     &&L_kDigit4,
                                                    &&L_kDigit7, &&L_kFallback, &&done};
    // The table index of four input slots (pins without flags), input 0 added last. Masked to
    // six bits, which the shift by it does anyway (so the mask costs nothing): a net given another
    // value than 0 or 1 behind the step's back must not shift a table word out of range (it reads
    // some bit of the word, still a 0 or 1 result).
    auto tableIndex = [s](const uint32_t* in) -> unsigned {
        return (static_cast<unsigned>(s[in[0]]) +
                2u * (static_cast<unsigned>(s[in[1]]) +
                      2u * (static_cast<unsigned>(s[in[2]]) + 2u * static_cast<unsigned>(s[in[3]])))) &
               63u;
    };
    const uint64_t* const pool = pool_.data();
    const Rec* rp = recs_.data();
    const uint32_t* const pins = pins_.data();
    const uint32_t* p = pins;
    Op op{};                    // the side op being stepped
    const Rec* side = nullptr;  // and its record
    // Writes the three results of table word `w` for input bits `idx` (unused outputs drive the
    // sink). While nets hold 0 or 1, idx < 16 and no output's result takes a bit of another's table.
    auto results = [s](uint64_t w, unsigned idx, const uint32_t* out) {
        const uint64_t r = w >> idx;
        s[out[0]] = static_cast<NetCell>(r & 1);
        s[out[1]] = static_cast<NetCell>((r >> 16) & 1);
        s[out[2]] = static_cast<NetCell>((r >> 32) & 1);
    };
next:
    for (;;) {
        const Rec& r = *rp++;
        if (__builtin_expect(r.k == kSideOp, 0)) {
            side = &r;
            op = sideOp(r);
            p = pins + r.in[0];
            if (op.kind & kTable) goto L_kTable;
            goto* kLabels[op.kind];
        }
        results(pool[r.k], tableIndex(r.in), r.out);
    }
    {
    L_kTable : {
        // A table op whose tables did not fit in the pool: the same body, tables inline.
        uint64_t w;
        std::memcpy(&w, &op, sizeof w);
        results(w, tableIndex(p), p + 4);
        goto next;
    }
    L_kGate : {
        unsigned c = 0;
        for (unsigned i = 0; i < op.nIn; ++i) c += rd(p[i]);
        const unsigned v = c >= op.param ? 1u : 0u;
        for (unsigned i = 0; i < op.nOut; ++i) wr(p[op.nIn + i], v);
        goto next;
    }
    L_kRam : {
        int& d = data[op.aux];
        if (rd(p[1]))
            d = 0;
        else if (rd(p[0]))
            d = 1;
        wrValue(p[2], d);
        wr(p[3], d == 0 ? 1u : 0u);
        goto next;
    }
    L_kCounter : {
        // Written as selections rather than a chain of branches: counters sit between table ops,
        // and which of reset, load, count up or count down applies changes from step to step.
        const int n = op.param;
        int& d = data[side->out[0]];
        int& add = data[side->out[1]];
        int& sub = data[side->out[2]];
        // The edge flags as two bits: bit 0 "+" counted, bit 1 "-" counted (each 0 or 1).
        const unsigned f = (static_cast<unsigned>(add) & 1u) | (static_cast<unsigned>(sub) & 1u) << 1;
        const unsigned plus = rd(p[0]), minus = rd(p[1]), set = rd(p[2]), reset = rd(p[3]);
        // The load inputs matter only while "S" is 1, which few steps see.
        int32_t load = 0;
        if (set)
            for (int i = 0; i < n; ++i) load |= static_cast<int32_t>(rd(p[4 + i])) << i;
        const int64_t full = int64_t{1} << n;
        const int64_t up = int64_t{d} + 1, down = int64_t{d} - 1;
        // First match wins: reset, load, a rising "+", a rising "-"; each flag is then cleared
        // while its input is 0.
        const unsigned counting = (reset | set) ^ 1u;
        const unsigned doUp = counting & plus & ((f & 1u) ^ 1u);
        const unsigned doDown = counting & (doUp ^ 1u) & minus & (((f >> 1) & 1u) ^ 1u);
        int64_t next = d;
        next = doDown ? (down < 0 ? full - 1 : down) : next;
        next = doUp ? (full <= up ? 0 : up) : next;
        next = set ? load : next;
        next = reset ? 0 : next;
        d = static_cast<int32_t>(next);
        const unsigned nf = (f | doUp | doDown << 1) & (plus | minus << 1);
        add = static_cast<int>(nf & 1u);
        sub = static_cast<int>(nf >> 1);
        // Bits from the top, subtracting each power that fits, as the counter itself does, come
        // to this: a value beyond n bits shows all ones, a negative one all zeros. Outputs are
        // then driven in pin order, which matters when two share a net.
        const int64_t shown = next < 0 ? 0 : (next >= full ? full - 1 : next);
        const auto bits = static_cast<uint32_t>(shown);
        const uint32_t* out = p + 4 + n;
        for (int i = 0; i < n; ++i) wr(out[i], (bits >> i) & 1u);
        goto next;
    }
    L_kSwitch : {
        const int v = data[op.aux];
        for (int i = 0; i < 4; ++i) wrValue(p[i], v);
        goto next;
    }
    L_kRandom : {
        const int v = env.randomBit();
        for (int i = 0; i < 4; ++i) wrValue(p[i], v);
        goto next;
    }
    L_kLed : {
        // The first input that is not 0, else the last: with inputs of 0 and 1, whether any is 1.
        data[op.aux] = static_cast<int>(rd(p[0]) | rd(p[1]) | rd(p[2]) | rd(p[3]));
        goto next;
    }
    L_kDigit4 : {
        data[op.aux] = kDigitMask[rd(p[0]) | rd(p[1]) << 1 | rd(p[2]) << 2 | rd(p[3]) << 3];
        goto next;
    }
    L_kDigit7 : {
        int32_t v = 0;
        for (int k = 0; k < 7; ++k) v |= static_cast<int32_t>(rd(p[k])) << k;
        data[op.aux] = v;
        goto next;
    }
    L_kFallback : {
        const Fallback& fb = fallbacks_[op.aux];
        const uint32_t* fp = fallbackPins_.data() + fb.pinStart;
        int* ins = fbIns_.data();
        int* outs = fbOuts_.data();
        for (uint32_t i = 0; i < fb.nIn; ++i) ins[i] = static_cast<int>(rd(fp[i]));
        int nout = fb.draft->Update(ins, outs, *fb.device);
        if (nout > static_cast<int>(fb.nOut)) nout = static_cast<int>(fb.nOut);
        for (int i = 0; i < nout; ++i) wrValue(fp[fb.nIn + i], outs[i]);
        goto next;
    }
    }
done:;
}

void CompiledCircuit::run(int steps) {
    SimEnvironment& env = simEnvironment();
    for (int k = 0; k < steps; ++k) step(env);
}


bool CompiledCircuit::flipTableEntry(size_t k, unsigned output, unsigned entry) {
    if (output > 2 || entry > 15) return false;
    const uint64_t bit = uint64_t{1} << (16 * output + entry);
    for (Rec& r : recs_) {
        if (r.k == kSideOp) {
            Op op = sideOp(r);
            if (!(op.kind & kTable) || k-- != 0) continue;
            uint64_t w;
            std::memcpy(&w, &op, sizeof w);
            w ^= bit;
            std::memcpy(&op, &w, sizeof w);
            setSideOp(r, op);
            return true;
        }
        if (k-- != 0) continue;
        // The op gets a table of its own, so the ops sharing the pooled one stay as they were.
        if (pool_.size() > kPoolMax) return false;
        pool_.push_back(pool_[r.k] ^ bit);
        r.k = static_cast<uint32_t>(pool_.size() - 1);
        return true;
    }
    return false;
}

size_t CompiledCircuit::memoryBytes() const {
    return recs_.capacity() * sizeof(Rec) + pairs_.capacity() * sizeof(Pair) +
           devOps_.capacity() * sizeof(uint32_t) +
           pool_.capacity() * sizeof(uint64_t) + pins_.capacity() * sizeof(uint32_t) +
           fallbacks_.capacity() * sizeof(Fallback) + fallbackPins_.capacity() * sizeof(uint32_t) +
           (fbIns_.capacity() + fbOuts_.capacity()) * sizeof(int);
}

}  // namespace gw
