// Behaviour of the built-in kinds and of the device step: order, inversion, feedback, state.
#include <gtest/gtest.h>

#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/SimEnvironment.h"
#include "support/Circuit.h"

using namespace gw;
using gwtest::Circuit;

namespace {

// A toggle switch driving net `n`, placed first in `c`.
TDevice& source(Circuit& c, TWireComplex& n) {
    TDevice& s = c.add(TSwich::Create(1));
    Circuit::out(s, 0, n);
    return s;
}

}  // namespace

TEST(Step, InvertersInSignalOrderSettleInOneStepOppositeOrderInTwo) {
    for (bool signalOrder : {true, false}) {
        Circuit c;
        TWireComplex &a = c.net(), &b = c.net(), &out = c.net();
        TDevice& sw = source(c, a);
        auto inv = TLogic::Create(1, 2);
        TDevice* first;
        TDevice* second;
        if (signalOrder) {
            first = &c.add(inv);
            second = &c.add(inv);
        } else {
            second = &c.add(inv);
            first = &c.add(inv);
        }
        Circuit::in(*first, 0, a);
        Circuit::out(*first, 0, b);
        Circuit::in(*second, 0, b);
        Circuit::out(*second, 0, out);
        c.step(3);
        ASSERT_EQ(out.State, 0);
        sw.data = 1;
        c.step();
        EXPECT_EQ(out.State, signalOrder ? 1 : 0) << "signal order " << signalOrder;
        c.step();
        EXPECT_EQ(out.State, 1);
    }
}

TEST(Step, InversionOfWiredAndUnwiredPins) {
    Circuit c;
    TWireComplex &hi = c.net(), &o1 = c.net(), &o2 = c.net();
    TDevice& sw = source(c, hi);
    sw.data = 1;
    // AND with input 0 wired to 1 and inverted, input 1 unwired: reads 0 and 0.
    TDevice& andGate = c.add(TLogic::Create(2, 1));  // OR, so any 1 would show
    Circuit::in(andGate, 0, hi);
    andGate.invertedInputs[0] = 1;
    andGate.invertedInputs[1] = 1;  // unwired and inverted still reads 0
    Circuit::out(andGate, 0, o1);
    // An inverted output drives the negation.
    TDevice& buf = c.add(TLogic::Create(2, 1));
    Circuit::in(buf, 0, hi);
    Circuit::out(buf, 0, o2);
    buf.invertedOutputs[0] = 1;
    c.step();
    EXPECT_EQ(o1.State, 0);
    EXPECT_EQ(o2.State, 0);
    sw.data = 0;
    c.step();
    EXPECT_EQ(o1.State, 1);
    EXPECT_EQ(o2.State, 1);
}

TEST(Step, InverterFeedingItselfTogglesEveryStep) {
    Circuit c;
    TWireComplex& n = c.net();
    TDevice& inv = c.add(TLogic::Create(1, 2));
    Circuit::in(inv, 0, n);
    Circuit::out(inv, 0, n);
    int last = n.State;
    for (int i = 0; i < 6; ++i) {
        c.step();
        EXPECT_NE(n.State, last);
        last = n.State;
    }
}

TEST(Step, CrossCoupledNorLatchHoldsItsState) {
    Circuit c;
    TWireComplex &set = c.net(), &reset = c.net(), &q = c.net(), &nq = c.net();
    TDevice& s = source(c, set);
    TDevice& r = source(c, reset);
    TDevice& g1 = c.add(TLogic::Create(2, 1));  // NOR: OR with inverted output
    TDevice& g2 = c.add(TLogic::Create(2, 1));
    g1.invertedOutputs[0] = g2.invertedOutputs[0] = 1;
    Circuit::in(g1, 0, reset);
    Circuit::in(g1, 1, nq);
    Circuit::out(g1, 0, q);
    Circuit::in(g2, 0, set);
    Circuit::in(g2, 1, q);
    Circuit::out(g2, 0, nq);
    s.data = 1;
    c.step(3);
    s.data = 0;
    c.step(5);
    EXPECT_EQ(q.State, 1);
    EXPECT_EQ(nq.State, 0);
    r.data = 1;
    c.step(3);
    r.data = 0;
    c.step(5);
    EXPECT_EQ(q.State, 0);
    EXPECT_EQ(nq.State, 1);
}

