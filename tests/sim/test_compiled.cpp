// The compiled step against the reference step of the object model: thousands of random circuits
// of every built-in kind (plus types the compiled form leaves to their own Update), with feedback,
// inversions, shared and unwired pins, clocks on a simulated clock and random generators, stepped
// side by side; net values, device data and counter edge flags must agree after every step.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <string>

#include "ic/ICDescription.h"
#include "model/Catalogue.h"
#include "model/DeviceData.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/Registry.h"
#include "model/SimEnvironment.h"
#include "sim/CompiledCircuit.h"
#include "sim/FastSimulator.h"
#include "support/Circuit.h"

using namespace gw;
using gwtest::Circuit;

namespace {

// A type the compiled form has no kind for: an exclusive-or that also counts its steps in data.
class XorCounting : public TDraft {
public:
    XorCounting() {
        width = 2;
        Height = 3;
        input_xpos = {-1, -1};
        input_ypos = {-1, 0};
        output_xpos = {1, 1};
        output_ypos = {0, 1};
    }
    int Update(const int* in, int* out, TDevice& d) override {
        ++d.data;
        out[0] = in[0] ^ in[1];
        out[1] = d.data;  // any int: the net is 1 only for a 1 on a plain pin, 0 on an inverted one
        return 2;
    }
    int clickAble() const override { return 0; }
    std::string GetName() const override { return "X"; }
};

std::vector<DraftPtr> draftPool() {
    std::vector<DraftPtr> pool;
    for (auto& e : makeBuiltinCatalogue()) pool.push_back(e.draft);
    // Short periods so clocks flip within a few simulated milliseconds.
    for (int t : {1, 2, 3, 7, 20}) pool.push_back(TTicker::Create(t));
    pool.push_back(TTicker::Create(-5));   // a second random generator
    pool.push_back(TLogic::Create(3, 2));  // inverter with three inputs: reads only the first
    pool.push_back(TLogic::Create(2, 7));  // unknown logic kind: always 0
    pool.push_back(TLogic::Create(0, 0));  // AND without inputs: 1
    pool.push_back(TCounter::Create(0));   // counter without bits
    pool.push_back(std::make_shared<XorCounting>());
    // Weight the common parts: gates, adders, memory cells and counters.
    for (int i = 0; i < 3; ++i) {
        pool.push_back(TLogic::Create(2, 0));
        pool.push_back(TLogic::Create(2, 1));
        pool.push_back(TLogic::Create(1, 2));
        pool.push_back(TAdder::Create(1));
        pool.push_back(TRam::Create());
        pool.push_back(TCounter::Create(3));
    }
    return pool;
}

// Two identical circuits: one for the reference step, one for the compiled step.
struct Twin {
    Circuit ref, fast;

    // Adds the same device to both; answers its index.
    size_t add(const DraftPtr& d) {
        ref.add(d);
        fast.add(d);
        return ref.devices.size() - 1;
    }
    void net(int state) {
        ref.net().State = state;
        fast.net().State = state;
    }
    void in(size_t dev, int pin, size_t net) {
        Circuit::in(*ref.devices[dev], pin, *ref.nets[net]);
        Circuit::in(*fast.devices[dev], pin, *fast.nets[net]);
    }
    void out(size_t dev, int pin, size_t net) {
        Circuit::out(*ref.devices[dev], pin, *ref.nets[net]);
        Circuit::out(*fast.devices[dev], pin, *fast.nets[net]);
    }
    template <class F>
    void both(F f) {
        for (size_t i = 0; i < ref.devices.size(); ++i) f(*ref.devices[i], *fast.devices[i]);
    }
};

// A random circuit of `n` devices over about 1.3 n nets. Most pins are wired to a random net (so
// feedback loops and nets with several drivers arise), some are left unwired, a quarter inverted.
Twin randomTwin(std::mt19937& rng, const std::vector<DraftPtr>& pool, int n) {
    Twin t;
    const int nets = 1 + n * 13 / 10;
    for (int i = 0; i < nets; ++i) t.net(static_cast<int>(rng() & 1));
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pool.size()) - 1), netPick(0, nets - 1),
        pct(0, 99);
    for (int i = 0; i < n; ++i) {
        const size_t d = t.add(pool[pick(rng)]);
        TDevice& r = *t.ref.devices[d];
        for (size_t k = 0; k < r.inputs.size(); ++k) {
            if (pct(rng) < 85) t.in(d, static_cast<int>(k), netPick(rng));
            if (pct(rng) < 25) {
                t.ref.devices[d]->invertedInputs[k] = 1;
                t.fast.devices[d]->invertedInputs[k] = 1;
            }
        }
        for (size_t k = 0; k < r.outputs.size(); ++k) {
            if (pct(rng) < 85) t.out(d, static_cast<int>(k), netPick(rng));
            if (pct(rng) < 25) {
                t.ref.devices[d]->invertedOutputs[k] = 1;
                t.fast.devices[d]->invertedOutputs[k] = 1;
            }
        }
        // Start values: memory and counters hold something, sometimes out of range.
        const int v = pct(rng) < 10 ? static_cast<int>(rng() % 2000) - 1000 : static_cast<int>(rng() % 8);
        t.ref.devices[d]->data = v;
        t.fast.devices[d]->data = v;
    }
    return t;
}

int flagsOf(const TDevice& d) {
    auto* c = dynamic_cast<const TCounterData*>(d.obj.get());
    return c ? c->addSignal + 2 * c->subSignal : 0;
}

