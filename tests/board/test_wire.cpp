// Wire editing: splitting at grid points, the refusal rules, joining pins at the ends only, the
// Control polyline, merging where nets meet, and rebuilding nets after cuts.
#include <gtest/gtest.h>

#include "BoardFixture.h"

using namespace gw;
using namespace gwtest;

namespace {
constexpr int Green = TBoardEngine::colorGreen, Red = TBoardEngine::colorRed,
              Black = TBoardEngine::colorBlack, Blue = TBoardEngine::colorBlue;
}

TEST(WireSplit, EveryGridPointPassedBecomesASegmentEnd) {
    struct Case {
        int x1, y1, x2, y2;
        std::vector<Seg> want;
    } cases[] = {
        {0, 0, 3, 0, {{{0, 0}, {1, 0}}, {{1, 0}, {2, 0}}, {{2, 0}, {3, 0}}}},
        {0, 0, 2, 2, {{{0, 0}, {1, 1}}, {{1, 1}, {2, 2}}}},
        {0, 0, 2, 1, {{{0, 0}, {2, 1}}}},
        {0, 0, 4, 2, {{{0, 0}, {2, 1}}, {{2, 1}, {4, 2}}}},
        {0, 0, -3, -3, {{{0, 0}, {-1, -1}}, {{-1, -1}, {-2, -2}}, {{-2, -2}, {-3, -3}}}},
        {0, 0, 0, -2, {{{0, 0}, {0, -1}}, {{0, -1}, {0, -2}}}},
        {2, 1, -1, 1, {{{2, 1}, {1, 1}}, {{1, 1}, {0, 1}}, {{0, 1}, {-1, 1}}}},
        {0, 0, 3, -6, {{{0, 0}, {1, -2}}, {{1, -2}, {2, -4}}, {{2, -4}, {3, -6}}}},
        {0, 0, -6, 4, {{{0, 0}, {-3, 2}}, {{-3, 2}, {-6, 4}}}},
        {-5, -5, 1, -1, {{{-5, -5}, {-2, -3}}, {{-2, -3}, {1, -1}}}},
    };
    for (const Case& c : cases) {
        Board b;
        b.wire(c.x1, c.y1, c.x2, c.y2);
        ASSERT_EQ(b->wireComplexList.size(), 1u);
        EXPECT_EQ(segments(*b->wireComplexList[0]), c.want)
            << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2;
        EXPECT_EQ(b->isChanged(), 1);
        EXPECT_EQ(b.problems(), "");
    }
}

TEST(WireMode, StartEndAndDrop) {
    Board b;
    b->startWireMode();
    EXPECT_EQ(b->currentMode, TBoardEngine::modeWire);
    b.frame(0, 0, 0);
    EXPECT_EQ(b.markAt(0, 0), Black);
    b.press(0, 0);
    EXPECT_EQ(b->modeWire_state, 1);
    b.frame(0, 0, 0);
    EXPECT_EQ(b.markAt(0, 0), Red) << "the start point itself is not buildable";
    b.press(0, 0);
    EXPECT_EQ(b->modeWire_state, 0) << "pressing the start point again drops the wire";
    EXPECT_TRUE(b->wireComplexList.empty());
    EXPECT_EQ(b->isChanged(), 0);

    // Ending on the wire's own net is refused; drawing a segment twice keeps one.
    b.wire(0, 0, 2, 0);
    b.press(0, 0);
    b.frame(2, 0, 0);
    EXPECT_EQ(b.markAt(2, 0), Red);
    b.press(2, 0);
    EXPECT_EQ(b->modeWire_state, 0);
    b.press(3, 0);
    b.press(1, 0);  // (3,0)-(2,0)-(1,0): (2,0)-(1,0) exists already, the net at (1,0) is the end
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(b->wireComplexList[0]->lineList.size(), 3u);
    EXPECT_EQ(b.problems(), "");

    // Inside a device body: no mark, and a press starts nothing.
    b->addDevice(draft(4, 4), 10, 10);
    b.press(10, 10);
    EXPECT_EQ(b.markAt(10, 10), -1);
    EXPECT_EQ(b->modeWire_state, 0);
    // Leaving and re-entering wire mode always starts idle.
    b.press(20, 20);
    b->startWireMode();
    EXPECT_EQ(b->modeWire_state, 0);
}

