// Turning a board circuit into an IC description: pin places and positions, which devices and nets
// go inside, nested ICs with their numbering and inversions, and, for every shape of circuit, the
// generated IC computing what the board computed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ICBench.h"
#include "board/BoardFixture.h"
#include "io/TempDir.h"

using namespace gw;
using gwtest::Bench;
using gwtest::expectSameOutputs;

namespace {

const char* kAnd = "$logic0|2";
const char* kOr = "$logic1|2";
const char* kInv = "$logic2|1";
const char* kHalf = "$adder0";

// x -> inverter -> m -> inverter -> o; pins: input x (left 0), outputs m (right 0) and o (right 1).
ICDescriptionPtr twoInverters() {
    Bench b;
    auto x = b.switched();
    auto m = b.net(), o = b.net();
    TDevice& g1 = b.add(kInv);
    TDevice& g2 = b.add(kInv);
    Bench::in(g1, 0, x);
    Bench::out(g1, 0, m);
    Bench::in(g2, 0, m);
    Bench::out(g2, 0, o);
    b.assign(icSideLeft, 0, 0, x, "x");
    b.assign(icSideRight, 0, 1, m, "m");
    b.assign(icSideRight, 1, 1, o, "o");
    return b.generate();
}

// A nested IC device of `dsc` in `b`, its pins not yet wired.
TDevice& placeIC(Bench& b, const ICDescriptionPtr& dsc) { return b.add(TLoadedDraft::Create(dsc)); }

}  // namespace

// --- pin places ---

TEST(ICPins, ThreeByThreeRightPlaceZero) {
    int x = 0, y = 0;
    icPinPosition(icSideRight, 0, 1, 3, 3, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(2, 0));
    icPinPosition(icSideRight, 0, 0, 3, 3, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1, -1));
}

TEST(ICPins, InputAndOutputOfAPlaceMeetOnTheBodyEdgeForEverySize) {
    // The generated type must put both kinds of pin on the same edge point, on the body's border
    // as the board lays bodies out, and the places of a side must run along it one cell apart.
    for (int w = 1; w <= icMaxSize; ++w)
        for (int h = 1; h <= icMaxSize; ++h) {
            gwtest::PinDraft probe(w, h, {}, {});
            probe.width = w;
            probe.Height = h;
            const int left = -(w / 2), right = left + w, top = -(h / 2), bottom = top + h;
            for (int side = 0; side < 4; ++side) {
                const bool vertical = side == icSideRight || side == icSideLeft;
                const int n = vertical ? h : w;
                for (int i = 0; i + 1 < n; ++i) {
                    int ox, oy, ix, iy;
                    icPinPosition(side, i, 1, w, h, ox, oy);
                    icPinPosition(side, i, 0, w, h, ix, iy);
                    probe.input_xpos = {ix};
                    probe.input_ypos = {iy};
                    SCOPED_TRACE(testing::Message() << w << "x" << h << " side " << side << " place " << i);
                    EXPECT_EQ(probe.getInputXPos(0), ox);
                    EXPECT_EQ(probe.getInputYPos(0), oy);
                    const int edge[4] = {right, bottom, left, top};
                    EXPECT_EQ(vertical ? ox : oy, edge[side]);
                    EXPECT_EQ(vertical ? oy : ox, (vertical ? top : left) + 1 + i);
                }
            }
        }
}

TEST(ICPins, OnlyPlacesOfTheCurrentSizeArePins) {
    // Width 1 offers no bottom/top places, height 1 no right/left ones; places beyond the size
    // keep their nets for later but give no pin.
    Bench b;
    auto n = b.switched();
    b.assign(icSideBottom, 0, 0, n);
    b.assign(icSideTop, 0, 0, n);
    b.assign(icSideRight, 0, 0, n);
    b.assign(icSideRight, 5, 0, n);
    struct Case {
        int w, h;
        size_t pins;
    } cases[] = {{1, 3, 1}, {3, 1, 2}, {1, 1, 0}, {3, 3, 3}, {3, 7, 4}};
    for (const Case& c : cases) {
        b.form.width = c.w;
        b.form.Height = c.h;
        EXPECT_EQ(b.generate()->inputWires.size(), c.pins) << c.w << "x" << c.h;
    }
    EXPECT_TRUE(b.form.place(icSideRight, 5).conWire);
}