// Empty when both circuits agree; otherwise what differs first.
std::string difference(Twin& t) {
    for (size_t i = 0; i < t.ref.nets.size(); ++i)
        if (t.ref.nets[i]->State != t.fast.nets[i]->State) {
            std::string who;
            for (size_t k = 0; k < t.ref.devices.size(); ++k)
                for (size_t o = 0; o < t.ref.devices[k]->outputs.size(); ++o)
                    if (t.ref.devices[k]->outputs[o] == t.ref.nets[i].get())
                        who += " [" + std::to_string(k) + " " + t.ref.devices[k]->draft->getID() + " pin " +
                               std::to_string(o) + " inv " +
                               std::to_string(t.ref.devices[k]->invertedOutputs[o]) + " data " +
                               std::to_string(t.ref.devices[k]->data) + "]";
            return "net " + std::to_string(i) + ": " + std::to_string(t.ref.nets[i]->State) + " vs " +
                   std::to_string(t.fast.nets[i]->State) + who;
        }
    for (size_t i = 0; i < t.ref.devices.size(); ++i) {
        const TDevice &a = *t.ref.devices[i], &b = *t.fast.devices[i];
        if (a.data != b.data)
            return "device " + std::to_string(i) + " " + a.draft->getID() + " data " +
                   std::to_string(a.data) + " vs " + std::to_string(b.data);
        if (flagsOf(a) != flagsOf(b))
            return "device " + std::to_string(i) + " " + a.draft->getID() + " counter flags " +
                   std::to_string(flagsOf(a)) + " vs " + std::to_string(flagsOf(b));
        auto* va = dynamic_cast<TVDraft*>(a.obj.get());
        auto* vb = dynamic_cast<TVDraft*>(b.obj.get());
        if (!va || !vb) {
            if (va || vb) return "device " + std::to_string(i) + ": inner circuit built in one only";
            continue;
        }
        for (size_t w = 0; w < va->vWires.size(); ++w)
            if (va->vWires[w].State != vb->vWires[w].State)
                return "IC " + std::to_string(i) + " inner wire " + std::to_string(w);
        for (size_t k = 0; k < va->vDevices.size(); ++k)
            if (va->vDevices[k].device->data != vb->vDevices[k].device->data ||
                flagsOf(*va->vDevices[k].device) != flagsOf(*vb->vDevices[k].device))
                return "IC " + std::to_string(i) + " inner device " + std::to_string(k);
    }
    return "";
}

// Runs each circuit under its own simulated environment with the same start and seed.
struct Envs {
    std::shared_ptr<SimulatedEnvironment> ref, fast;
    std::shared_ptr<SimEnvironment> saved;
    explicit Envs(uint32_t seed)
        : ref(std::make_shared<SimulatedEnvironment>(1000 + seed % 977, seed)),
          fast(std::make_shared<SimulatedEnvironment>(1000 + seed % 977, seed)) {
        saved = setSimEnvironment(ref);
    }
    ~Envs() { setSimEnvironment(saved); }
    void advance(int64_t ms) {
        ref->advance(ms);
        fast->advance(ms);
    }
};

// A random IC: inner devices of built-in types wired at random (feedback included), pins on random
// inner wires, some shared, some wires without any member.
DraftPtr randomIC(std::mt19937& rng, bool broken = false) {
    static const bool registered = [] {
        registerBuiltinDrafts();
        return true;
    }();
    (void)registered;
    static const char* const kTypes[] = {
        "$logic0|2", "$logic1|3", "$logic2|1",       "$logic0|4",           "$adder1",
        "$adder0",   "$ram",      "$counter3",       "$ticker25",           "$ticker0",
        "$swich1",   "$logic3|0", "$led255|100|100", "$digital0100|100|255"};
    auto d = TICDescription::Create();
    const int devs = 1 + static_cast<int>(rng() % 12), wires = 1 + static_cast<int>(rng() % 16);
    d->wireBelongs.resize(wires);
    for (int k = 0; k < devs; ++k) {
        const std::string id = broken && k == devs - 1 ? "$nosuchtype" : kTypes[rng() % std::size(kTypes)];
        d->deviceID.push_back(id);
        const DraftPtr t = getDraft(id);
        const int ni = t ? t->countInputs() : 0, no = t ? t->countOutputs() : 0;
        std::vector<int> ii(ni), io(no);
        for (int i = 0; i < ni; ++i) {
            ii[i] = rng() % 4 == 0;
            if (rng() % 6) d->wireBelongs[rng() % wires].push_back({0, i, k});
        }
        for (int i = 0; i < no; ++i) {
            io[i] = rng() % 4 == 0;
            if (rng() % 6) d->wireBelongs[rng() % wires].push_back({1, i, k});
        }
        d->invertedInputs.push_back(ii);
        d->invertedOutputs.push_back(io);
    }
    for (int i = 0, n = static_cast<int>(rng() % 5); i < n; ++i) {
        d->inputWires.push_back(static_cast<int>(rng() % wires));
        d->input_xpos.push_back(-2);
        d->input_ypos.push_back(i);
    }
    for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i) {
        d->outputWires.push_back(static_cast<int>(rng() % wires));
        d->output_xpos.push_back(2);
        d->output_ypos.push_back(i);
    }
    d->width = 4;
    d->Height = 6;
    return TLoadedDraft::Create(d);
}

// The pool of types, and for every other circuit four random ICs besides.
std::vector<DraftPtr> typesWithICs(const std::vector<DraftPtr>& pool, std::mt19937& rng, bool ics) {
    std::vector<DraftPtr> types = pool;
    if (ics)
        for (int k = 0; k < 4; ++k) types.push_back(randomIC(rng));
    return types;
}

}  // namespace