TEST(WireMode, PinsAndDriversAtTheEnds) {
    // Source output at (0, 0); sink input at (6, 0); a second source output at (0, 4).
    Board b;
    auto src = b->addDevice(source(), -1, 0);
    auto snk = b->addDevice(sink(), 7, 0);
    auto src2 = b->addDevice(source(), -1, 4);
    b->startWireMode();
    b.frame(0, 0, 0);
    EXPECT_EQ(b.markAt(0, 0), Green) << "a pin is a place to connect";

    // Output pin to input pin over empty ground: a new net with that driver and reader.
    b.press(0, 0);
    b.press(6, 0);
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    auto net = b->wireComplexList[0];
    EXPECT_EQ(net->Input, src.get());
    EXPECT_EQ(net->outputList, std::vector<TDevice*>{snk.get()});
    EXPECT_EQ(src->outputs[0], net.get());
    EXPECT_EQ(snk->inputs[0], net.get());

    // The driven net to a free output pin is refused.
    b.press(3, 0);
    b.frame(0, 4, 0);
    EXPECT_EQ(b.markAt(0, 4), Red);
    b.press(0, 4);
    EXPECT_EQ(src2->outputs[0], nullptr);
    EXPECT_EQ(b->wireComplexList.size(), 1u);

    // A free output pin to the driven net is refused; one output pin to another over empty ground
    // too.
    b.press(0, 4);
    b.frame(3, 0, 0);
    EXPECT_EQ(b.markAt(3, 0), Red);
    b.press(3, 0);
    EXPECT_EQ(b->modeWire_state, 0);
    auto src3 = b->addDevice(source(), -1, 8);
    b.press(0, 4);
    b.frame(0, 8, 0);
    EXPECT_EQ(b.markAt(0, 8), Red);
    b.press(0, 8);
    EXPECT_EQ(src3->outputs[0], nullptr);

    // A free output pin to an undriven net gives it the driver.
    b.wire(2, 6, 6, 6);
    auto loose = b->wireComplexList.back();
    b.press(0, 4);
    b.frame(2, 6, 0);
    EXPECT_EQ(b.markAt(2, 6), Green);
    b.press(2, 6);
    EXPECT_EQ(loose->Input, src2.get());
    EXPECT_EQ(src2->outputs[0], loose.get());
    EXPECT_EQ(b.problems(), "");
}

