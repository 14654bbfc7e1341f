#include "sim/CompiledCircuit.h"

#include <typeinfo>

#include "ic/ICDescription.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/SimEnvironment.h"
#include "model/Wire.h"

namespace gw {

CompiledCircuit::CompiledCircuit() { clear(); }
CompiledCircuit::~CompiledCircuit() = default;

void CompiledCircuit::clear() {
    ops_.clear();
    pins_.clear();
    net_.assign(kFirstNet, 0);
    netRef_.assign(kFirstNet, nullptr);
    data_.clear();
    flags_.clear();
    dataRef_.clear();
    flagRef_.clear();
    live_.clear();
    fallbacks_.clear();
    fallbackPins_.clear();
    fbIns_.clear();
    fbOuts_.clear();
    dirtyNets_.clear();
    dirtyData_.clear();
    nDirtyNets_ = nDirtyData_ = 0;
    allDirty_ = false;
    deviceCount_ = 0;
    innerCount_ = 0;
    slotIndex_.clear();
}

void CompiledCircuit::build(const std::vector<DevicePtr>& devices) {
    begin();
    slotIndex_.reserve(devices.size() * 2);
    ops_.reserve(devices.size());
    for (const auto& d : devices) addDevice(*d);
    finish();
}

void CompiledCircuit::build(const std::vector<TDevice*>& devices) {
    begin();
    slotIndex_.reserve(devices.size() * 2);
    ops_.reserve(devices.size());
    for (TDevice* d : devices) addDevice(*d);
    finish();
}

void CompiledCircuit::begin() { clear(); }

void CompiledCircuit::finish() {
    slotIndex_ = {};
    size_t writes = 0;
    for (const Op& op : ops_) writes += op.nOut;
    for (const Fallback& f : fallbacks_) writes += f.nOut;
    dirtyNets_.assign(writes, 0);
    dirtyData_.assign(data_.size(), 0);
    ops_.shrink_to_fit();
    pins_.shrink_to_fit();
    net_.shrink_to_fit();
    netRef_.shrink_to_fit();
}

uint32_t CompiledCircuit::slotOf(int* state) {
    auto [it, fresh] = slotIndex_.try_emplace(state, static_cast<uint32_t>(net_.size()));
    if (fresh) {
        // Nets carry 0 or 1; the step writes nothing else and files do not store net values.
        net_.push_back(*state == 1 ? 1 : 0);
        netRef_.push_back(state);
    }
    return it->second;
}

uint32_t CompiledCircuit::inPin(TDevice& d, size_t i) {
    TWireComplex* n = d.inputs[i];
    if (!n) return kZeroNet;  // reads 0 whether inverted or not
    return slotOf(&n->State) | (d.invertedInputs[i] ? kInvBit : 0);
}

uint32_t CompiledCircuit::outPin(TDevice& d, size_t i) {
    TWireComplex* n = d.outputs[i];
    return (n ? slotOf(&n->State) : kSinkNet) | (d.invertedOutputs[i] ? kInvBit : 0);
}

uint32_t CompiledCircuit::newData(int* ref, int value, TCounterData* flags) {
    const auto idx = static_cast<uint32_t>(data_.size());
    data_.push_back(value);
    dataRef_.push_back(ref);
    flagRef_.push_back(flags);
    flags_.push_back(flags ? static_cast<uint8_t>((flags->addSignal ? 1 : 0) | (flags->subSignal ? 2 : 0))
                           : 0);
    return idx;
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
    ops_.push_back(Op{kFallback, 0, 0, 0, static_cast<uint32_t>(fallbacks_.size())});
    fallbacks_.push_back(f);
}

void CompiledCircuit::addDevice(TDevice& d) {
    ++deviceCount_;
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
    if (typeid(*dr) == typeid(TLoadedDraft) && addIC(d)) return;
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
    const size_t nIn = d.inputs.size(), nOut = d.outputs.size();
    auto wire = [this](TVWire* w) { return w ? slotOf(&w->State) : kZeroNet; };
    // The IC's input values go onto their inner wires first, in pin order: a two-input gate with
    // the constant 0 as its second input copies the first.
    for (size_t i = 0; i < nIn && i < vd->inputs.size(); ++i) {
        if (!vd->inputs[i]) continue;
        pins_.push_back(inPin(d, i));
        pins_.push_back(kZeroNet);
        pins_.push_back(slotOf(&vd->inputs[i]->State));
        ops_.push_back(Op{kGate2, 2, 1, 1, 0});
    }
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
    for (size_t i = 0; i < nOut; ++i) {
        pins_.push_back(i < vd->outputs.size() ? wire(vd->outputs[i]) : kZeroNet);
        pins_.push_back(kZeroNet);
        pins_.push_back(outPin(d, i));
        ops_.push_back(Op{kGate2, 2, 1, 1, 0});
    }
    return true;
}

template <class In, class Out>
void CompiledCircuit::addOp(TDraft* dr, TDevice& d, size_t nIn, size_t nOut, In in, Out out) {
    const std::type_info& t = typeid(*dr);
    Op op{kFallback, static_cast<uint8_t>(nIn), static_cast<uint8_t>(nOut), 0, 0};
    bool ok = false;
    if (t == typeid(TLogic)) {
        const auto* g = static_cast<const TLogic*>(dr);
        // The inverter reads only its first input, so one with more is left to its own Update.
        if ((g->kind == 0 || g->kind == 1 || (g->kind == 2 && nIn <= 1)) && nOut == 1 && nIn <= 255) {
            op.kind = g->kind == 2 ? (nIn == 1 ? kNot1 : kGateNot)
                      : nIn == 2   ? kGate2
                      : nIn == 3   ? kGate3
                      : nIn == 4   ? kGate4
                                   : kGate;
            op.param = static_cast<uint8_t>(g->kind == 0 ? nIn : 1);
            ok = true;
        } else if (g->kind == 3 && nIn == 0 && nOut == 4) {
            op.kind = kGate;
            op.param = 0;
            ok = true;
        }
    } else if (t == typeid(TAdder)) {
        if ((nIn == 2 || nIn == 3) && nOut == 2) {
            op.kind = kAdder;
            ok = true;
        }
    } else if (t == typeid(TRam)) {
        if (nIn == 2 && nOut == 2) {
            op.kind = kRam;
            op.aux = newData(&d.data, d.data, nullptr);
            ok = true;
        }
    } else if (t == typeid(TCounter)) {
        const int n = static_cast<const TCounter*>(dr)->ports;
        if (n >= 1 && n <= 30 && nIn == static_cast<size_t>(n) + 4 && nOut == static_cast<size_t>(n)) {
            auto* cd = dynamic_cast<TCounterData*>(d.obj.get());
            if (!cd) {
                d.obj = std::make_unique<TCounterData>();
                cd = static_cast<TCounterData*>(d.obj.get());
            }
            op.kind = kCounter;
            op.param = static_cast<uint8_t>(n);
            op.aux = newData(&d.data, d.data, cd);
            ok = true;
        }
    } else if (t == typeid(TSwich)) {
        if (nIn == 0 && nOut == 4) {
            op.kind = kSwitch;
            op.aux = static_cast<uint32_t>(live_.size());
            live_.push_back(&d);
            ok = true;
        }
    } else if (t == typeid(TTicker)) {
        if (nIn == 0 && nOut == 4) {
            const int time = static_cast<const TTicker*>(dr)->Time;
            op.kind = time > 0 ? kClock : kRandom;
            op.aux = time > 0 ? static_cast<uint32_t>(time) : 0;
            ok = true;
        }
    } else if (t == typeid(TLed)) {
        if (nIn == 4 && nOut == 0) {
            op.kind = kLed;
            op.aux = newData(&d.data, d.data, nullptr);
            ok = true;
        }
    } else if (t == typeid(TDigital)) {
        const bool analog = static_cast<const TDigital*>(dr)->analog != 0;
        if (nIn == (analog ? 7u : 4u) && nOut == 0) {
            op.kind = analog ? kDigit7 : kDigit4;
            op.aux = newData(&d.data, d.data, nullptr);
            ok = true;
        }
    }
    if (!ok) {
        addFallback(dr, d, nIn, nOut, in, out);
        return;
    }
    for (size_t i = 0; i < nIn; ++i) pins_.push_back(in(i));
    for (size_t i = 0; i < nOut; ++i) pins_.push_back(out(i));
    ops_.push_back(op);
}

namespace {
constexpr int kDigitMask[16] = {0x5F, 0x03, 0x79, 0x73, 0x27, 0x76, 0x7E, 0x47,
                                0x7F, 0x77, 0x6F, 0x3E, 0x5C, 0x3B, 0x7C, 0x6C};
}  // namespace

template <bool Track>
void CompiledCircuit::step(SimEnvironment& env) {
    uint8_t* const s = net_.data();
    int32_t* const data = data_.data();
    uint8_t* const flags = flags_.data();
    uint32_t* const dn = dirtyNets_.data();
    uint32_t* const dd = dirtyData_.data();
    size_t nd = nDirtyNets_, ndd = nDirtyData_;
    // All clocks of one step see one time; read lazily so boards without clocks never ask.
    int64_t now = -1;

    // An input value: the net's value, negated for an inverted pin.
    auto rd = [s](uint32_t pin) -> unsigned { return s[pin & kSlotMask] ^ (pin >> 31); };
    // Drives a 0/1 value through an output pin.
    auto wr = [&](uint32_t pin, unsigned v) {
        const uint32_t slot = pin & kSlotMask;
        const uint8_t nv = static_cast<uint8_t>(v ^ (pin >> 31));
        if constexpr (Track) {
            const uint8_t old = s[slot];
            s[slot] = nv;
            dn[nd] = slot;
            nd += old != nv;
        } else {
            s[slot] = nv;
        }
    };
    // Drives any int the way the model does: the net becomes 1 exactly when the value is 1 on a
    // plain pin or 0 on an inverted one.
    auto wrValue = [&](uint32_t pin, int v) { wr(pin & kSlotMask, v == static_cast<int>(1 - (pin >> 31))); };
    auto touched = [&](uint32_t aux, bool changed) {
        if constexpr (Track) {
            dd[ndd] = aux;
            ndd += changed;
        }
    };

    // Threaded dispatch: every kind ends with its own jump to the next op, so the branch
    // predictor learns per kind which kind tends to follow (boards are built from repeated blocks).
    static const void* const kLabels[kKindCount] = {&&L_kGate,    &&L_kGateNot, &&L_kGate2,  &&L_kGate3,
                                                    &&L_kGate4,   &&L_kNot1,    &&L_kAdder,  &&L_kRam,
                                                    &&L_kCounter, &&L_kSwitch,  &&L_kClock,  &&L_kRandom,
                                                    &&L_kLed,     &&L_kDigit4,  &&L_kDigit7, &&L_kFallback};
    const uint32_t* p = pins_.data();
    const Op* opp = ops_.data();
    const Op* const opEnd = opp + ops_.size();
#define GW_NEXT                    \
    p += op.nIn + op.nOut;         \
    if (++opp == opEnd) goto done; \
    goto* kLabels[opp->kind]
    if (opp == opEnd) goto done;
    goto* kLabels[opp->kind];
    {
    L_kGate:
    L_kGateNot : {
        const Op& op = *opp;
        unsigned c = 0;
        for (unsigned i = 0; i < op.nIn; ++i) c += rd(p[i]);
        const unsigned v = (c >= op.param ? 1u : 0u) ^ (op.kind == kGateNot ? 1u : 0u);
        for (unsigned i = 0; i < op.nOut; ++i) wr(p[op.nIn + i], v);
        GW_NEXT;
    }
    L_kGate2 : {
        const Op& op = *opp;
        wr(p[2], rd(p[0]) + rd(p[1]) >= op.param ? 1u : 0u);
        GW_NEXT;
    }
    L_kGate3 : {
        const Op& op = *opp;
        wr(p[3], rd(p[0]) + rd(p[1]) + rd(p[2]) >= op.param ? 1u : 0u);
        GW_NEXT;
    }
    L_kGate4 : {
        const Op& op = *opp;
        wr(p[4], rd(p[0]) + rd(p[1]) + rd(p[2]) + rd(p[3]) >= op.param ? 1u : 0u);
        GW_NEXT;
    }
    L_kNot1 : {
        const Op& op = *opp;
        wr(p[1], rd(p[0]) ^ 1u);
        GW_NEXT;
    }
    L_kAdder : {
        const Op& op = *opp;
        unsigned c = rd(p[0]) + rd(p[1]);
        if (op.nIn == 3) c += rd(p[2]);
        wr(p[op.nIn], c >= 2 ? 1u : 0u);
        wr(p[op.nIn + 1], c & 1u);
        GW_NEXT;
    }
    L_kRam : {
        const Op& op = *opp;
        int32_t& d = data[op.aux];
        const int32_t old = d;
        if (rd(p[1]))
            d = 0;
        else if (rd(p[0]))
            d = 1;
        wrValue(p[2], d);
        wr(p[3], d == 0 ? 1u : 0u);
        touched(op.aux, d != old);
        GW_NEXT;
    }
    L_kCounter : {
        const Op& op = *opp;
        const int n = op.param;
        int32_t& d = data[op.aux];
        uint8_t& f = flags[op.aux];
        const int32_t old = d;
        const uint8_t oldf = f;
        const unsigned plus = rd(p[0]), minus = rd(p[1]);
        const int64_t full = int64_t{1} << n;
        if (rd(p[3])) {
            d = 0;
        } else if (rd(p[2])) {
            int32_t v = 0;
            for (int i = 0; i < n; ++i) v += static_cast<int32_t>(rd(p[4 + i])) << i;
            d = v;
        } else if (plus && !(f & 1)) {
            f |= 1;
            const int64_t v = int64_t{d} + 1;
            d = full <= v ? 0 : static_cast<int32_t>(v);
        } else if (minus && !(f & 2)) {
            f |= 2;
            const int64_t v = int64_t{d} - 1;
            d = v < 0 ? static_cast<int32_t>(full - 1) : static_cast<int32_t>(v);
        }
        if (!plus) f &= ~1u;
        if (!minus) f &= ~2u;
        // Bits from the top, subtracting each power that fits, as the counter itself does:
        // a value beyond n bits shows all ones, a negative one all zeros.
        // Outputs are then driven in pin order, which matters when two share a net.
        int64_t rest = d;
        uint32_t bits = 0;
        for (int i = n - 1; i >= 0; --i) {
            const int64_t pw = int64_t{1} << i;
            if (pw <= rest) {
                rest -= pw;
                bits |= 1u << i;
            }
        }
        const uint32_t* out = p + 4 + n;
        for (int i = 0; i < n; ++i) wr(out[i], (bits >> i) & 1u);
        touched(op.aux, d != old || f != oldf);
        GW_NEXT;
    }
    L_kSwitch : {
        const Op& op = *opp;
        const int v = live_[op.aux]->data;
        for (int i = 0; i < 4; ++i) wrValue(p[i], v);
        GW_NEXT;
    }
    L_kClock : {
        const Op& op = *opp;
        if (now < 0) now = env.millis();
        const int64_t t = op.aux;
        const unsigned v = now % (2 * t) > t ? 1u : 0u;
        for (int i = 0; i < 4; ++i) wr(p[i], v);
        GW_NEXT;
    }
    L_kRandom : {
        const Op& op = *opp;
        const int v = env.randomBit();
        for (int i = 0; i < 4; ++i) wrValue(p[i], v);
        GW_NEXT;
    }
    L_kLed : {
        const Op& op = *opp;
        int32_t& d = data[op.aux];
        const int32_t v = static_cast<int32_t>(rd(p[0]) | rd(p[1]) | rd(p[2]) | rd(p[3]));
        touched(op.aux, v != d);
        d = v;
        GW_NEXT;
    }
    L_kDigit4 : {
        const Op& op = *opp;
        int32_t& d = data[op.aux];
        const int32_t v = kDigitMask[rd(p[0]) | rd(p[1]) << 1 | rd(p[2]) << 2 | rd(p[3]) << 3];
        touched(op.aux, v != d);
        d = v;
        GW_NEXT;
    }
    L_kDigit7 : {
        const Op& op = *opp;
        int32_t& d = data[op.aux];
        int32_t v = 0;
        for (int k = 0; k < 7; ++k) v |= static_cast<int32_t>(rd(p[k])) << k;
        touched(op.aux, v != d);
        d = v;
        GW_NEXT;
    }
    L_kFallback : {
        const Op& op = *opp;
        const Fallback& fb = fallbacks_[op.aux];
        const uint32_t* fp = fallbackPins_.data() + fb.pinStart;
        int* ins = fbIns_.data();
        int* outs = fbOuts_.data();
        for (uint32_t i = 0; i < fb.nIn; ++i) ins[i] = static_cast<int>(rd(fp[i]));
        int nout = fb.draft->Update(ins, outs, *fb.device);
        if (nout > static_cast<int>(fb.nOut)) nout = static_cast<int>(fb.nOut);
        for (int i = 0; i < nout; ++i) wrValue(fp[fb.nIn + i], outs[i]);
        GW_NEXT;
    }
    }
#undef GW_NEXT
done:
    nDirtyNets_ = nd;
    nDirtyData_ = ndd;
}

void CompiledCircuit::run(int steps) {
    SimEnvironment& env = simEnvironment();
    for (int k = 0; k < steps; ++k) {
        // Each tracked step may add up to one entry per output pin and per stateful device, which
        // is what the lists hold; a second step before a sync would overflow them.
        if (!allDirty_ && (nDirtyNets_ != 0 || nDirtyData_ != 0)) {
            allDirty_ = true;
            nDirtyNets_ = nDirtyData_ = 0;
        }
        if (allDirty_)
            step<false>(env);
        else
            step<true>(env);
    }
}

void CompiledCircuit::syncToModel() {
    auto putData = [this](size_t i) {
        *dataRef_[i] = data_[i];
        if (TCounterData* c = flagRef_[i]) {
            c->addSignal = flags_[i] & 1;
            c->subSignal = (flags_[i] >> 1) & 1;
        }
    };
    if (allDirty_) {
        for (size_t i = kFirstNet; i < net_.size(); ++i) *netRef_[i] = net_[i];
        for (size_t i = 0; i < data_.size(); ++i) putData(i);
    } else {
        for (size_t i = 0; i < nDirtyNets_; ++i) {
            const uint32_t slot = dirtyNets_[i];
            if (int* ref = netRef_[slot]) *ref = net_[slot];
        }
        for (size_t i = 0; i < nDirtyData_; ++i) putData(dirtyData_[i]);
    }
    nDirtyNets_ = nDirtyData_ = 0;
    allDirty_ = false;
}

size_t CompiledCircuit::memoryBytes() const {
    return ops_.capacity() * sizeof(Op) + pins_.capacity() * sizeof(uint32_t) + net_.capacity() +
           netRef_.capacity() * sizeof(int*) + data_.capacity() * sizeof(int32_t) + flags_.capacity() +
           dataRef_.capacity() * sizeof(int*) + flagRef_.capacity() * sizeof(TCounterData*) +
           live_.capacity() * sizeof(TDevice*) + fallbacks_.capacity() * sizeof(Fallback) +
           fallbackPins_.capacity() * sizeof(uint32_t) +
           (fbIns_.capacity() + fbOuts_.capacity()) * sizeof(int) +
           (dirtyNets_.capacity() + dirtyData_.capacity()) * sizeof(uint32_t);
}

}  // namespace gw