TEST(CompiledStep, AgreesWithReferenceOnThousandsOfRandomCircuits) {
    const auto pool = draftPool();
    std::mt19937 rng(20240611);
    size_t fallbacks = 0, devices = 0, inner = 0, patches = 0;
    for (int circuit = 0; circuit < 3000; ++circuit) {
        const int n = 1 + static_cast<int>(rng() % (circuit % 10 == 0 ? 200 : 40));
        // Every third circuit also holds ICs (now and then one whose inner circuit cannot be built).
        std::vector<DraftPtr> withICs = pool;
        if (circuit % 3 == 0)
            for (int k = 0; k < 6; ++k) withICs.push_back(randomIC(rng, k == 5 && circuit % 2 == 0));
        Twin t = randomTwin(rng, withICs, n);
        Envs env(static_cast<uint32_t>(rng()));
        FastSimulator fast;
        uint64_t version = 0;
        for (int step = 0; step < 25; ++step) {
            // Between steps: the mouse flips switches (read live, no recompile), time passes, and
            // now and then the circuit is edited (a pin rewired or its inversion toggled).
            t.both([&](TDevice& a, TDevice& b) {
                if (typeid(*a.draft) == typeid(TSwich) && rng() % 4 == 0)
                    a.data = b.data = static_cast<int>(rng() % 2);
            });
            env.advance(rng() % 9);
            if (rng() % 8 == 0) {
                const size_t d = rng() % t.ref.devices.size();
                TDevice &a = *t.ref.devices[d], &b = *t.fast.devices[d];
                if (!a.inputs.empty()) {
                    const size_t k = rng() % a.inputs.size();
                    if (rng() % 2) {
                        a.invertedInputs[k] ^= 1;
                        b.invertedInputs[k] ^= 1;
                        // Taken in place where the device is a table op; announced otherwise.
                        if (!fast.patchDevice(t.fast.devices, version, b)) ++version;
                    } else {
                        const size_t to = rng() % t.ref.nets.size();
                        a.inputs[k] = t.ref.nets[to].get();
                        b.inputs[k] = t.fast.nets[to].get();
                        if (!fast.patchDevice(t.fast.devices, version, b)) ++version;
                    }
                }
            }
            setSimEnvironment(env.ref);
            t.ref.step();
            setSimEnvironment(env.fast);
            fast.step(t.fast.devices, version);
            const std::string diff = difference(t);
            ASSERT_EQ(diff, "") << "circuit " << circuit << " (" << n << " devices), step " << step;
        }
        fallbacks += fast.compiled().fallbackCount();
        devices += fast.compiled().deviceCount();
        inner += fast.compiled().innerDeviceCount();
        patches += fast.patchCount();
    }
    EXPECT_GT(patches, 1000u);  // pins rewired and inverted in place, and the steps after agreed
    EXPECT_GT(inner, 1000u);  // IC inner circuits really went through the flat form
    // The odd types above must really have gone through the fallback, and most devices not.
    EXPECT_GT(fallbacks, 0u);
    EXPECT_LT(fallbacks * 5, devices);
}

TEST(CompiledStep, TheModelIsCurrentAfterEachStepWithNothingCopiedBack) {
    // A switch driving a lamp, a memory cell and a counter's "+": right after the step the net, the
    // lamp's and the cell's bits (table ops reading and writing their data words) and the
    // counter's value and edge flag are where the model keeps them.
    Circuit c;
    TWireComplex& n = c.net();
    TWireComplex& q = c.net();
    TDevice& sw = c.add(TSwich::Create(1));
    TDevice& led = c.add(TLed::Create(255, 0, 0));
    TDevice& ram = c.add(TRam::Create());
    TDevice& cnt = c.add(TCounter::Create(2));
    Circuit::out(sw, 0, n);
    Circuit::in(led, 2, n);
    Circuit::in(ram, 0, n);  // set
    Circuit::out(ram, 0, q);
    Circuit::in(cnt, 0, n);  // "+"
    CompiledCircuit cc;
    cc.build(c.devices);
    EXPECT_EQ(cc.tableDataWordCount(), 2u) << "the lamp and the memory cell on the table op";
    auto* flags = dynamic_cast<TCounterData*>(cnt.obj.get());
    ASSERT_NE(flags, nullptr) << "building gives a counter its edge flags";
    for (int step = 0; step < 3; ++step) {
        sw.data = step == 1 ? 1 : 0;  // a click between steps, read live
        cc.run(1);
        EXPECT_EQ(n.State, sw.data) << step;
        EXPECT_EQ(led.data, sw.data) << step;
        EXPECT_EQ(ram.data, step >= 1 ? 1 : 0) << step << ": the cell keeps its bit";
        EXPECT_EQ(q.State, ram.data) << step;
        EXPECT_EQ(cnt.data, step >= 1 ? 1 : 0) << step << ": one rising edge counted once";
        EXPECT_EQ(flags->addSignal, sw.data) << step;
    }
}

TEST(FastSimulatorTest, RecompilesOnVersionOrLengthChangeOnly) {
    Circuit c;
    TWireComplex &a = c.net(), &b = c.net();
    TDevice& sw = c.add(TSwich::Create(1));
    Circuit::out(sw, 0, a);
    TDevice& inv = c.add(TLogic::Create(1, 2));
    Circuit::in(inv, 0, a);
    Circuit::out(inv, 0, b);
    FastSimulator fs;
    fs.step(c.devices, 1);
    EXPECT_EQ(b.State, 1);
    sw.data = 1;  // a click: no recompile needed
    fs.step(c.devices, 1);
    EXPECT_EQ(b.State, 0);
    EXPECT_EQ(fs.compileCount(), 1u);

    inv.invertedOutputs[0] = 1;  // an edit the board announces with a new version
    fs.step(c.devices, 2);
    EXPECT_EQ(b.State, 1);
    EXPECT_EQ(fs.compileCount(), 2u);

    // A device appended, with only appends since the compiled version: compiled onto the form.
    TWireComplex& c2 = c.net();
    TDevice& inv2 = c.add(TLogic::Create(1, 2));
    Circuit::in(inv2, 0, b);
    Circuit::out(inv2, 0, c2);
    fs.step(c.devices, 3, 2);
    EXPECT_EQ(c2.State, 0);
    EXPECT_EQ(fs.compileCount(), 2u);
    EXPECT_EQ(fs.appendCount(), 1u);
    // Another kind of edit after the compiled version: built afresh, even with a longer list.
    inv2.invertedInputs[0] = 1;
    TDevice& inv3 = c.add(TLogic::Create(1, 2));
    Circuit::in(inv3, 0, c2);
    fs.step(c.devices, 5, 4);
    EXPECT_EQ(c2.State, 1);
    EXPECT_EQ(fs.compileCount(), 3u);
    EXPECT_EQ(fs.appendCount(), 1u);

    // A device added without a new version is still noticed by the length guard.
    TDevice& led = c.add(TLed::Create(1, 2, 3));
    Circuit::in(led, 0, b);
    fs.step(c.devices, 5);
    EXPECT_EQ(led.data, 1);
    EXPECT_EQ(fs.compileCount(), 4u);
}