TEST(WireMode, RefusalRulesOfTheSecondPress) {
    // Every row: where the wire starts and ends, and whether it may be built. Points: D = on a
    // driven net, U = on an undriven net, O = free output pin, I = free input pin, E = empty.
    // The layout: driven net through (0,10)..(3,10) (driver at (0,10)); undriven net (0,20)..(3,20);
    // free output pins at (10,0) and (20,0); free input pin at (30,0); empty ground elsewhere.
    struct Case {
        const char* what;
        std::pair<int, int> from, to;
        bool ok;
    } cases[] = {
        {"a: driven to driven", {2, 10}, {2, 14}, false},
        {"b: own net", {1, 10}, {3, 10}, false},
        {"c: output to driven net", {10, 0}, {2, 10}, false},
        {"d: driven net to output", {2, 10}, {10, 0}, false},
        {"e: output to output", {10, 0}, {20, 0}, false},
        {"driven to undriven", {2, 10}, {2, 20}, true},
        {"undriven to driven", {2, 20}, {2, 10}, true},
        {"output to undriven net", {10, 0}, {2, 20}, true},
        {"undriven net to output", {2, 20}, {10, 0}, true},
        {"output to input", {10, 0}, {30, 0}, true},
        {"empty to output", {40, 0}, {10, 0}, true},
        {"output to empty", {10, 0}, {40, 0}, true},
        {"driven to empty", {2, 10}, {40, 0}, true},
        {"empty to empty", {40, 0}, {40, 5}, true},
    };
    for (const Case& c : cases) {
        Board b;
        b->addDevice(source(), -1, 10);
        b.wire(0, 10, 3, 10);
        b.wire(2, 14, 3, 14);
        b->addDevice(source(), -1, 14);  // output (0,14), not yet on the net
        b.wire(0, 14, 2, 14);            // joins it: a second driven net
        b.wire(0, 20, 3, 20);
        b->addDevice(source(), 9, 0);
        b->addDevice(source(), 19, 0);
        b->addDevice(sink(), 31, 0);
        ASSERT_EQ(b.problems(), "") << c.what;
        const size_t nets = b->wireComplexList.size();
        b.press(c.from.first, c.from.second);
        ASSERT_EQ(b->modeWire_state, 1) << c.what;
        b.frame(c.to.first, c.to.second, 0);
        EXPECT_EQ(b->modeWire_buildable, c.ok ? 1 : 0) << c.what;
        EXPECT_EQ(b.markAt(c.to.first, c.to.second) == Red, !c.ok) << c.what;
        b.press(c.to.first, c.to.second);
        EXPECT_EQ(b->modeWire_state, 0) << c.what;
        if (!c.ok) {
            EXPECT_EQ(b->wireComplexList.size(), nets) << c.what;
        }
        EXPECT_EQ(b.problems(), "") << c.what;
    }
}

TEST(WireMode, UnconnectedOutputPinOnAnUndrivenNetCannotGainASecondDriver) {
    // The corner the refusal rules miss: a free output pin on which an undriven net ends, joined
    // to a driven net. Committing would leave the joined net with two driving devices.
    Board b;
    b.wire(0, 0, 3, 0);                          // undriven net, ends at (0,0)
    auto pin = b->addDevice(draft(2, 2, {}, {{1, 0}}), -1, 5);
    // Move the unconnected device so its output lands on the net end, as move mode allows.
    pin->yPos = 0;
    b->invalidateIndex();
    ASSERT_EQ(pin->outputs[0], nullptr);
    b->addDevice(source(), -1, 10);
    b.wire(0, 10, 5, 10);                        // a driven net
    b.press(5, 10);
    b.frame(0, 0, 0);
    EXPECT_EQ(b.markAt(0, 0), Red) << "joining would give the net two drivers";
    b.press(0, 0);
    EXPECT_EQ(b.problems(), "");
    // From the other side as well.
    b.press(0, 0);
    b.frame(5, 10, 0);
    EXPECT_EQ(b->modeWire_buildable, 0);
    b.press(5, 10);
    EXPECT_EQ(b.problems(), "");
    EXPECT_EQ(pin->outputs[0], nullptr);
}

TEST(WireMode, OnlyTheEndsConnect) {
    Board b;
    b.wire(2, -2, 2, 2);              // vertical net through (2, 0)
    auto snk = b->addDevice(sink(), 5, 4);  // input pin at (4, 4)
    b.wire(0, 0, 4, 0);               // crosses the vertical net at (2, 0)
    EXPECT_EQ(b->wireComplexList.size(), 2u) << "a crossing does not join";
    b.wire(4, 2, 4, 6);               // runs through the input pin at (4, 4)
    EXPECT_EQ(snk->inputs[0], nullptr);
    b.wire(0, 4, 4, 4);               // ends on the pin, where the other net also passes
    EXPECT_EQ(b.problems(), "");
    // The wire ends on a point with a net end: it joins that net, and the pin with it.
    EXPECT_EQ(snk->inputs[0], b->getWiresAt(4, 4).at(0).get());
}

