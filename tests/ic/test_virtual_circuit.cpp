// The inner circuit of an IC: evaluation order, separate state per placed device, and the
// behaviour of descriptions whose circuit cannot be built.
#include <gtest/gtest.h>

#include "ICKit.h"
#include "ic/ICDescription.h"
#include "support/Circuit.h"

using namespace gw;
using gwtest::DescBuilder;

namespace {

const char* kInv = "$logic2|1";
const char* kAnd2 = "$logic0|2";

// Two inverters in a chain from IC input 0 to IC output 0. With `forward` the first inverter of the
// signal path has the lower inner index.
ICDescriptionPtr inverterChain(bool forward) {
    DescBuilder b;
    const int first = forward ? 0 : 1, second = forward ? 1 : 0;
    b.dev(kInv);
    b.dev(kInv);
    const int in = b.wire({{0, 0, first}});
    b.wire({{1, 0, first}, {0, 0, second}});
    const int out = b.wire({{1, 0, second}});
    b.pinIn(in);
    b.pinOut(out);
    return b.d;
}

}  // namespace

TEST(VirtualCircuit, InputAndOutputPinSharingOneWirePassInTheSameUpdate) {
    DescBuilder b;
    const int w = b.wire({});
    b.pinIn(w);
    b.pinOut(w);
    b.pinOut(w);
    auto vd = b.d->generateVirtualDraft();
    ASSERT_TRUE(vd);
    EXPECT_EQ(vd->Update({1}), (std::vector<int>{1, 1}));
    EXPECT_EQ(vd->Update({0}), (std::vector<int>{0, 0}));
}

TEST(VirtualCircuit, InnerOrderDecidesWhenAChainSettles) {
    // Forward order settles within the update that changes the input; reversed order shows the
    // change one update later.
    for (bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "forward" : "reversed");
        auto vd = inverterChain(forward)->generateVirtualDraft();
        ASSERT_TRUE(vd);
        for (int i = 0; i < 3; ++i) vd->Update({0});
        EXPECT_EQ(vd->Update({0}), std::vector<int>{0});
        EXPECT_EQ(vd->Update({1}), std::vector<int>{forward ? 1 : 0});
        EXPECT_EQ(vd->Update({1}), std::vector<int>{1});
    }
}