namespace {

// Steps both circuits `steps` times through a compiled form built (and possibly tampered with) by
// the caller, flipping switches at random; answers the first difference, or "".
// Steps the reference and `fast` side by side `n` times, `before` running ahead of each step
// (flipping switches, passing time); answers the first difference, or "".
template <class Before>
std::string stepBoth(Twin& t, FastSimulator& fast, uint64_t version, Envs& env, int n, Before before) {
    for (int i = 0; i < n; ++i) {
        before();
        setSimEnvironment(env.ref);
        t.ref.step();
        setSimEnvironment(env.fast);
        fast.step(t.fast.devices, version);
        std::string diff = difference(t);
        if (!diff.empty()) return "step " + std::to_string(i) + ": " + diff;
    }
    return "";
}

std::string runSideBySide(Twin& t, CompiledCircuit& cc, std::mt19937& rng, int steps) {
    Envs env(static_cast<uint32_t>(rng()));
    for (int step = 0; step < steps; ++step) {
        t.both([&](TDevice& a, TDevice& b) {
            if (typeid(*a.draft) == typeid(TSwich) && rng() % 3 == 0) a.data = b.data = static_cast<int>(rng() % 2);
        });
        env.advance(rng() % 9);
        setSimEnvironment(env.ref);
        t.ref.step();
        setSimEnvironment(env.fast);
        cc.run(1);
        std::string diff = difference(t);
        if (!diff.empty()) return "step " + std::to_string(step) + ": " + diff;
    }
    return "";
}

}  // namespace

TEST(CompiledStep, AWrongTableEntryIsCaught) {
    // Two switches into an AND gate into a lamp; the switches, the gate and the lamp are table ops
    // 0 to 3. With the gate's entry for "both inputs 1" flipped, the first step with both switches
    // on must show a difference.
    Twin t;
    for (int i = 0; i < 3; ++i) t.net(0);
    const size_t s1 = t.add(TSwich::Create(1)), s2 = t.add(TSwich::Create(1));
    const size_t g = t.add(TLogic::Create(2, 0)), lamp = t.add(TLed::Create(1, 2, 3));
    t.out(s1, 0, 0);
    t.out(s2, 0, 1);
    t.in(g, 0, 0);
    t.in(g, 1, 1);
    t.out(g, 0, 2);
    t.in(lamp, 0, 2);
    CompiledCircuit cc;
    cc.setFusion(false);  // the gate and the lamp would share one op
    cc.build(t.fast.devices);
    ASSERT_EQ(cc.tableCount(), 4u);
    ASSERT_TRUE(cc.flipTableEntry(2, 0, 3));
    EXPECT_FALSE(cc.flipTableEntry(4, 0, 0));  // there is no fifth table op
    Envs env(1);
    auto both = [&](int a, int b) {
        t.ref.devices[s1]->data = t.fast.devices[s1]->data = a;
        t.ref.devices[s2]->data = t.fast.devices[s2]->data = b;
        t.ref.step();
        cc.run(1);
        return difference(t);
    };
    EXPECT_EQ(both(0, 1), "");
    EXPECT_EQ(both(1, 0), "");
    EXPECT_NE(both(1, 1), "");

    // Random circuits: the first output of one table op negated (a forgotten output inversion).
    // Some such outputs drive nothing (unwired, or a net every reader ignores), but the
    // side-by-side run must catch most.
    const auto pool = draftPool();
    std::mt19937 rng(4242);
    int tried = 0, caught = 0;
    for (int circuit = 0; circuit < 300; ++circuit) {
        Twin r = randomTwin(rng, pool, 5 + static_cast<int>(rng() % 40));
        CompiledCircuit c;
        c.build(r.fast.devices);
        if (c.tableCount() == 0) continue;
        const size_t k = rng() % c.tableCount();
        for (unsigned e = 0; e < 16; ++e) ASSERT_TRUE(c.flipTableEntry(k, 0, e));
        ++tried;
        caught += runSideBySide(r, c, rng, 25).empty() ? 0 : 1;
    }
    EXPECT_GT(caught * 2, tried) << caught << " of " << tried;
}

TEST(CompiledStep, EachPathAgreesWithTheReference) {
    // Devices that take the table op and those that must not, each driven by four switches
    // (through plain and inverted pins) through every input combination, side by side.
    struct Case {
        const char* name;
        DraftPtr draft;
        int data;        // start value of the device's data word
        size_t tables;   // table ops expected in the compiled circuit
    };
    const Case cases[] = {
        {"memory cell holding 0", TRam::Create(), 0, 1},
        {"memory cell holding 1", TRam::Create(), 1, 1},
        {"memory cell holding 2", TRam::Create(), 2, 0},
        {"memory cell holding -1", TRam::Create(), -1, 0},
        {"lamp holding 1", TLed::Create(1, 1, 1), 1, 1},
        {"lamp holding 7", TLed::Create(1, 1, 1), 7, 0},
        {"full adder", TAdder::Create(1), 0, 1},
        {"four-input OR", TLogic::Create(4, 1), 0, 1},
        {"three-input inverter", TLogic::Create(3, 2), 0, 1},
        {"unknown logic kind", TLogic::Create(2, 7), 0, 1},
        {"AND without inputs", TLogic::Create(0, 0), 0, 1},
        {"five-input AND", TLogic::Create(5, 0), 0, 0},
        {"constant source", TLogic::Create(0, 3), 0, 0},
        {"2-bit counter at 9", TCounter::Create(2), 9, 0},
        {"four-bit display", TDigital::Create(0, 1, 1, 1), 3, 0},
        {"type of its own", std::make_shared<XorCounting>(), 0, 0},
    };
    for (const Case& c : cases) {
        for (int inverted = 0; inverted < 2; ++inverted) {
            SCOPED_TRACE(std::string(c.name) + (inverted ? ", inverted pins" : ""));
            Twin t;
            for (int i = 0; i < 8; ++i) t.net(0);
            for (int i = 0; i < 4; ++i) t.out(t.add(TSwich::Create(1)), 0, static_cast<size_t>(i));
            const size_t d = t.add(c.draft);
            TDevice& r = *t.ref.devices[d];
            for (size_t k = 0; k < r.inputs.size(); ++k) t.in(d, static_cast<int>(k), k % 4);
            for (size_t k = 0; k < r.outputs.size(); ++k) t.out(d, static_cast<int>(k), 4 + k % 4);
            t.both([&](TDevice& a, TDevice& b) {
                if (&a != &r) return;
                a.data = b.data = c.data;
                for (size_t k = 0; k < a.invertedInputs.size(); ++k)
                    a.invertedInputs[k] = b.invertedInputs[k] = inverted && k % 2 == 0;
                for (size_t k = 0; k < a.invertedOutputs.size(); ++k)
                    a.invertedOutputs[k] = b.invertedOutputs[k] = inverted;
            });
            CompiledCircuit cc;
            cc.build(t.fast.devices);
            EXPECT_EQ(cc.tableCount(), c.tables + 4) << "the four switches are table ops too";
            Envs env(5);
            for (int step = 0; step < 48; ++step) {
                const int combo = step % 16;  // every combination, three times
                for (size_t s = 0; s < 4; ++s)
                    t.ref.devices[s]->data = t.fast.devices[s]->data = (combo >> s) & 1;
                t.ref.step();
                cc.run(1);
                        ASSERT_EQ(difference(t), "") << "step " << step;
            }
        }
    }
}