TEST(Step, UnwiredOutputStillComputesAndRemovedDriverLeavesValue) {
    Circuit c;
    TWireComplex& plus = c.net();
    TDevice& sw = source(c, plus);
    TDevice& cnt = c.add(TCounter::Create(4));
    Circuit::in(cnt, 0, plus);
    for (int i = 0; i < 3; ++i) {
        sw.data = 1;
        c.step();
        sw.data = 0;
        c.step();
    }
    EXPECT_EQ(cnt.data, 3);
}

// Runs one device alone on the given input values (one net per input) and answers its outputs.
std::vector<int> run(TDevice& d, const std::vector<int>& ins) {
    std::vector<TWireComplex> in(ins.size()), out(d.outputs.size());
    for (size_t i = 0; i < ins.size(); ++i) {
        in[i].State = ins[i];
        d.inputs[i] = &in[i];
    }
    for (size_t i = 0; i < out.size(); ++i) d.outputs[i] = &out[i];
    d.Update();
    std::vector<int> r;
    for (auto& n : out) r.push_back(n.State);
    for (auto& p : d.inputs) p = nullptr;
    for (auto& p : d.outputs) p = nullptr;
    return r;
}

TEST(Logic, GatesAndConstantSource) {
    struct Case {
        int inCons, kind;
        std::vector<int> ins;
        std::vector<int> outs;
    };
    const Case cases[] = {
        {2, 0, {1, 1}, {1}}, {2, 0, {1, 0}, {0}}, {3, 0, {1, 1, 1}, {1}}, {10, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, {0}},
        {2, 1, {0, 0}, {0}}, {2, 1, {0, 1}, {1}}, {4, 1, {0, 0, 0, 1}, {1}}, {1, 2, {0}, {1}},
        {1, 2, {1}, {0}},    {0, 3, {}, {1, 1, 1, 1}}, {2, 7, {1, 1}, {0}},
    };
    for (const auto& k : cases) {
        TDevice d(TLogic::Create(k.inCons, k.kind), 0, 0);
        EXPECT_EQ(run(d, k.ins), k.outs) << k.inCons << "/" << k.kind;
    }
    // An AND with one input unwired outputs 0; an OR with nothing wired outputs 0.
    TDevice a(TLogic::Create(2, 0), 0, 0);
    TWireComplex one, o;
    one.State = 1;
    a.inputs[0] = &one;
    a.outputs[0] = &o;
    o.State = 1;
    a.Update();
    EXPECT_EQ(o.State, 0);
}

TEST(Adders, HalfAndFullTruthTables) {
    TDevice half(TAdder::Create(0), 0, 0), full(TAdder::Create(1), 0, 0);
    EXPECT_EQ(run(half, {0, 0}), (std::vector<int>{0, 0}));
    EXPECT_EQ(run(half, {1, 0}), (std::vector<int>{0, 1}));
    EXPECT_EQ(run(half, {1, 1}), (std::vector<int>{1, 0}));
    for (int v = 0; v < 8; ++v) {
        const int a = v & 1, b = (v >> 1) & 1, c = (v >> 2) & 1, s = a + b + c;
        EXPECT_EQ(run(full, {a, b, c}), (std::vector<int>{s >> 1, s & 1})) << v;
    }
}

TEST(Ram, SetResetAndResetWins) {
    TDevice m(TRam::Create(), 0, 0);
    EXPECT_EQ(run(m, {0, 0}), (std::vector<int>{0, 1}));
    EXPECT_EQ(run(m, {1, 0}), (std::vector<int>{1, 0}));
    EXPECT_EQ(run(m, {0, 0}), (std::vector<int>{1, 0}));
    EXPECT_EQ(run(m, {1, 1}), (std::vector<int>{0, 1}));
    EXPECT_EQ(run(m, {1, 0}), (std::vector<int>{1, 0}));  // releasing R first sets it
    EXPECT_EQ(run(m, {0, 1}), (std::vector<int>{0, 1}));
}