TEST(VirtualCircuit, UnreachedInnerPinsReadZeroAndInversionApplies) {
    DescBuilder b;
    // AND with its second input inverted and unconnected: an unconnected pin reads 0 even when
    // inverted, so the gate stays 0 whatever the first input does.
    const int g = b.dev(kAnd2, {0, 1});
    // A second AND with an inverted output, both inputs on the IC input.
    const int h = b.dev(kAnd2, {}, {1});
    const int in = b.wire({{0, 0, g}, {0, 0, h}, {0, 1, h}});
    const int outG = b.wire({{1, 0, g}});
    const int outH = b.wire({{1, 0, h}});
    const int idle = b.wire({});
    b.pinIn(in);
    b.pinOut(outG);
    b.pinOut(outH);
    b.pinOut(idle);
    auto vd = b.d->generateVirtualDraft();
    ASSERT_TRUE(vd);
    EXPECT_EQ(vd->Update({1}), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(vd->Update({0}), (std::vector<int>{0, 1, 0}));
}

TEST(VirtualCircuit, TwoPlacedDevicesOfOneICKeepSeparateInnerState) {
    // A 2-bit counter inside: IC input 0 is "+", outputs are the two bits.
    DescBuilder b;
    const int c = b.dev("$counter2");
    const int plus = b.wire({{0, 0, c}});
    const int bit0 = b.wire({{1, 0, c}});
    const int bit1 = b.wire({{1, 1, c}});
    b.pinIn(plus);
    b.pinOut(bit0);
    b.pinOut(bit1);
    auto type = TLoadedDraft::Create(b.d);

    gwtest::Circuit circ;
    gwtest::registerBuiltinsOnce();
    auto sw = getDraft("$swich1");
    ASSERT_TRUE(sw);
    auto& a = circ.add(sw);
    auto& icA = circ.add(type);
    auto& icB = circ.add(type);
    auto& pulse = circ.net();
    auto& a0 = circ.net();
    auto& a1 = circ.net();
    auto& b0 = circ.net();
    gwtest::Circuit::out(a, 0, pulse);
    gwtest::Circuit::in(icA, 0, pulse);
    gwtest::Circuit::out(icA, 0, a0);
    gwtest::Circuit::out(icA, 1, a1);
    gwtest::Circuit::out(icB, 0, b0);

    // Three pulses into A; B sees nothing.
    for (int i = 0; i < 3; ++i) {
        a.data = 1;
        circ.step();
        a.data = 0;
        circ.step();
    }
    EXPECT_EQ(a0.State, 1);
    EXPECT_EQ(a1.State, 1);
    EXPECT_EQ(b0.State, 0);
    ASSERT_NE(icA.obj, nullptr);
    ASSERT_NE(icB.obj, nullptr);
    EXPECT_NE(icA.obj.get(), icB.obj.get());
}

TEST(VirtualCircuit, PlacedDeviceInversionWrapsTheInnerCircuit) {
    DescBuilder b;
    const int w = b.wire({});
    b.pinIn(w);
    b.pinOut(w);
    auto type = TLoadedDraft::Create(b.d);
    gwtest::registerBuiltinsOnce();
    gwtest::Circuit circ;
    auto& s = circ.add(getDraft("$swich1"));
    auto& ic = circ.add(type);
    auto& in = circ.net();
    auto& out = circ.net();
    gwtest::Circuit::out(s, 0, in);
    gwtest::Circuit::in(ic, 0, in);
    gwtest::Circuit::out(ic, 0, out);
    ic.invertedOutputs[0] = 1;
    s.data = 0;
    circ.step();
    EXPECT_EQ(out.State, 1);
    ic.invertedInputs[0] = 1;
    circ.step();
    EXPECT_EQ(out.State, 0);
}

TEST(VirtualCircuit, TypeTakesSizePinsAndTextsFromTheDescription) {
    DescBuilder b;
    const int w = b.wire({});
    b.pinIn(w);
    b.pinIn(w);
    b.pinOut(w);
    b.d->width = 3;
    b.d->Height = 5;
    b.d->cap = "MUX";
    b.d->colR = 10;
    auto t = TLoadedDraft::Create(b.d);
    EXPECT_EQ(t->countInputs(), 2);
    EXPECT_EQ(t->countOutputs(), 1);
    EXPECT_EQ(t->getInputXPos(0), 0);  // stored -1, odd width adds one
    EXPECT_EQ(t->getInputYPos(1), 2);  // stored 1, odd height adds one
    EXPECT_EQ(t->getInputCap(1), "i2");
    EXPECT_EQ(t->GetName(), "MUX");
    EXPECT_EQ(t->getID(), b.d->id);
    EXPECT_EQ(t->colR, 10);
    EXPECT_EQ(t->clickAble(), 0);
}

TEST(VirtualCircuit, FreshIdsAreICNumbers) {
    const std::string id = TICDescription::freshID();
    ASSERT_GT(id.size(), 3u);
    EXPECT_EQ(id.substr(0, 3), "$ic");
    EXPECT_NO_THROW((void)std::stoll(id.substr(3)));
    EXPECT_EQ(TICDescription().colR, 255);
}

// --- descriptions that cannot be built ---

namespace {

struct Broken {
    const char* name;
    void (*spoil)(TICDescription&);
    const char* mentions;  // a piece of the reason
};

// A working one-inverter IC; each case spoils one thing.
ICDescriptionPtr oneInverter() {
    DescBuilder b;
    const int g = b.dev(kInv);
    const int in = b.wire({{0, 0, g}});
    const int out = b.wire({{1, 0, g}});
    b.pinIn(in);
    b.pinOut(out);
    return b.d;
}

}  // namespace

TEST(VirtualCircuit, UnbuildableCircuitsGiveZerosAndAreReportedOncePerDescription) {
    gwtest::registerBuiltinsOnce();
    // An IC type registered for the nesting case.
    auto nested = oneInverter();
    nested->id = "$ic-nested-test";
    registerDraft(TLoadedDraft::Create(nested));

    const Broken cases[] = {
        {"unknown type", [](TICDescription& d) { d.deviceID[0] = "$nosuchtype"; }, "$nosuchtype"},
        {"nested IC", [](TICDescription& d) { d.deviceID[0] = "$ic-nested-test"; }, "itself an IC"},
        {"device index too big", [](TICDescription& d) { d.wireBelongs[0][0][2] = 1; }, "device 1"},
        {"negative device", [](TICDescription& d) { d.wireBelongs[0][0][2] = -1; }, "device -1"},
        {"input pin too big", [](TICDescription& d) { d.wireBelongs[0][0][1] = 1; }, "input 1"},
        {"output pin too big", [](TICDescription& d) { d.wireBelongs[1][0][1] = 1; }, "output 1"},
        {"input wire too big", [](TICDescription& d) { d.inputWires[0] = 2; }, "inner wire 2"},
        {"output wire negative", [](TICDescription& d) { d.outputWires[0] = -5; }, "inner wire -5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto dsc = oneInverter();
        c.spoil(*dsc);
        std::string why;
        EXPECT_EQ(dsc->generateVirtualDraft(&why), nullptr);
        EXPECT_NE(why.find(c.mentions), std::string::npos) << why;

        std::vector<std::string> reports;
        auto old = setICProblemHandler(
            [&](const TICDescription&, const std::string& r) { reports.push_back(r); });
        auto type = TLoadedDraft::Create(dsc);
        gwtest::Circuit circ;
        auto& ic1 = circ.add(type);
        auto& ic2 = circ.add(type);
        auto& o1 = circ.net();
        auto& o2 = circ.net();
        gwtest::Circuit::out(ic1, 0, o1);
        gwtest::Circuit::out(ic2, 0, o2);
        circ.step(3);
        // A working inverter with an open input would give 1.
        EXPECT_EQ(o1.State, 0);
        EXPECT_EQ(o2.State, 0);
        ic1.invertedOutputs[0] = 1;  // the placed device's own inversion still applies
        circ.step();
        EXPECT_EQ(o1.State, 1);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0], why);
        EXPECT_EQ(reportICProblem(*dsc), why);  // asking again reports nothing new
        EXPECT_EQ(reports.size(), 1u);
        setICProblemHandler(old);
    }
}