TEST(CompiledStep, EveryLayoutOfTheFlatFormAgreesWithTheReference) {
    // The same random circuits (ICs among them) under each way the flat form can be laid out:
    // tables pooled or inline in the side stream (the pool is full), and a pool that fills part
    // way.
    struct Layout {
        const char* name;
        size_t poolLimit;
    };
    const Layout layouts[] = {
        {"pooled tables", CompiledCircuit::kPoolMax},
        {"every table inline", 0},
        {"pool of three tables", 3},
    };
    const auto pool = draftPool();
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        std::mt19937 rng(9001);
        size_t tables = 0, pooled = 0, inlined = 0, own = 0;
        for (int circuit = 0; circuit < 400; ++circuit) {
            const std::vector<DraftPtr> withICs = typesWithICs(pool, rng, circuit % 2 == 0);
            Twin t = randomTwin(rng, withICs, 1 + static_cast<int>(rng() % 50));
            CompiledCircuit cc;
            cc.setPoolLimit(l.poolLimit);
            cc.build(t.fast.devices);
            ASSERT_LE(cc.pooledTables(), l.poolLimit);
            tables += cc.tableCount();
            pooled += cc.pooledTables();
            inlined += cc.tableCount() > 0 && cc.pooledTables() == l.poolLimit ? 1 : 0;
            own += cc.tableDataWordCount();
            const std::string diff = runSideBySide(t, cc, rng, 20);
            ASSERT_EQ(diff, "") << "circuit " << circuit;
        }
        EXPECT_GT(tables, 1000u);
        if (l.poolLimit == 0) {
            EXPECT_EQ(pooled, 0u);
        } else if (l.poolLimit == 3) {
            EXPECT_GT(inlined, 100u);  // many circuits ran both kinds of table op
        }
        EXPECT_GT(own, 200u);  // memory cells and lamps whose data words the table op steps
    }
}

TEST(CompiledStep, DevicesAppendedToABuiltFormStepAsIfBuiltTogether) {
    // The same random circuits (ICs, fallbacks, memory cells and lamps on the table op among them),
    // compiled from a prefix of the list and then given the rest in one to three appends, under
    // each pool layout (with a pool of three tables the ops that carry their tables, and the
    // padding between them and the flagged side ops, straddle the appends).
    const auto pool = draftPool();
    for (size_t limit : {CompiledCircuit::kPoolMax, size_t{3}, size_t{0}}) {
        SCOPED_TRACE("pool limit " + std::to_string(limit));
        std::mt19937 rng(777);
        size_t appended = 0;
        for (int circuit = 0; circuit < 300; ++circuit) {
            const std::vector<DraftPtr> withICs = typesWithICs(pool, rng, circuit % 2 == 0);
            Twin t = randomTwin(rng, withICs, 2 + static_cast<int>(rng() % 50));
            const size_t n = t.fast.devices.size();
            size_t from = rng() % n;
            CompiledCircuit cc;
            cc.setPoolLimit(limit);
            cc.build(std::vector<DevicePtr>(t.fast.devices.begin(), t.fast.devices.begin() + static_cast<long>(from)));
            for (int parts = 1 + static_cast<int>(rng() % 3); from < n; --parts) {
                const size_t to = parts <= 1 ? n : from + 1 + rng() % (n - from);
                cc.append(std::vector<DevicePtr>(t.fast.devices.begin(), t.fast.devices.begin() + static_cast<long>(to)), from);
                appended += to - from;
                from = to;
            }
            ASSERT_EQ(cc.deviceCount(), n);
            ASSERT_EQ(runSideBySide(t, cc, rng, 20), "") << "circuit " << circuit;
        }
        EXPECT_GT(appended, 3000u);
    }
}