TEST(ICPins, PinsFollowPlaceOrderWithCaptionsAndPositions) {
    Bench b;
    auto a = b.switched(), c = b.switched();
    auto s = b.net(), k = b.net();
    TDevice& ha = b.add(kHalf);
    Bench::in(ha, 0, a);
    Bench::in(ha, 1, c);
    Bench::out(ha, 0, k);
    Bench::out(ha, 1, s);
    b.form.width = 4;
    b.assign(icSideTop, 2, 0, c, "B");
    b.assign(icSideLeft, 1, 0, a, "A");
    b.assign(icSideRight, 0, 1, s, "S");
    b.assign(icSideBottom, 0, 1, k, "C");
    auto d = b.generate();
    EXPECT_EQ(d->input_cap, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(d->output_cap, (std::vector<std::string>{"S", "C"}));
    int x, y;
    icPinPosition(icSideTop, 2, 0, 4, 3, x, y);
    EXPECT_EQ(d->input_xpos[1], x);
    EXPECT_EQ(d->input_ypos[1], y);
    EXPECT_EQ(d->width, 4);
    EXPECT_EQ(d->Height, 3);
    expectSameOutputs(b, d, 40, 1);
}

TEST(ICPins, OneNetOnTwoPlacesGivesTwoPinsOnOneInnerNet) {
    Bench b;
    auto a = b.switched();
    auto o = b.net();
    TDevice& g = b.add(kInv);
    Bench::in(g, 0, a);
    Bench::out(g, 0, o);
    b.assign(icSideLeft, 0, 0, a);
    b.assign(icSideLeft, 1, 0, a);
    b.assign(icSideRight, 0, 1, o);
    b.assign(icSideBottom, 1, 1, o);
    auto d = b.generate();
    ASSERT_EQ(d->inputWires.size(), 2u);
    ASSERT_EQ(d->outputWires.size(), 2u);
    EXPECT_EQ(d->inputWires[0], d->inputWires[1]);
    EXPECT_EQ(d->outputWires[0], d->outputWires[1]);
    EXPECT_NE(d->inputWires[0], d->outputWires[0]);
    expectSameOutputs(b, d, 20, 2);
}

TEST(ICPins, NetRemovedFromTheBoardClearsItsPlace) {
    Bench b;
    auto a = b.switched(), gone = b.switched();
    auto o = b.net();
    TDevice& g = b.add(kInv);
    Bench::in(g, 0, a);
    Bench::out(g, 0, o);
    b.assign(icSideLeft, 0, 0, a);
    b.assign(icSideLeft, 1, 0, gone);
    b.assign(icSideRight, 0, 1, o);
    gone->Destroy();
    gone->notValid = 1;
    ICGenerateReport report;
    auto d = b.generate(&report);
    EXPECT_EQ(d->inputWires.size(), 1u);
    EXPECT_FALSE(b.form.place(icSideLeft, 1).conWire);
    EXPECT_TRUE(b.form.place(icSideLeft, 0).conWire);
    ASSERT_EQ(report.clearedPlaces.size(), 1u);
    EXPECT_EQ(report.clearedPlaces[0], std::make_pair(int(icSideLeft), 1));
}

// --- what goes inside ---

TEST(ICContents, SwitchesAndLampsStayOutsideButAGateBehindALampIsKept) {
    // in1, in2 -> AND -> out, which also lights a lamp; a second gate, fed by a switch that is no
    // pin, drives another input of that lamp: found only through the lamp, kept for its wired
    // output. An inverter with its output unwired and a removed device stay out.
    Bench b;
    auto in1 = b.switched(), in2 = b.switched(), other = b.switched();
    auto out = b.net(), side = b.net();
    TDevice& g = b.add(kAnd);
    Bench::in(g, 0, in1);
    Bench::in(g, 1, in2);
    Bench::out(g, 0, out);
    TDevice& lamp = b.add("$led255|100|100");
    Bench::in(lamp, 0, out);
    Bench::in(lamp, 1, side);
    TDevice& behind = b.add(kOr);
    Bench::in(behind, 0, other);
    Bench::out(behind, 0, side);
    TDevice& dangling = b.add(kInv);
    Bench::in(dangling, 0, in1);
    TDevice& removed = b.add(kAnd);
    Bench::in(removed, 0, in2);
    Bench::out(removed, 0, b.net());
    removed.notValid = 1;

    b.assign(icSideLeft, 0, 0, in1);
    b.assign(icSideLeft, 1, 0, in2);
    b.assign(icSideRight, 0, 1, out);
    auto d = b.generate();
    EXPECT_EQ(d->deviceID, (std::vector<std::string>{kAnd, kOr}));
    for (const auto& id : d->deviceID) EXPECT_EQ(id.rfind("$swich", 0), std::string::npos);
    // The AND gate reads the two input nets and drives the output net.
    const auto& inWire = d->wireBelongs[d->inputWires[0]];
    EXPECT_NE(std::find(inWire.begin(), inWire.end(), TMembership{0, 0, 0}), inWire.end());
    const auto& outWire = d->wireBelongs[d->outputWires[0]];
    EXPECT_EQ(outWire, (std::vector<TMembership>{{1, 0, 0}}));
    expectSameOutputs(b, d, 30, 3);
}

TEST(ICContents, InnerOrderIsTheBoardsStepOrderSoDelaysMatch) {
    // A chain of two inverters listed on the board output-side first: the board shows a change one
    // step late, and so must the IC, whatever order the walk found the gates in.
    for (bool reversed : {false, true}) {
        Bench b;
        auto x = b.switched();
        auto m = b.net(), o = b.net();
        TDevice* first = nullptr;
        TDevice* second = nullptr;
        if (reversed) {
            second = &b.add(kInv);
            first = &b.add(kInv);
        } else {
            first = &b.add(kInv);
            second = &b.add(kInv);
        }
        Bench::in(*first, 0, x);
        Bench::out(*first, 0, m);
        Bench::in(*second, 0, m);
        Bench::out(*second, 0, o);
        b.assign(icSideLeft, 0, 0, x);
        b.assign(icSideRight, 0, 1, o);
        auto d = b.generate();
        // Inner device 0 is whichever gate the board steps first.
        const auto& inWire = d->wireBelongs[d->inputWires[0]];
        ASSERT_EQ(inWire.size(), 1u);
        EXPECT_EQ(inWire[0][2], reversed ? 1 : 0);
        expectSameOutputs(b, d, 30, 4);
    }
}

TEST(ICContents, PinInversionsOfPlainDevicesAreCopied) {
    Bench b;
    auto a = b.switched(), c = b.switched();
    auto o = b.net();
    TDevice& g = b.add(kAnd);
    Bench::in(g, 0, a);
    Bench::in(g, 1, c);
    Bench::out(g, 0, o);
    g.invertedInputs = {1, 0};
    g.invertedOutputs = {1};
    b.assign(icSideLeft, 0, 0, a);
    b.assign(icSideLeft, 1, 0, c);
    b.assign(icSideRight, 0, 1, o);
    auto d = b.generate();
    EXPECT_EQ(d->invertedInputs[0], (std::vector<int>{1, 0}));
    EXPECT_EQ(d->invertedOutputs[0], (std::vector<int>{1}));
    expectSameOutputs(b, d, 30, 5);
}

// --- nested ICs ---

TEST(ICNested, EachNestedICGetsOneConsecutiveBlockAfterThePlainDevices) {
    auto inv2 = twoInverters();  // 2 inner devices
    Bench one;
    {
        auto x = one.switched(), y = one.switched();
        auto o = one.net();
        TDevice& g = one.add(kOr);
        Bench::in(g, 0, x);
        Bench::in(g, 1, y);
        Bench::out(g, 0, o);
        one.assign(icSideLeft, 0, 0, x);
        one.assign(icSideLeft, 1, 0, y);
        one.assign(icSideRight, 0, 1, o);
    }
    auto orIC = one.generate();  // 1 inner device

    Bench b;
    auto x = b.switched(), y = b.switched();
    auto p = b.net(), m1 = b.net(), o1 = b.net(), m2 = b.net(), o2 = b.net(), r = b.net();
    TDevice& plain = b.add(kAnd);
    Bench::in(plain, 0, x);
    Bench::in(plain, 1, y);
    Bench::out(plain, 0, p);
    TDevice& n1 = placeIC(b, inv2);
    Bench::in(n1, 0, p);
    Bench::out(n1, 0, m1);
    Bench::out(n1, 1, o1);
    TDevice& n2 = placeIC(b, inv2);
    Bench::in(n2, 0, o1);
    Bench::out(n2, 0, m2);
    Bench::out(n2, 1, o2);
    TDevice& n3 = placeIC(b, orIC);
    Bench::in(n3, 0, m1);
    Bench::in(n3, 1, o2);
    Bench::out(n3, 0, r);
    b.assign(icSideLeft, 0, 0, x);
    b.assign(icSideLeft, 1, 0, y);
    b.assign(icSideRight, 0, 1, r);
    b.assign(icSideRight, 1, 1, m2);
    auto d = b.generate();

    EXPECT_EQ(d->deviceID, (std::vector<std::string>{kAnd, kInv, kInv, kInv, kInv, kOr}));
    // Outer nets in the order met: p x y (the AND gate), m1 o1 (n1), m2 o2 (n2), r (n3); then the
    // inner nets of n1, n2 and n3, all merged into outer nets and so left empty.
    ASSERT_EQ(d->wireBelongs.size(), 8u + 3u + 3u + 3u);
    using E = std::vector<TMembership>;
    EXPECT_EQ(d->wireBelongs[0], (E{{0, 0, 1}, {1, 0, 0}}));             // p: n1's first inverter
    EXPECT_EQ(d->wireBelongs[3], (E{{0, 0, 5}, {0, 0, 2}, {1, 0, 1}}));  // m1: n3's OR, n1 inside
    EXPECT_EQ(d->wireBelongs[4], (E{{0, 0, 3}, {1, 0, 2}}));             // o1: n1 block -> n2 block
    EXPECT_EQ(d->wireBelongs[7], (E{{1, 0, 5}}));                        // r: n3's OR
    for (size_t w = 8; w < d->wireBelongs.size(); ++w) EXPECT_TRUE(d->wireBelongs[w].empty()) << w;
    EXPECT_EQ(d->outputWires, (std::vector<int>{7, 5}));
    auto flat = d->generateVirtualDraft();
    ASSERT_TRUE(flat);
    expectSameOutputs(b, d, 40, 6);
}

TEST(ICNested, InvertedNestedInputFlipsTheInnerReadersFlags) {
    auto inv2 = twoInverters();
    Bench b;
    auto x = b.switched();
    auto m = b.net(), o = b.net();
    TDevice& n = placeIC(b, inv2);
    Bench::in(n, 0, x);
    Bench::out(n, 0, m);
    Bench::out(n, 1, o);
    n.invertedInputs = {1};
    b.assign(icSideLeft, 0, 0, x);
    b.assign(icSideRight, 0, 1, m);
    b.assign(icSideRight, 1, 1, o);
    auto d = b.generate();
    ASSERT_EQ(d->deviceID.size(), 2u);
    EXPECT_EQ(d->invertedInputs[0], std::vector<int>{1});  // the inverter reading the input pin
    EXPECT_EQ(d->invertedInputs[1], std::vector<int>{0});
    expectSameOutputs(b, d, 30, 7);
}

TEST(ICNested, InvertedNestedOutputKeepsInnerReadersOnTheUninvertedSignal) {
    // m is both an output pin of the nested IC and read by its second inverter. With that output
    // pin inverted the outer net carries !m, but the second inverter must still see m.
    auto inv2 = twoInverters();
    Bench b;
    auto x = b.switched();
    auto y = b.net(), z = b.net();
    TDevice& n = placeIC(b, inv2);
    Bench::in(n, 0, x);
    Bench::out(n, 0, y);
    Bench::out(n, 1, z);
    n.invertedOutputs = {1, 0};
    b.assign(icSideLeft, 0, 0, x);
    b.assign(icSideRight, 0, 1, y);
    b.assign(icSideRight, 1, 1, z);
    auto d = b.generate();
    ASSERT_EQ(d->deviceID.size(), 2u);
    EXPECT_EQ(d->invertedOutputs[0], std::vector<int>{1});  // the inner driver of m
    EXPECT_EQ(d->invertedInputs[1], std::vector<int>{1});   // its inner reader
    expectSameOutputs(b, d, 30, 8);
}

TEST(ICNested, PassThroughAndSharedOutputsStayConnected) {
    // A nested IC whose one inner wire is its input and both its outputs: whatever goes in comes
    // out on two outer nets, both with inversion and without.
    Bench inner;
    auto w = inner.switched();
    inner.assign(icSideLeft, 0, 0, w);
    inner.assign(icSideRight, 0, 1, w);
    inner.assign(icSideRight, 1, 1, w);
    auto wire = inner.generate();
    ASSERT_EQ(wire->deviceID.size(), 0u);

    for (int inv : {0, 1}) {
        SCOPED_TRACE(inv);
        Bench b;
        auto x = b.switched();
        auto p = b.net(), q = b.net(), r = b.net(), s = b.net();
        TDevice& n = placeIC(b, wire);  // first, so the board passes x through at once as well
        TDevice& g = b.add(kInv);
        TDevice& h = b.add(kInv);
        Bench::in(n, 0, x);
        Bench::out(n, 0, p);
        Bench::out(n, 1, q);
        n.invertedInputs = {inv};
        n.invertedOutputs = {inv, inv};
        Bench::in(g, 0, p);
        Bench::out(g, 0, r);
        Bench::in(h, 0, q);
        Bench::out(h, 0, s);
        b.assign(icSideLeft, 0, 0, x);
        b.assign(icSideRight, 0, 1, r);
        b.assign(icSideRight, 1, 1, s);
        b.assign(icSideBottom, 0, 1, p);
        ICGenerateReport report;
        auto d = b.generate(&report);
        EXPECT_TRUE(report.unmerged.empty());
        expectSameOutputs(b, d, 30, 9);
    }
}

TEST(ICNested, OppositeValuesOfOneSignalOnTwoNetsAreReportedNotMerged) {
    Bench inner;
    auto w = inner.switched();
    inner.assign(icSideLeft, 0, 0, w);
    inner.assign(icSideRight, 0, 1, w);
    auto wire = inner.generate();

    Bench b;
    auto x = b.switched();
    auto p = b.net();
    TDevice& g = b.add(kInv);
    TDevice& n = placeIC(b, wire);
    Bench::in(n, 0, x);
    Bench::out(n, 0, p);
    n.invertedOutputs = {1};
    Bench::in(g, 0, p);
    Bench::out(g, 0, b.net());
    b.assign(icSideLeft, 0, 0, x);
    b.assign(icSideRight, 0, 1, p);
    ICGenerateReport report;
    auto d = b.generate(&report);
    ASSERT_EQ(report.unmerged.size(), 1u);
    EXPECT_NE(report.unmerged[0].find("pin 0 of the nested IC"), std::string::npos);
    EXPECT_NE(d->inputWires[0], d->outputWires[0]);
    EXPECT_TRUE(d->generateVirtualDraft());
}

TEST(ICNested, EntriesOutsideANestedDescriptionAreDropped) {
    // A nested description from a file may name devices and wires it does not have.
    gwtest::DescBuilder bad;
    const int g = bad.dev(kInv);
    const int w0 = bad.wire({{0, 0, g}, {0, 3, 7}, {1, 0, -2}});
    const int w1 = bad.wire({{1, 0, g}, {0, 9, g}});
    bad.pinIn(w0);
    bad.pinOut(w1);
    bad.d->outputWires.push_back(55);  // a second output pin naming a wire that does not exist
    bad.d->output_xpos.push_back(1);
    bad.d->output_ypos.push_back(1);
    bad.d->output_cap.push_back("");
    bad.d->invertedInputs[0].clear();

    Bench b;
    auto x = b.switched();
    auto o = b.net(), o2 = b.net();
    TDevice& n = placeIC(b, bad.d);
    Bench::in(n, 0, x);
    Bench::out(n, 0, o);
    Bench::out(n, 1, o2);
    n.invertedInputs = {1};
    b.assign(icSideLeft, 0, 0, x);
    b.assign(icSideRight, 0, 1, o);
    b.assign(icSideRight, 1, 1, o2);
    auto d = b.generate();
    for (const auto& wire : d->wireBelongs)
        for (const auto& e : wire) EXPECT_EQ(e[2], 0);
    EXPECT_EQ(d->invertedInputs[0], std::vector<int>{1});  // grown to the inverter's one input
}

// Whether output pin o of nested IC device `dv` reports an inner net that an inner device reads
// before (or as) the net's driver runs. Inverting such a pin is flattened exactly from the second
// step on, but in the very first step that reader sees the outer net's start value 0 where inside
// the nested IC it saw the inner net's start value 0, which is the opposite signal.
bool readBeforeDriven(const TDevice& dv, size_t o) {
    const auto* ld = dynamic_cast<const TLoadedDraft*>(dv.draft.get());
    if (!ld) return false;
    const int v = ld->dsc->outputWires[o];
    int driver = -1;
    for (const auto& e : ld->dsc->wireBelongs[v])
        if (e[0] == 1) driver = e[2];
    for (const auto& e : ld->dsc->wireBelongs[v])
        if (e[0] == 0 && e[2] <= driver) return true;
    return false;
}

TEST(ICNested, RandomCircuitsWithNestedICsComputeLikeTheBoard) {
    const char* kinds[] = {kAnd, kOr, kInv, kHalf, "$adder1", "$logic0|3", "$logic1|4", "$ram", "$counter2"};
    std::mt19937 rng(2024);
    auto pick = [&](size_t n) { return static_cast<int>(rng() % n); };

    // Builds a random circuit with `ins` switches, `gates` gates from `kinds` and the given nested
    // IC types (placed last), wires every input pin to a random net, inverts pins at random, and
    // assigns the switch nets as inputs and some gate outputs as outputs.
    auto build = [&](Bench& b, int ins, int gates, const std::vector<ICDescriptionPtr>& nestedTypes) {
        std::vector<WirePtr> sources;
        for (int i = 0; i < ins; ++i) sources.push_back(b.switched());
        std::vector<TDevice*> devs;
        std::vector<WirePtr> driven;
        for (int i = 0; i < gates; ++i) devs.push_back(&b.add(kinds[pick(std::size(kinds))]));
        for (const auto& t : nestedTypes) devs.push_back(&placeIC(b, t));
        for (TDevice* dv : devs)
            for (size_t o = 0; o < dv->outputs.size(); ++o)
                if (pick(4) != 0) {
                    driven.push_back(b.net());
                    Bench::out(*dv, static_cast<int>(o), driven.back());
                    if (pick(5) == 0 && !readBeforeDriven(*dv, o)) dv->invertedOutputs[o] = 1;
                }
        std::vector<WirePtr> all = sources;
        all.insert(all.end(), driven.begin(), driven.end());
        // A nested IC never reads a net it drives itself: on the board it would see that net's
        // value from the step before, flattened it sees its own inner wire at once.
        for (TDevice* dv : devs)
            for (size_t i = 0; i < dv->inputs.size(); ++i) {
                WirePtr n = all[pick(all.size())];
                const bool nested = dynamic_cast<TLoadedDraft*>(dv->draft.get()) != nullptr;
                if (pick(6) == 0 || (nested && n->Input == dv)) continue;
                Bench::in(*dv, static_cast<int>(i), n);
                if (pick(4) == 0) dv->invertedInputs[i] = 1;
            }
        const int h = std::max<int>(ins, 2) + 1;
        b.form.Height = std::min(h, icMaxSize);
        b.form.width = 5;
        for (int i = 0; i < ins && i < icMaxSize - 1; ++i) b.assign(icSideLeft, i, 0, sources[i]);
        int placed = 0;
        for (const auto& n : driven)
            if (pick(2) == 0 && placed < 4) {
                b.assign(placed % 2 ? icSideBottom : icSideRight, placed / 2, 1, n);
                ++placed;
            }
        if (placed == 0 && !driven.empty()) b.assign(icSideRight, 0, 1, driven[0]);
    };

    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::vector<ICDescriptionPtr> innerTypes;
        for (int t = 0; t < 2; ++t) {
            Bench inner;
            build(inner, 2 + pick(3), 2 + pick(5), {});
            innerTypes.push_back(inner.generate());
            SCOPED_TRACE("inner IC");
            expectSameOutputs(inner, innerTypes.back(), 25, round * 10 + t);
        }
        std::vector<ICDescriptionPtr> use;
        for (int k = 0, n = 1 + pick(3); k < n; ++k) use.push_back(innerTypes[pick(2)]);
        Bench outer;
        build(outer, 2 + pick(3), 1 + pick(4), use);
        ICGenerateReport report;
        auto d = outer.generate(&report);
        EXPECT_TRUE(report.unmerged.empty());
        for (const auto& id : d->deviceID) EXPECT_EQ(id.rfind("$ic", 0), std::string::npos);
        SCOPED_TRACE("outer IC");
        SCOPED_TRACE("outer IC");
        expectSameOutputs(outer, d, 40, round);
        if (testing::Test::HasFatalFailure()) return;
    }
}