TEST(WireMode, ControlKeepsDrawingFromTheEndPoint) {
    Board b;
    b->startWireMode();
    b.press(0, 0);
    b.press(2, 0, 1);
    EXPECT_EQ(b->modeWire_state, 1);
    EXPECT_EQ(b->modeWire_sx, 2);
    EXPECT_EQ(b->modeWire_wire, b->wireComplexList.at(0));
    b.press(2, 2, 1);
    b.press(0, 2);
    EXPECT_EQ(b->modeWire_state, 0);
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(b->wireComplexList[0]->lineList.size(), 6u);
    EXPECT_EQ(b.problems(), "");
}

TEST(WireMerge, PressWhereNetsMeet) {
    Board b;
    b.wire(0, 0, 2, 0);                       // net 0, undriven
    auto src = b->addDevice(source(), -1, 3);
    b.wire(0, 3, 0, -2);                      // net 1, driven, passes (0,0) without joining
    ASSERT_EQ(b->wireComplexList.size(), 2u);
    auto first = b->wireComplexList[0], second = b->wireComplexList[1];
    auto snk = b->addDevice(sink(), 3, 0);    // reads net 0 at (2,0)
    ASSERT_EQ(snk->inputs[0], first.get());
    b->setChanged(0);
    b.frame(0, 0, 0);
    EXPECT_EQ(b.markAt(0, 0), Blue);
    b.press(0, 0);
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(b->wireComplexList[0], first) << "merged into the net listed first";
    EXPECT_EQ(first->lineList.size(), 7u);
    EXPECT_EQ(first->Input, src.get());
    EXPECT_EQ(src->outputs[0], first.get());
    EXPECT_EQ(first->outputList, std::vector<TDevice*>{snk.get()});
    EXPECT_EQ(second->notValid, 1);
    EXPECT_EQ(b->isChanged(), 1);
    EXPECT_EQ(b->modeWire_state, 0);
    EXPECT_EQ(b.problems(), "");

    // Two driven nets meeting: red, and a press does nothing.
    Board c;
    c->addDevice(source(), -1, 0);
    c.wire(0, 0, 2, 0);
    c->addDevice(source(), 0, 3);   // output at (1, 3)
    c.wire(1, 3, 1, -1);            // crosses the first net at (1, 0)
    ASSERT_EQ(c->getWiresAt(1, 0).size(), 2u);
    c->setChanged(0);
    c.frame(1, 0, 0);
    EXPECT_EQ(c.markAt(1, 0), Red);
    c.press(1, 0);
    EXPECT_EQ(c->wireComplexList.size(), 2u);
    EXPECT_EQ(c->modeWire_state, 0);
    EXPECT_EQ(c->isChanged(), 0);
    EXPECT_EQ(c.problems(), "");

    // Three nets at one point with one driver among them: all join the first.
    Board t;
    t.wire(-2, 0, 2, 0);
    t.wire(0, -2, 0, 2);
    t->addDevice(source(), -3, -2);   // output (-2, -2)
    t.wire(-2, -2, 2, 2);
    ASSERT_EQ(t->getWiresAt(0, 0).size(), 3u);
    auto keep = t->wireComplexList[0];
    t.press(0, 0);
    ASSERT_EQ(t->wireComplexList.size(), 1u);
    EXPECT_EQ(t->wireComplexList[0], keep);
    EXPECT_NE(keep->Input, nullptr);
    EXPECT_EQ(t.problems(), "");
}

TEST(WireRepair, CuttingTheMiddleSegment) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);  // output (0,0)
    auto snk = b->addDevice(sink(), 4, 0);     // input (3,0)
    b.wire(0, 0, 3, 0);
    auto w = b->wireComplexList.at(0);
    w->State = 1;
    w->lineList.erase(w->lineList.begin() + 1);  // take out (1,0)-(2,0)
    b->_repairWireAfterSplit(w.get());
    EXPECT_EQ(w->notValid, 1);
    ASSERT_EQ(b->wireComplexList.size(), 2u);
    auto left = b->wireComplexList[0], right = b->wireComplexList[1];
    EXPECT_EQ(segments(*left), (std::vector<Seg>{{{0, 0}, {1, 0}}}));
    EXPECT_EQ(segments(*right), (std::vector<Seg>{{{2, 0}, {3, 0}}}));
    EXPECT_EQ(left->Input, src.get());
    EXPECT_EQ(src->outputs[0], left.get());
    EXPECT_TRUE(left->outputList.empty());
    EXPECT_EQ(right->Input, nullptr);
    EXPECT_EQ(right->outputList, std::vector<TDevice*>{snk.get()});
    EXPECT_EQ(right->State, 0);
    EXPECT_EQ(b.problems(), "");
}