TEST(CompiledStep, DevicesRemovedFromABuiltFormStepAsIfBuiltWithout) {
    // Random circuits (ICs, fallbacks, counters, random sources among them) lose devices between
    // runs, the compiled form letting their ops idle, and gain new ones compiled onto it (taking
    // the data words the removed ones gave back); stepped against the reference after each change.
    const auto pool = draftPool();
    for (size_t limit : {CompiledCircuit::kPoolMax, size_t{3}}) {
        SCOPED_TRACE("pool limit " + std::to_string(limit));
        std::mt19937 rng(4711);
        size_t removed = 0;
        for (int circuit = 0; circuit < 200; ++circuit) {
            const std::vector<DraftPtr> withICs = typesWithICs(pool, rng, circuit % 2 == 0);
            Twin t = randomTwin(rng, withICs, 4 + static_cast<int>(rng() % 40));
            CompiledCircuit cc;
            cc.setPoolLimit(limit);
            cc.build(t.fast.devices);
            for (int round = 0; round < 4; ++round) {
                for (int k = 1 + static_cast<int>(rng() % 3); k > 0 && t.fast.devices.size() > 1; --k) {
                    const size_t i = rng() % t.fast.devices.size();
                    // A device sharing an op whose neighbour's own table finds no room in a full
                    // pool is the one case that asks for a build.
                    const bool taken = cc.remove(i, *t.fast.devices[i]);
                    ASSERT_TRUE(taken || limit < CompiledCircuit::kPoolMax);
                    t.ref.devices.erase(t.ref.devices.begin() + static_cast<long>(i));
                    t.fast.devices.erase(t.fast.devices.begin() + static_cast<long>(i));
                    if (taken)
                        ++removed;
                    else
                        cc.build(t.fast.devices);
                }
                const size_t before = t.fast.devices.size();
                for (int k = static_cast<int>(rng() % 3); k > 0; --k) {
                    const size_t d = t.add(withICs[rng() % withICs.size()]);
                    for (size_t p = 0; p < t.ref.devices[d]->inputs.size(); ++p)
                        if (rng() % 4) t.in(d, static_cast<int>(p), rng() % t.ref.nets.size());
                    for (size_t p = 0; p < t.ref.devices[d]->outputs.size(); ++p)
                        if (rng() % 4) t.out(d, static_cast<int>(p), rng() % t.ref.nets.size());
                }
                if (t.fast.devices.size() > before) cc.append(t.fast.devices, before);
                ASSERT_EQ(cc.deviceCount(), t.fast.devices.size());
                ASSERT_EQ(runSideBySide(t, cc, rng, 6), "") << "circuit " << circuit << " round " << round;
            }
        }
        EXPECT_GT(removed, 1000u);
    }
}

TEST(CompiledStep, CompiledFormsSideBySideShareTheModelAndTakeNoSlots) {
    // Two compiled forms alive at once over different circuits, one rebuilt again and again,
    // stepped in turns: each steps its own circuit's values in the shared stores and nothing else.
    // Compiling takes no slot of either store but one data word per clock period, and clearing
    // gives back just those (IC devices and counters get their inner circuits and edge flags when
    // first compiled, so the counts are taken after a first build).
    const auto pool = draftPool();
    std::mt19937 rng(321);
    CompiledCircuit cc;
    for (int circuit = 0; circuit < 60; ++circuit) {
        std::vector<DraftPtr> withICs = pool;
        for (int k = 0; k < circuit % 4; ++k) withICs.push_back(randomIC(rng));
        Twin a = randomTwin(rng, withICs, 5 + static_cast<int>(rng() % 40));
        Twin b = randomTwin(rng, withICs, 5 + static_cast<int>(rng() % 40));
        cc.build(a.fast.devices);
        CompiledCircuit other;
        other.build(b.fast.devices);
        const size_t nets = NetValueStore::inUse(), words = DeviceDataStore::inUse();
        cc.build(a.fast.devices);
        other.build(b.fast.devices);
        EXPECT_EQ(NetValueStore::inUse(), nets);
        EXPECT_EQ(DeviceDataStore::inUse(), words);
        Envs envA(static_cast<uint32_t>(rng())), envB(static_cast<uint32_t>(rng()));
        for (int step = 0; step < 10; ++step) {
            for (auto [t, form, env] : {std::tuple{&a, &cc, &envA}, std::tuple{&b, &other, &envB}}) {
                env->advance(rng() % 9);
                setSimEnvironment(env->ref);
                t->ref.step();
                setSimEnvironment(env->fast);
                form->run(1);
                ASSERT_EQ(difference(*t), "") << "circuit " << circuit << " step " << step;
            }
        }
        // (The reference steps gave their own counters and ICs theirs.)
        const size_t netsNow = NetValueStore::inUse(), wordsNow = DeviceDataStore::inUse();
        const size_t held = cc.clockWordCount();
        cc.clear();
        EXPECT_EQ(NetValueStore::inUse(), netsNow);
        EXPECT_EQ(DeviceDataStore::inUse(), wordsNow - held);
    }
}

TEST(CompiledStep, ALargeCircuitWithStreamsInMappedMemoryAgrees) {
    // Streams of 2 MB and more live in memory mapped for large pages (sim/LargePages.h); a circuit
    // this large takes that path for its pins, grown and trimmed while building.
    const auto pool = draftPool();
    std::mt19937 rng(5150);
    Twin t = randomTwin(rng, pool, 140000);
    const size_t mappedBefore = largepages::mappedBytes();
    {
        CompiledCircuit cc;
        cc.build(t.fast.devices);
        EXPECT_GE(largepages::mappedBytes(), mappedBefore + largepages::kPage);
        EXPECT_EQ(runSideBySide(t, cc, rng, 3), "");
    }
    EXPECT_EQ(largepages::mappedBytes(), mappedBefore) << "the mapped streams were given back";
}