// --- saving ---

TEST(ICSave, FileNamesStayInsideTheFolderAndKeepTheName) {
    struct Case {
        const char* name;
        const char* file;
    } cases[] = {
        {"Adder", "Adder_$ic5.ic"},
        {"../../etc/passwd", ".._.._etc_passwd_$ic5.ic"},
        {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i_$ic5.ic"},
        {"tab\there\nnl", "tab_here_nl_$ic5.ic"},
        {"..", ".._$ic5.ic"},
        {"", "_$ic5.ic"},
        {"Zähler", "Zähler_$ic5.ic"},
    };
    for (const Case& c : cases) EXPECT_EQ(safeICFileName(c.name, "$ic5"), c.file) << c.name;

    // A very long name is cut to fit a file name, never inside a multi-byte character.
    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "ä";
    const std::string f = safeICFileName(longName, "$ic-123456");
    EXPECT_LE(f.size(), 255u);
    EXPECT_EQ(f.substr(f.size() - 14), "_$ic-123456.ic");
    const std::string stem = f.substr(0, f.size() - 14);
    EXPECT_EQ(stem.size() % 2, 0u);
    EXPECT_EQ(stem.substr(0, 2), "ä");
}

TEST(ICSave, SavingCreatesTheFolderWritesAReadableFileAndReportsFailure) {
    gw::test::TempDir tmp;
    const std::string dir = tmp.path() + "/ics";
    auto d = twoInverters();
    d->Name = "../outside/x";
    std::string path, error;
    ASSERT_EQ(saveICToFolder(*d, dir, &path, &error), 1) << error;
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(dir));
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/outside"));
    auto back = TICDescription::Create();
    ASSERT_EQ(back->readFromFile(path), 1);
    EXPECT_EQ(back->Name, "../outside/x");
    EXPECT_TRUE(back->sameContent(*d));

    // A plain file where the folder should be: the save fails with a reason.
    const std::string blocked = tmp.path() + "/blocked";
    std::ofstream(blocked) << "x";
    error.clear();
    EXPECT_EQ(saveICToFolder(*d, blocked, &path, &error), 0);
    EXPECT_FALSE(error.empty());
}

TEST(ICSave, EveryGeneratedICGetsAnIdOfItsOwn) {
    // Made within one millisecond, two ICs would share the counter's id; a registered type's id is
    // never handed out again either.
    Bench b;
    auto first = b.generate();
    auto second = b.generate();
    EXPECT_NE(first->id, second->id);
    auto taken = TICDescription::Create();
    claimUniqueICID(*taken);
    registerDraft(TLoadedDraft::Create(taken));
    auto again = TICDescription::Create();
    again->id = taken->id;
    claimUniqueICID(*again);
    EXPECT_NE(again->id, taken->id);
    EXPECT_EQ(again->id.rfind("$ic", 0), 0u);
}