// Counter inputs: + - S R a b c ...
std::vector<int> cin(int plus, int minus, int s, int r, std::vector<int> data) {
    std::vector<int> v = {plus, minus, s, r};
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

TEST(Counter, EdgesWrapLoadResetPriority) {
    TDevice c3(TCounter::Create(3), 0, 0);
    const std::vector<int> z3 = {0, 0, 0};
    run(c3, cin(1, 0, 0, 0, z3));
    EXPECT_EQ(c3.data, 1);
    for (int i = 0; i < 5; ++i) run(c3, cin(1, 0, 0, 0, z3));  // held: counts once
    EXPECT_EQ(c3.data, 1);
    run(c3, cin(0, 0, 0, 0, z3));
    run(c3, cin(0, 1, 0, 0, z3));
    EXPECT_EQ(c3.data, 0);
    run(c3, cin(0, 0, 0, 0, z3));
    EXPECT_EQ(run(c3, cin(0, 1, 0, 0, z3)), (std::vector<int>{1, 1, 1}));  // 0 down to 7
    EXPECT_EQ(c3.data, 7);
    run(c3, cin(0, 0, 0, 0, z3));
    run(c3, cin(1, 0, 0, 0, z3));
    EXPECT_EQ(c3.data, 0);  // 7 up to 0

    TDevice c4(TCounter::Create(4), 0, 0);
    EXPECT_EQ(run(c4, cin(0, 0, 1, 0, {1, 0, 1, 0})), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(c4.data, 5);
    // Reset beats load; a "+" that rose during reset counts when reset falls.
    run(c4, cin(1, 0, 1, 1, {1, 1, 1, 1}));
    EXPECT_EQ(c4.data, 0);
    run(c4, cin(1, 0, 0, 0, {0, 0, 0, 0}));
    EXPECT_EQ(c4.data, 1);
    // Up and down rising together: only up; down follows in the next step if still 1.
    run(c4, cin(0, 0, 0, 0, {}));
    run(c4, cin(1, 1, 0, 0, {0, 0, 0, 0}));
    EXPECT_EQ(c4.data, 2);
    run(c4, cin(1, 1, 0, 0, {0, 0, 0, 0}));
    EXPECT_EQ(c4.data, 1);
    run(c4, cin(1, 1, 0, 0, {0, 0, 0, 0}));
    EXPECT_EQ(c4.data, 1);
}

TEST(Counter, StateBelongsToEachDevice) {
    auto d = TCounter::Create(2);
    TDevice a(d, 0, 0), b(d, 0, 0);
    run(a, cin(1, 0, 0, 0, {0, 0}));
    run(b, cin(0, 0, 0, 0, {0, 0}));
    run(b, cin(1, 0, 0, 0, {0, 0}));
    EXPECT_EQ(a.data, 1);
    EXPECT_EQ(b.data, 1);
    ASSERT_NE(dynamic_cast<TCounterData*>(a.obj.get()), nullptr);
    EXPECT_NE(a.obj.get(), b.obj.get());
}

TEST(Digital, FourBitMasksAndAnalogSegments) {
    const int masks[16] = {95, 3, 121, 115, 39, 118, 126, 71, 127, 119, 111, 62, 92, 59, 124, 108};
    TDevice bin(TDigital::Create(0, 255, 255, 255), 0, 0);
    for (int v = 0; v < 16; ++v) {
        EXPECT_TRUE(run(bin, {v & 1, (v >> 1) & 1, (v >> 2) & 1, (v >> 3) & 1}).empty());
        EXPECT_EQ(bin.data, masks[v]) << v;
    }
    TDevice an(TDigital::Create(1, 255, 0, 0), 0, 0);
    run(an, {1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(an.data, 1);
    run(an, {0, 1, 0, 1, 0, 0, 1});
    EXPECT_EQ(an.data, 2 + 8 + 64);
    // An inverted, unwired input reads 0.
    TDevice inv(TDigital::Create(1, 255, 0, 0), 0, 0);
    inv.invertedInputs.assign(7, 1);
    inv.Update();
    EXPECT_EQ(inv.data, 0);
}

TEST(Led, LitByAnyInput) {
    TDevice led(TLed::Create(255, 100, 100), 0, 0);
    for (int v = 0; v < 16; ++v) {
        run(led, {v & 1, (v >> 1) & 1, (v >> 2) & 1, (v >> 3) & 1});
        EXPECT_EQ(led.data, v != 0 ? 1 : 0) << v;
    }
}

TEST(Swich, PushButtonAndToggleMouseFunctions) {
    TDevice push(TSwich::Create(0), 0, 0), toggle(TSwich::Create(1), 0, 0);
    push.onClick();
    EXPECT_EQ(push.data, 0);
    push.whileClick();
    EXPECT_EQ(push.data, 1);
    EXPECT_EQ(run(push, {}), (std::vector<int>{1, 1, 1, 1}));
    push.noClick();
    EXPECT_EQ(push.data, 0);

    toggle.onClick();
    EXPECT_EQ(toggle.data, 1);
    toggle.whileClick();
    toggle.noClick();
    EXPECT_EQ(toggle.data, 1);  // held or released: only presses toggle
    toggle.onClick();
    EXPECT_EQ(toggle.data, 0);
    EXPECT_EQ(push.draft->clickAble(), 1);
    EXPECT_EQ(TLed::Create(1, 2, 3)->clickAble(), 0);
}

TEST(Ticker, FollowsTheSimulatedClockAndSeededRandom) {
    auto env = std::make_shared<SimulatedEnvironment>(0, 42);
    auto old = setSimEnvironment(env);
    TDevice clk(TTicker::Create(500), 0, 0);
    const struct { int64_t ms; int v; } at[] = {{1000, 0}, {1500, 0}, {1501, 1}, {1999, 1}, {2000, 0}, {2499, 0}};
    for (const auto& a : at) {
        env->setMillis(a.ms);
        EXPECT_EQ(run(clk, {}), (std::vector<int>(4, a.v))) << a.ms;
    }
    TDevice rnd(TTicker::Create(0), 0, 0);
    int ones = 0;
    for (int i = 0; i < 2000; ++i) ones += run(rnd, {})[0];
    EXPECT_GT(ones, 850);
    EXPECT_LT(ones, 1150);
    setSimEnvironment(old);
}

TEST(Counter, ExtremeStoredValuesWrapWithoutOverflow) {
    // Values only a board file can bring: counting from them must wrap, never overflow.
    TDevice up(TCounter::Create(4), 0, 0), down(TCounter::Create(4), 0, 0);
    up.data = 2147483647;
    down.data = -2147483647 - 1;
    EXPECT_EQ(run(up, cin(1, 0, 0, 0, {0, 0, 0, 0})), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(up.data, 0);
    EXPECT_EQ(run(down, cin(0, 1, 0, 0, {0, 0, 0, 0})), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(down.data, 15);
}

TEST(Device, KeepsItsTypeAliveUntilTheLastDeviceOfItGoes) {
    std::weak_ptr<TDraft> seen;
    DevicePtr a, b;
    {
        DraftPtr t = TLogic::Create(2, 0);
        seen = t;
        a = makePooled<TDevice>(t, 0, 0);
        b = makePooled<TDevice>(t, 6, 0);
        EXPECT_EQ(a->draft, t);
        EXPECT_EQ(a->draft.ptr(), t);
    }
    ASSERT_FALSE(seen.expired()) << "the devices hold their type";
    DraftPtr again = a->draft;  // a shared pointer from a device's type owns it like any other
    EXPECT_EQ(again.get(), seen.lock().get());
    again.reset();
    a.reset();
    EXPECT_FALSE(seen.expired());
    b->draft = TLogic::Create(1, 2);  // the last device of the first type takes another
    EXPECT_TRUE(seen.expired());
    EXPECT_EQ(b->draft->countInputs(), 1);
    b.reset();

    // A copy of a type whose devices exist is a type of its own: its devices alone keep it.
    DraftPtr orig = TLogic::Create(3, 1);
    auto dev = makePooled<TDevice>(orig, 0, 0);
    DraftPtr copyOf = std::make_shared<TLogic>(*std::static_pointer_cast<TLogic>(orig));
    std::weak_ptr<TDraft> copy = copyOf;
    auto onCopy = makePooled<TDevice>(copyOf, 0, 0);
    copyOf.reset();
    EXPECT_FALSE(copy.expired());
    onCopy.reset();
    EXPECT_TRUE(copy.expired());
    EXPECT_EQ(dev->draft, orig);

    // A type no shared pointer owns is left to its owner; the device still reads it.
    TLogic local = *std::static_pointer_cast<TLogic>(orig);
    {
        TDevice d;
        d.draft = DraftPtr(DraftPtr(), &local);
        EXPECT_EQ(d.draft->countInputs(), 3);
        EXPECT_EQ(d.draft.ptr().get(), &local);
    }
}