TEST(CompiledStep, DataWordsTheStepTouchesArePackedInStepOrderOnce) {
    // Memory cells, counters and lamps made among many gates (whose words nothing reads):
    // compiling moves the words the step touches side by side in step order, a counter's flags
    // right after its word, each keeping its value; compiling again moves nothing; and the packed
    // board steps as the reference does.
    std::mt19937 rng(77);
    Twin t;
    const int nets = 60;
    for (int i = 0; i < nets; ++i) t.net(static_cast<int>(rng() & 1));
    const DraftPtr gate = TLogic::Create(2, 0);
    const DraftPtr kinds[] = {TRam::Create(), TCounter::Create(3), TLed::Create(1, 2, 3)};
    std::vector<size_t> stateful;
    auto wire = [&](size_t d) {
        TDevice& r = *t.ref.devices[d];
        for (size_t k = 0; k < r.inputs.size(); ++k) t.in(d, static_cast<int>(k), rng() % nets);
        for (size_t k = 0; k < r.outputs.size(); ++k) t.out(d, static_cast<int>(k), rng() % nets);
    };
    for (int i = 0; i < 240; ++i) {
        for (int g = 0; g < 3; ++g) wire(t.add(gate));
        const size_t d = t.add(kinds[i % 3]);
        wire(d);
        const int v = i % 3 == 1 ? static_cast<int>(rng() % 8) : static_cast<int>(rng() % 2);
        t.ref.devices[d]->data = t.fast.devices[d]->data = v;
        stateful.push_back(d);
    }
    // The words in step order, with their values.
    auto words = [&] {
        std::vector<std::pair<uint32_t, int>> w;
        for (size_t d : stateful) {
            TDevice& dev = *t.fast.devices[d];
            w.emplace_back(dev.data.slot(), static_cast<int>(dev.data));
            if (auto* cd = dynamic_cast<TCounterData*>(dev.obj.get())) {
                w.emplace_back(cd->addSignal.slot(), static_cast<int>(cd->addSignal));
                w.emplace_back(cd->subSignal.slot(), static_cast<int>(cd->subSignal));
            }
        }
        return w;
    };
    std::vector<int> before;
    for (size_t d : stateful) before.push_back(t.fast.devices[d]->data);
    const size_t inUse = DeviceDataStore::inUse();
    CompiledCircuit cc;
    cc.build(t.fast.devices);
    const auto packed = words();
    ASSERT_EQ(packed.size(), 240u + 2 * 80u);  // counters have their flags now
    EXPECT_EQ(DeviceDataStore::inUse(), inUse + 2 * 80u) << "the moved words gave their old slots back";
    for (size_t i = 1; i < packed.size(); ++i) ASSERT_EQ(packed[i].first, packed[i - 1].first + 1) << "word " << i;
    for (size_t i = 0; i < stateful.size(); ++i) EXPECT_EQ(t.fast.devices[stateful[i]]->data, before[i]);
    cc.build(t.fast.devices);
    EXPECT_EQ(words(), packed) << "a second build moved words";
    EXPECT_EQ(runSideBySide(t, cc, rng, 30), "");
}

TEST(CompiledStep, SwitchesAndClocksArePatchedInPlaceWhileTheirOpsStayAsMany) {
    // A switch and a clock drive their wired outputs through table ops, three outputs to an op.
    // Wiring more outputs (one inverted) is taken in place while each keeps one op; a clock with
    // all four outputs wired needs a second op, which takes a build. Side by side throughout.
    Twin t;
    for (int i = 0; i < 8; ++i) t.net(0);
    const size_t sw = t.add(TSwich::Create(1)), clk = t.add(TTicker::Create(2));
    const size_t g = t.add(TLogic::Create(2, 1));
    t.out(sw, 0, 0);
    t.out(clk, 0, 1);
    t.in(g, 0, 0);
    t.in(g, 1, 1);
    t.out(g, 0, 2);
    Envs env(5);
    FastSimulator fast;
    uint64_t version = 0;
    int flips = 0;
    auto steps = [&](int n) {
        return stepBoth(t, fast, version, env, n, [&] {
            t.ref.devices[sw]->data = t.fast.devices[sw]->data = (++flips / 3) % 2;
            env.advance(1);
        });
    };
    ASSERT_EQ(steps(6), "");
    ASSERT_EQ(fast.compiled().tableCount(), 3u);
    t.out(sw, 2, 3);
    t.out(clk, 1, 4);
    t.out(clk, 3, 5);
    t.ref.devices[clk]->invertedOutputs[3] = t.fast.devices[clk]->invertedOutputs[3] = 1;
    EXPECT_TRUE(fast.patchDevice(t.fast.devices, version, *t.fast.devices[sw]));
    EXPECT_TRUE(fast.patchDevice(t.fast.devices, version, *t.fast.devices[clk]));
    EXPECT_EQ(steps(12), "");
    t.out(clk, 2, 6);
    EXPECT_FALSE(fast.patchDevice(t.fast.devices, version, *t.fast.devices[clk])) << "four outputs take two ops";
    ++version;
    EXPECT_EQ(steps(12), "");
    EXPECT_EQ(fast.compiled().tableCount(), 4u);
}

TEST(CompiledStep, NeighboursSharingAnOpArePatchedAndRemovedOneByOne) {
    // A chain of gates, each reading the one before: neighbours share ops, the second reading the
    // first's result from the shared tables. Inverting or rewiring an input of either device of a
    // shared op is taken in place; removing either leaves the other stepping alone. Side by side
    // with the reference throughout, the switches at the start flipping.
    Twin t;
    for (int i = 0; i < 16; ++i) t.net(0);
    const size_t s0 = t.add(TSwich::Create(1)), s1 = t.add(TSwich::Create(1));
    t.out(s0, 0, 0);
    t.out(s1, 0, 1);
    std::vector<size_t> gates;
    for (int i = 0; i < 12; ++i) {
        const size_t g = t.add(TLogic::Create(2, i % 3 == 2 ? 1 : 0));
        t.in(g, 0, static_cast<size_t>(i + 1));
        t.in(g, 1, static_cast<size_t>(i % 2));
        t.out(g, 0, static_cast<size_t>(i + 2));
        gates.push_back(g);
    }
    Envs env(9);
    FastSimulator fast;
    uint64_t version = 0;
    int flips = 0;
    auto steps = [&](int n) {
        return stepBoth(t, fast, version, env, n, [&] {
            ++flips;
            t.ref.devices[s0]->data = t.fast.devices[s0]->data = flips % 2;
            t.ref.devices[s1]->data = t.fast.devices[s1]->data = (flips / 2) % 2;
        });
    };
    ASSERT_EQ(steps(8), "");
    ASSERT_EQ(fast.compiled().fusedPairs(), 6u);
    ASSERT_EQ(fast.compiled().tableCount(), 2u + 6u);
    auto invert = [&](size_t dev, int pin) {
        t.ref.devices[dev]->invertedInputs[pin] ^= 1;
        t.fast.devices[dev]->invertedInputs[pin] ^= 1;
        return fast.patchDevice(t.fast.devices, version, *t.fast.devices[dev]);
    };
    EXPECT_TRUE(invert(gates[0], 0));  // the first of a pair
    EXPECT_TRUE(invert(gates[3], 1));  // the second of one
    EXPECT_EQ(steps(8), "");
    t.in(gates[5], 1, 0);  // now reading the first switch as well
    EXPECT_TRUE(fast.patchDevice(t.fast.devices, version, *t.fast.devices[gates[5]]));
    EXPECT_EQ(steps(8), "");
    EXPECT_EQ(fast.patchCount(), 3u);
    // Removing the first of one pair and the second of another: the neighbours step alone.
    const TDevice* first = t.fast.devices[gates[6]].get();   // pairs: (0,1) (2,3) (4,5) (6,7) ...
    const TDevice* second = t.fast.devices[gates[9]].get();
    for (const TDevice* gone : {first, second}) {
        size_t i = 0;
        while (t.fast.devices[i].get() != gone) ++i;
        ASSERT_TRUE(fast.removeDevice(t.fast.devices, version, *t.fast.devices[i]));
        t.ref.devices.erase(t.ref.devices.begin() + static_cast<std::ptrdiff_t>(i));
        t.fast.devices.erase(t.fast.devices.begin() + static_cast<std::ptrdiff_t>(i));
    }
    EXPECT_EQ(fast.compiled().fusedPairs(), 4u);
    EXPECT_EQ(steps(8), "");
    // The neighbours left alone own their ops: edits of them land there.
    for (const TDevice* left : {t.fast.devices[gates[7] - 1].get(), t.fast.devices[gates[8] - 1].get()}) {
        size_t i = 0;
        while (t.fast.devices[i].get() != left) ++i;
        EXPECT_TRUE(invert(i, 0));
    }
    EXPECT_EQ(steps(8), "");
    EXPECT_EQ(fast.compileCount(), 1u) << "every edit was taken in place";
}