TEST(VirtualCircuit, MismatchedListsAreFittedInsteadOfReadOutOfRange) {
    gwtest::registerBuiltinsOnce();
    auto dsc = oneInverter();
    dsc->invertedInputs[0] = {1, 1, 1};  // three flags for one pin: the first counts
    dsc->invertedOutputs.clear();         // no flags: not inverted
    dsc->input_ypos.clear();              // a position list shorter than the pins
    dsc->output_xpos.push_back(1);        // a second output pin without inner wire
    auto type = TLoadedDraft::Create(dsc);
    ASSERT_EQ(type->countInputs(), 1);
    EXPECT_EQ(type->getInputYPos(0), 0);
    ASSERT_EQ(type->countOutputs(), 2);
    EXPECT_EQ(dsc->circuitProblem(), "");

    gwtest::Circuit circ;
    auto& ic = circ.add(type);
    auto& o0 = circ.net();
    auto& o1 = circ.net();
    gwtest::Circuit::out(ic, 0, o0);
    gwtest::Circuit::out(ic, 1, o1);
    circ.step();
    // Input open -> inner wire 0 -> inverted input reads 1 -> inverter gives 0.
    EXPECT_EQ(o0.State, 0);
    EXPECT_EQ(o1.State, 0);
}

TEST(VirtualCircuit, ExtremeSizesAndPinOffsetsAreClampedForTheType) {
    auto dsc = oneInverter();
    dsc->width = INT32_MAX;
    dsc->Height = -7;
    dsc->input_xpos = {INT32_MAX};
    dsc->output_ypos = {INT32_MIN};
    auto t = TLoadedDraft::Create(dsc);
    EXPECT_EQ(t->width, kMaxICExtent);
    EXPECT_EQ(t->Height, 0);
    EXPECT_EQ(t->getInputXPos(0), kMaxICExtent);  // even width: no correction
    EXPECT_EQ(t->getOutputYPos(0), -kMaxICExtent);
    EXPECT_EQ(dsc->width, INT32_MAX);  // the description keeps its own values
}

TEST(VirtualCircuit, RegisteringKeepsTheFirstTypeOfAnId) {
    gwtest::registerBuiltinsOnce();
    auto a = oneInverter();
    auto b = oneInverter();
    a->id = b->id = "$ic-register-test";
    auto ta = registerICDescription(a);
    ASSERT_TRUE(ta);
    EXPECT_EQ(registerICDescription(b), nullptr);
    EXPECT_EQ(getDraft("$ic-register-test"), ta);
}