TEST(WireRepair, CuttingBothSegmentsAtAPoint) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);
    auto snk = b->addDevice(sink(), 4, 0);
    b.wire(0, 0, 3, 0);
    auto w = b->wireComplexList.at(0);
    erase_if(w->lineList, [](const TLine& l) {
        return (l.sx == 1 && l.sy == 0) || (l.ex == 1 && l.ey == 0);
    });
    b->_repairWireAfterSplit(w.get());
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(segments(*b->wireComplexList[0]), (std::vector<Seg>{{{2, 0}, {3, 0}}}));
    EXPECT_EQ(src->outputs[0], nullptr);
    EXPECT_EQ(snk->inputs[0], b->wireComplexList[0].get());
    EXPECT_EQ(b.problems(), "");
}

TEST(WireRepair, GroupsFollowTheSpecifiedPassOrder) {
    // Segments listed out of order: groups form in passes, new nets in the order they are seeded,
    // and an intact net is still replaced by a fresh one.
    Board b;
    b.wire(0, 0, 1, 0);
    auto w = b->wireComplexList.at(0);
    w->lineList = {{5, 5, 6, 5}, {0, 0, 1, 0}, {2, 0, 3, 0}, {6, 5, 7, 5}, {1, 0, 2, 0}, {9, 9, 8, 9}};
    b->_repairWireAfterSplit(w.get());
    ASSERT_EQ(b->wireComplexList.size(), 3u);
    EXPECT_EQ(segments(*b->wireComplexList[0]), (std::vector<Seg>{{{5, 5}, {6, 5}}, {{6, 5}, {7, 5}}}));
    EXPECT_EQ(segments(*b->wireComplexList[1]),
              (std::vector<Seg>{{{0, 0}, {1, 0}}, {{1, 0}, {2, 0}}, {{2, 0}, {3, 0}}}));
    EXPECT_EQ(segments(*b->wireComplexList[2]), (std::vector<Seg>{{{9, 9}, {8, 9}}}));

    Board c;
    c.wire(0, 0, 2, 0);
    auto old = c->wireComplexList.at(0);
    c->_repairWireAfterSplit(old.get());
    ASSERT_EQ(c->wireComplexList.size(), 1u);
    EXPECT_NE(c->wireComplexList[0], old);
    EXPECT_EQ(old->notValid, 1);
    // A net with no segments left disappears, its pins cleared.
    auto snk = c->addDevice(sink(), 3, 0);
    auto net = c->wireComplexList[0];
    ASSERT_EQ(snk->inputs[0], net.get());
    net->lineList.clear();
    c->_repairWireAfterSplit(net.get());
    EXPECT_TRUE(c->wireComplexList.empty());
    EXPECT_EQ(snk->inputs[0], nullptr);
    EXPECT_EQ(c.problems(), "");
}

TEST(WireRemove, NetLeavesEveryDevice) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);
    auto snk = b->addDevice(sink(), 4, 0);
    b.wire(0, 0, 3, 0);
    auto w = b->wireComplexList.at(0);
    b->_removeWire(w.get());
    EXPECT_TRUE(b->wireComplexList.empty());
    EXPECT_EQ(w->notValid, 1);
    EXPECT_EQ(w->Input, nullptr);
    EXPECT_EQ(src->outputs[0], nullptr);
    EXPECT_EQ(snk->inputs[0], nullptr);
    b->_removeWire(w.get());  // a second time is harmless
    EXPECT_EQ(b.problems(), "");
}