TEST(CompiledStep, NetsHoldingOtherValuesAreNeverUsedAsAnIndex) {
    // Nets are 0 or 1, but a net given another value behind the step's back must not send the step
    // out of its tables (the sanitizer build checks shifts and reads); every net a device drives
    // holds 0 or 1 after the step.
    const auto pool = draftPool();
    std::mt19937 rng(99);
    for (int circuit = 0; circuit < 100; ++circuit) {
        Twin t = randomTwin(rng, pool, 1 + static_cast<int>(rng() % 60));
        CompiledCircuit cc;
        cc.build(t.fast.devices);
        const int odd[] = {2, -1, 1000, -100000, 0x7fffffff, 17};
        for (size_t i = 0; i < t.fast.nets.size(); ++i) t.fast.nets[i]->State = odd[i % std::size(odd)];
        Envs env(static_cast<uint32_t>(rng()));
        setSimEnvironment(env.fast);
        cc.run(2);
        for (auto& d : t.fast.devices)
            for (TWireComplex* n : d->outputs)
                if (n) {
                    ASSERT_TRUE(n->State == 0 || n->State == 1) << "circuit " << circuit;
                }
    }
}

TEST(CompiledStep, AWrongTableOfOneOpLeavesTheOpsSharingItAlone) {
    // Two inverters share one pooled table (after the switch's op). Flipping the first one's table
    // must change what that inverter drives and nothing else; run side by side, only the first
    // output net may differ.
    for (size_t limit : {CompiledCircuit::kPoolMax, size_t{0}}) {
        SCOPED_TRACE(limit ? "pooled" : "inline");
        Twin t;
        for (int i = 0; i < 3; ++i) t.net(0);
        const size_t sw = t.add(TSwich::Create(1));
        const size_t a = t.add(TLogic::Create(1, 2)), b = t.add(TLogic::Create(1, 2));
        t.out(sw, 0, 0);
        t.in(a, 0, 0);
        t.in(b, 0, 0);
        t.out(a, 0, 1);
        t.out(b, 0, 2);
        CompiledCircuit cc;
        cc.setPoolLimit(limit);
        cc.setFusion(false);  // the two inverters would share one op
        cc.build(t.fast.devices);
        ASSERT_EQ(cc.tableCount(), 3u);
        EXPECT_EQ(cc.pooledTables(), limit ? 2u : 0u);
        ASSERT_TRUE(cc.flipTableEntry(1, 0, 0));  // the first inverter now gives 0 for input 0
        t.ref.devices[sw]->data = t.fast.devices[sw]->data = 0;
        t.ref.step();
        cc.run(1);
        EXPECT_EQ(t.ref.nets[1]->State, 1);
        EXPECT_EQ(t.fast.nets[1]->State, 0);
        EXPECT_EQ(t.fast.nets[2]->State, 1);  // the second inverter still has the true table
    }
}

TEST(CompiledStep, AWrongSecondOutputIsCaught) {
    // Ops with more than one output (adders, memory cells) take their own body; a wrong entry in
    // the table of a full adder's second output must show once its inputs reach that entry. The
    // pooled and the inline form alike; each entry in turn (entries 8 to 15 repeat 0 to 7, as the
    // adder has three inputs, so both copies are flipped).
    for (size_t limit : {CompiledCircuit::kPoolMax, size_t{0}}) {
        for (unsigned e = 0; e < 8; ++e) {
            SCOPED_TRACE(std::string(limit ? "pooled" : "inline") + ", entry " + std::to_string(e));
            Twin t;
            for (int i = 0; i < 5; ++i) t.net(0);
            for (int i = 0; i < 3; ++i) t.out(t.add(TSwich::Create(1)), 0, static_cast<size_t>(i));
            const size_t d = t.add(TAdder::Create(1));
            for (int k = 0; k < 3; ++k) t.in(d, k, static_cast<size_t>(k));
            t.out(d, 0, 3);
            t.out(d, 1, 4);
            CompiledCircuit cc;
            cc.setPoolLimit(limit);
            cc.build(t.fast.devices);
            ASSERT_EQ(cc.tableCount(), 4u);  // the switches, then the adder
            ASSERT_TRUE(cc.flipTableEntry(3, 1, e));
            ASSERT_TRUE(cc.flipTableEntry(3, 1, e + 8));
            bool caught = false;
            for (int combo = 0; combo < 8 && !caught; ++combo) {
                for (size_t s = 0; s < 3; ++s)
                    t.ref.devices[s]->data = t.fast.devices[s]->data = (combo >> s) & 1;
                t.ref.step();
                cc.run(1);
                        caught = !difference(t).empty();
            }
            EXPECT_TRUE(caught);
        }
    }
}
