// The editing modes as a user drives them through Update: what each press, hold and release does,
// which marks a frame leaves, and that refused actions change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "BoardFixture.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"

using namespace gw;
using namespace gwtest;

namespace {

// Records the mouse callbacks each device receives.
class SpyDraft : public PinDraft {
public:
    mutable std::map<const TDevice*, std::string> log;
    SpyDraft() : PinDraft(2, 2, {}, {}) {}
    void mouseOverFunc(TDevice& d) const override { log[&d] += "o"; }
    void onClickFunc(TDevice& d) const override { log[&d] += "c"; }
    void whileClickFunc(TDevice& d) const override { log[&d] += "w"; }
    void noClickFunc(TDevice& d) const override { log[&d] += "n"; }
    bool actsWhenNotClicked() const override { return true; }
};

// An Update with the mouse over the middle of grid point (x, y).
void at(Board& b, int x, int y, int mh, int md, int ctrl = 0) { b->Update(20 * x, 20 * y, mh, md, ctrl); }

// A net made of unit segments along the given points, put on the board directly.
WirePtr net(Board& b, std::vector<std::pair<int, int>> pts) {
    auto w = makePooled<TWireComplex>();
    for (size_t i = 1; i < pts.size(); ++i) w->addWire(pts[i - 1].first, pts[i - 1].second, pts[i].first, pts[i].second);
    b->wireComplexList.push_back(w);
    b->invalidateIndex();
    return w;
}

int markAt(const TBoardEngine& b, int x, int y) {
    int c = -1;
    for (size_t i = 0; i < b.mark_x.size(); ++i)
        if (b.mark_x[i] == x && b.mark_y[i] == y) c = b.mark_color[i];
    return c;
}

void clearMarks(Board& b) {
    b->mark_x.clear();
    b->mark_y.clear();
    b->mark_color.clear();
}

}  // namespace

TEST(ModeStart, EachStartSetsItsModeAndKeepsOtherState) {
    Board b;
    auto d = draft(2, 2);
    b->modeMove_tx = 7;
    b->modeCaption_tx = 5;
    b->startDeviceMode(d);
    EXPECT_EQ(b->currentMode, TBoardEngine::modeDevice);
    EXPECT_EQ(b->modeDevice_Draft, d);
    int ctx = 0;
    b->startICMode(1, [](int, const WirePtr&, void*) { return 1; }, &ctx);
    EXPECT_EQ(b->currentMode, TBoardEngine::modeIC);
    EXPECT_EQ(b->modeIC_typeOutput, 1);
    EXPECT_EQ(b->modeIC_game, &ctx);
    EXPECT_TRUE(b->modeIC_gameFunc);
    const std::pair<void (TBoardEngine::*)(), int> starts[] = {
        {&TBoardEngine::startCaptionMode, TBoardEngine::modeCaption},
        {&TBoardEngine::startInvertMode, TBoardEngine::modeInvert},
        {&TBoardEngine::startRemoveMode, TBoardEngine::modeRemove},
        {&TBoardEngine::startMoveMode, TBoardEngine::modeMove},
        {&TBoardEngine::startDefaultMode, TBoardEngine::modeDefault},
    };
    for (auto [start, mode] : starts) {
        ((*b).*start)();
        EXPECT_EQ(b->currentMode, mode);
    }
    EXPECT_EQ(b->modeDevice_Draft, d);
    EXPECT_EQ(b->modeMove_tx, 7);
    EXPECT_EQ(b->modeCaption_tx, 5);
    EXPECT_EQ(b->modeIC_typeOutput, 1);
}

TEST(ModeUpdate, StoresInputFindsGridPointAndStepsOnce) {
    Board b;
    auto inv = b->addDevice(draft(2, 2, {{-1, 0}}, {{1, 0}}), 0, 0);
    // The step runs in every mode, also in a mode number no one knows.
    for (int mode : {0, 4, 99}) {
        b->currentMode = mode;
        b->Update(-31, 29, 1, 1, 1);
        EXPECT_EQ(b->mx, -31);
        EXPECT_EQ(b->my, 29);
        EXPECT_EQ(b->tx, -2);
        EXPECT_EQ(b->ty, 1);
        EXPECT_EQ(b->mh + b->md + b->ctrl, 3);
    }
    // A step: the buffer copies its unwired input (0) into an inverted output, which reads 1.
    auto out = net(b, {{1, 0}, {2, 0}});
    inv->outputs[0] = out.get();
    out->Input = inv.get();
    inv->invertedOutputs[0] = 1;
    b->currentMode = 0;
    at(b, 10, 10, 0, 0);
    EXPECT_EQ(out->State, 1);
}

TEST(DefaultMode, ControlPressPicksTypeAndSkipsOtherDevices) {
    Board b;
    auto spy = std::make_shared<SpyDraft>();
    auto a = b->addDevice(spy, 0, 0);
    auto other = b->addDevice(spy, 5, 0);
    b->setChanged(0);
    b.flips = 0;
    at(b, 0, 0, 1, 1, 1);
    EXPECT_EQ(b->currentMode, TBoardEngine::modeDevice);
    EXPECT_EQ(b->modeDevice_Draft, spy);
    EXPECT_EQ(spy->log[a.get()], "o");  // hovered, not clicked
    EXPECT_EQ(spy->log[other.get()], "");
    EXPECT_EQ(b.flips, 0);

    // Without Control: click, then held; the device elsewhere gets noClick every frame.
    spy->log.clear();
    b->startDefaultMode();
    at(b, 0, 0, 1, 1);
    at(b, 0, 0, 0, 1);
    at(b, 0, 0, 0, 0);
    at(b, 9, 9, 0, 0);  // over nothing: everyone gets noClick
    EXPECT_EQ(spy->log[a.get()], "ocwowonn");
    EXPECT_EQ(spy->log[other.get()], "nnnn");
    EXPECT_EQ(b.flips, 0) << "a type that is not clickable leaves the board unchanged";
}

TEST(DefaultMode, PushButtonAndToggleSwitch) {
    Board b;
    auto push = b->addDevice(TSwich::Create(0), 0, 0);
    auto toggle = b->addDevice(TSwich::Create(1), 6, 0);
    auto n = net(b, {{1, 0}, {2, 0}});
    push->outputs[0] = n.get();
    n->Input = push.get();
    b->setChanged(0);
    b.flips = 0;

    at(b, 0, 0, 1, 1);  // press: onClick and whileClick in the same frame, the step drives 1
    EXPECT_EQ(push->data, 1);
    EXPECT_EQ(n->State, 1);
    EXPECT_EQ(b.flips, 1) << "a click on a clickable type marks the board changed";
    at(b, 0, 0, 0, 1);
    EXPECT_EQ(n->State, 1);
    at(b, 0, 0, 0, 0);  // release
    EXPECT_EQ(push->data, 0);
    EXPECT_EQ(n->State, 0);
    at(b, 0, 0, 1, 1);
    at(b, 9, 9, 0, 1);  // held, but the mouse left the button
    EXPECT_EQ(push->data, 0);

    // The toggle changes once per press however long it is held.
    const int holds[] = {1, 0, 0, 1, 0};  // mh per frame, button held throughout
    int data[5];
    for (int i = 0; i < 5; ++i) {
        at(b, 6, 0, holds[i], 1);
        data[i] = toggle->data;
    }
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[2], 1);
    EXPECT_EQ(data[3], 0);
    EXPECT_EQ(data[4], 0);
}

// Releasing is done for the push buttons the board holds now: one placed, read from outside or
// removed since the last frame is released (or left alone) like any other.
TEST(DefaultMode, ReleaseFollowsPlacedAndRemovedPushButtons) {
    Board b;
    auto first = b->addDevice(TSwich::Create(0), 0, 0);
    at(b, 9, 9, 0, 0);
    first->data = 1;
    auto later = b->addDevice(TSwich::Create(0), 6, 0);
    later->data = 1;
    at(b, 9, 9, 0, 0);
    EXPECT_EQ(first->data, 0);
    EXPECT_EQ(later->data, 0) << "a push button placed after the last frame is released too";

    // Appended straight to the list, as a file reader does, without telling the board.
    auto outside = makePooled<TDevice>(TSwich::Create(0), 12, 0);
    outside->data = 1;
    b->deviceList.push_back(outside);
    at(b, 9, 9, 0, 0);
    EXPECT_EQ(outside->data, 0);

    // A removed button is no longer visited (the sanitizer build would report a stale one).
    b->_removeDevice(first.get());
    first.reset();
    at(b, 0, 0, 0, 0);
    later->data = 1;
    at(b, 6, 0, 0, 1);  // held on `later`: it stays pressed, the others are released
    EXPECT_EQ(later->data, 1);
    at(b, 9, 9, 0, 0);
    EXPECT_EQ(later->data, 0);
}

// Pin marks: inputs green on a joinable net, outputs blue on an undriven one, yellow over empty
// ground, red where nets meet or an output would be a second driver.
TEST(DeviceMode, PinMarksInAllFourColoursAndPlacement) {
    Board b;
    // Type with inputs at (-2,-1), (-2,0), (-2,1) and outputs at (2,-1), (2,0), (2,1); 4 x 4 body.
    auto t = draft(4, 4, {{-2, -1}, {-2, 0}, {-2, 1}}, {{2, -1}, {2, 0}, {2, 1}});
    const int X = 10, Y = 10;
    net(b, {{X - 3, Y - 1}, {X - 2, Y - 1}});                       // input 0: one net
    net(b, {{X - 3, Y + 1}, {X - 2, Y + 1}});                       // input 2: two nets meet
    net(b, {{X - 2, Y + 1}, {X - 2, Y + 2}});
    net(b, {{X + 2, Y - 1}, {X + 3, Y - 1}});                       // output 0: undriven net
    auto driven = net(b, {{X + 2, Y + 1}, {X + 3, Y + 1}, {X + 4, Y + 1}});  // output 2: driven
    auto src = b->addDevice(source(), X + 3, Y + 1);  // its output at (X + 4, Y + 1) drives it
    ASSERT_EQ(src->outputs[0], driven.get());

    b->startDeviceMode(t);
    at(b, X, Y, 0, 0);
    EXPECT_EQ(b->modeDevice_buildable, 1);
    EXPECT_EQ(markAt(*b, X - 2, Y - 1), TBoardEngine::colorGreen);
    EXPECT_EQ(markAt(*b, X - 2, Y), TBoardEngine::colorYellow);
    EXPECT_EQ(markAt(*b, X - 2, Y + 1), TBoardEngine::colorRed);
    EXPECT_EQ(markAt(*b, X + 2, Y - 1), TBoardEngine::colorBlue);
    EXPECT_EQ(markAt(*b, X + 2, Y), TBoardEngine::colorYellow);
    EXPECT_EQ(markAt(*b, X + 2, Y + 1), TBoardEngine::colorRed);

    const size_t before = b->deviceList.size();
    at(b, X, Y, 1, 1);
    ASSERT_EQ(b->deviceList.size(), before + 1);
    auto placed = b->deviceList.back();
    EXPECT_EQ(placed->xPos, X);
    EXPECT_NE(placed->inputs[0], nullptr);
    EXPECT_NE(placed->outputs[0], nullptr);
    EXPECT_EQ(placed->outputs[2], nullptr);
    EXPECT_EQ(b->currentMode, TBoardEngine::modeDevice) << "the mode stays for the next one";
    EXPECT_EQ(b.problems(), "");
}

TEST(DeviceMode, RedPressPlacesNothingControlPicksTheTypeUnderTheMouse) {
    Board b;
    auto there = draft(2, 2);
    auto mine = draft(2, 2);
    b->addDevice(there, 0, 0);
    b->startDeviceMode(mine);
    at(b, 0, 0, 1, 1);  // overlaps: refused, no Control
    EXPECT_EQ(b->modeDevice_buildable, 0);
    EXPECT_EQ(b->deviceList.size(), 1u);
    EXPECT_EQ(b->modeDevice_Draft, mine);
    at(b, 0, 0, 1, 1, 1);
    EXPECT_EQ(b->deviceList.size(), 1u);
    EXPECT_EQ(b->modeDevice_Draft, there);
    // With no type chosen the mode does nothing at all.
    b->startDeviceMode(nullptr);
    clearMarks(b);
    at(b, 5, 5, 1, 1);
    EXPECT_EQ(b->deviceList.size(), 1u);
    EXPECT_TRUE(b->mark_x.empty());
}

TEST(CaptionMode, CreateOpenAndDragKeepingTheGrabOffset) {
    std::vector<CaptionPtr> opened;
    Board b;
    b->modeCaption_gameFunc = [](const CaptionPtr& c, void* ctx) {
        static_cast<std::vector<CaptionPtr>*>(ctx)->push_back(c);
        return 1;
    };
    b->modeCaption_game = &opened;
    b->startCaptionMode();
    at(b, 3, 4, 0, 0);
    EXPECT_EQ(markAt(*b, 3, 4), TBoardEngine::colorGreen);
    at(b, 3, 4, 1, 1);
    ASSERT_EQ(b->captionList.size(), 1u);
    CaptionPtr c = b->captionList[0];
    EXPECT_EQ(c->txt, "Unnamed");
    EXPECT_EQ(c->xPos, 3);
    EXPECT_EQ(c->yPos, 4);
    EXPECT_EQ(c->Size, 1);
    EXPECT_EQ(c->bShadow, 1);
    EXPECT_EQ(c->colR + c->colG + c->colB, 0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], c);
    EXPECT_EQ(b.flips, 1);
    at(b, 3, 4, 0, 0);

    // As drawn it covers cells (3..6, 4..5); grab it at (5, 5), two cells right and one down.
    c->width = 3;
    c->Height = 1;
    clearMarks(b);
    at(b, 5, 5, 0, 0);
    EXPECT_EQ(b->modeCaption_cap, c);
    EXPECT_EQ(markAt(*b, 5, 5), -1);
    at(b, 5, 5, 1, 1);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(b->captionList.size(), 1u);
    at(b, 9, 1, 0, 1);
    EXPECT_EQ(c->xPos, 7);
    EXPECT_EQ(c->yPos, 0);
    at(b, -4, -6, 0, 1);
    EXPECT_EQ(c->xPos, -6);
    EXPECT_EQ(c->yPos, -7);
    at(b, -4, -6, 0, 0);  // released
    EXPECT_EQ(b->modeCaption_onMove, nullptr);
    at(b, 20, 20, 0, 1);  // held again without a press: nothing moves
    EXPECT_EQ(c->xPos, -6);
}

TEST(InvertMode, InputWinsOverOutputAtOnePointAndPinsToggle) {
    Board b;
    // Input and output share the point (-1, 0); a second output sits at (1, 0), unwired.
    auto d = b->addDevice(draft(2, 2, {{-1, 0}}, {{-1, 0}, {1, 0}}), 0, 0);
    b->setChanged(0);
    b.flips = 0;
    b->startInvertMode();
    at(b, -1, 0, 1, 1);
    EXPECT_EQ(d->invertedInputs[0], 1);
    EXPECT_EQ(d->invertedOutputs[0], 0);
    EXPECT_EQ(markAt(*b, -1, 0), TBoardEngine::colorGreen);
    at(b, -1, 0, 0, 1);  // held: no second toggle
    EXPECT_EQ(d->invertedInputs[0], 1);
    at(b, -1, 0, 1, 1);
    EXPECT_EQ(d->invertedInputs[0], 0);
    at(b, 1, 0, 1, 1);
    EXPECT_EQ(d->invertedOutputs[1], 1);
    EXPECT_EQ(b.flips, 1);
    clearMarks(b);
    at(b, 0, 0, 1, 1);  // the body centre is no pin
    EXPECT_TRUE(b->mark_x.empty());
    EXPECT_EQ(d->invertedOutputs[1], 1);
}

TEST(RemoveMode, CaptionShieldsTheDeviceBelowItThenTheDeviceGoes) {
    std::vector<CaptionPtr> told;
    Board b;
    b->modeCaption_gameFunc = [](const CaptionPtr& c, void* ctx) {
        static_cast<std::vector<CaptionPtr>*>(ctx)->push_back(c);
        return 1;
    };
    b->modeCaption_game = &told;
    auto d = b->addDevice(draft(2, 2), 0, 0);
    auto c = TCaption::Create();
    c->width = c->Height = 1;
    b->captionList.push_back(c);
    b->startRemoveMode();
    at(b, 0, 0, 1, 1);
    EXPECT_TRUE(b->captionList.empty());
    EXPECT_EQ(c->isValid, 0);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], c);
    EXPECT_EQ(b->modeRemove_cap, nullptr);
    ASSERT_EQ(b->deviceList.size(), 1u);
    at(b, 0, 0, 0, 0);
    at(b, 0, 0, 1, 1);
    EXPECT_TRUE(b->deviceList.empty());
    EXPECT_EQ(d->notValid, 1);
    EXPECT_EQ(b.problems(), "");
}

// Wires go point by point while the button is held; a press alone removes devices only.
TEST(RemoveMode, DraggingErasesEveryWirePointPassed) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);  // output at (0, 0)
    auto dst = b->addDevice(sink(), 7, 0);     // input at (6, 0)
    b.wire(0, 0, 6, 0);
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    b->startRemoveMode();
    at(b, 2, 0, 0, 0);  // hovering only collects
    EXPECT_EQ(b->modeRemove_lines.at(0).size(), 2u);
    EXPECT_EQ(b->wireComplexList.at(0)->lineList.size(), 6u);
    at(b, 2, 0, 1, 1);
    at(b, 3, 0, 0, 1);
    at(b, 4, 0, 0, 1);
    at(b, 5, 0, 0, 0);  // released before (5, 0)
    EXPECT_EQ(b->deviceList.size(), 2u);
    ASSERT_EQ(b->wireComplexList.size(), 2u);
    std::vector<Seg> all;
    for (const auto& w : b->wireComplexList)
        for (const auto& s : segments(*w)) all.push_back(s);
    const std::vector<Seg> want = {{{0, 0}, {1, 0}}, {{5, 0}, {6, 0}}};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, want);
    EXPECT_NE(src->outputs[0], nullptr);
    EXPECT_NE(dst->inputs[0], nullptr);
    EXPECT_NE(src->outputs[0], dst->inputs[0]);
    EXPECT_EQ(b.problems(), "");
}

TEST(RemoveMode, PressOnAJunctionSplitsTheNetIntoThree) {
    Board b;
    b.wire(0, 0, 4, 0);
    b.wire(2, 0, 2, 3);
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    b->startRemoveMode();
    at(b, 2, 0, 1, 1);
    EXPECT_EQ(b->wireComplexList.size(), 3u);
    for (const auto& w : b->wireComplexList) EXPECT_FALSE(w->isAt(2, 0));
    EXPECT_EQ(b.problems(), "");
}

TEST(ICMode, PicksASingleNetAndRefusesWhereNetsMeet) {
    struct Pick {
        int typeOutput = -1;
        WirePtr net;
        int calls = 0;
    } pick;
    Board b;
    auto a = net(b, {{0, 0}, {1, 0}});
    net(b, {{1, 0}, {1, 1}});  // a second net ending where the first does
    auto cb = [](int type, const WirePtr& n, void* ctx) {
        auto* p = static_cast<Pick*>(ctx);
        p->typeOutput = type;
        p->net = n;
        ++p->calls;
        return 1;
    };
    b->startICMode(1, cb, &pick);
    for (auto [x, y] : {std::pair{1, 0}, std::pair{5, 5}}) {
        at(b, x, y, 0, 0);
        EXPECT_EQ(markAt(*b, x, y), TBoardEngine::colorRed);
        at(b, x, y, 1, 1);
        EXPECT_EQ(pick.calls, 0);
        EXPECT_EQ(b->currentMode, TBoardEngine::modeIC);
    }
    at(b, 0, 0, 0, 0);
    EXPECT_EQ(markAt(*b, 0, 0), TBoardEngine::colorGreen);
    EXPECT_EQ(pick.calls, 0);
    at(b, 0, 0, 1, 1);
    EXPECT_EQ(pick.calls, 1);
    EXPECT_EQ(pick.typeOutput, 1);
    EXPECT_EQ(pick.net, a);
    EXPECT_EQ(b->currentMode, TBoardEngine::modeDefault);
}

TEST(MoveMode, PickUpTestDropAndRefusal) {
    Board b;
    auto free = b->addDevice(draft(2, 2), 0, 0);
    auto blocker = b->addDevice(draft(2, 2), 10, 0);
    b->setChanged(0);
    b.flips = 0;
    b->startMoveMode();
    at(b, 0, 0, 0, 0);
    const uint64_t compiles = b->simulationCompiles();
    EXPECT_EQ(b->modeMove_markDevice, free);
    EXPECT_EQ(b->modeMove_markDeviceEnable, 1);
    at(b, 1, 1, 1, 1);  // grabbed at its corner: offset (-1, -1)
    EXPECT_EQ(b->modeMove_currentDevice, free);
    EXPECT_EQ(b->modeMove_tx, -1);
    EXPECT_EQ(b->modeMove_ty, -1);
    EXPECT_EQ(b.flips, 1);
    at(b, 11, 1, 0, 1);  // would overlap the blocker
    EXPECT_EQ(b->modeMove_enable, 0);
    at(b, 11, 1, 0, 0);  // dropped on red: stays
    EXPECT_EQ(free->xPos, 0);
    EXPECT_EQ(b->modeMove_currentDevice, nullptr);

    at(b, 0, 0, 0, 0);
    at(b, 0, 0, 1, 1);
    at(b, 5, 3, 0, 1);
    EXPECT_EQ(b->modeMove_enable, 1);
    at(b, 5, 3, 0, 0);
    EXPECT_EQ(free->xPos, 5);
    EXPECT_EQ(free->yPos, 3);
    EXPECT_EQ(b->getDeviceAt(5, 3, 1), free) << "hit tests see the new place at once";

    // Released straight after the press: no held frame tested a place, so nothing moves.
    at(b, 5, 3, 0, 0);
    at(b, 5, 3, 1, 1);
    at(b, 20, 20, 0, 0);
    EXPECT_EQ(free->xPos, 5);
    EXPECT_EQ(blocker->xPos, 10);
    // Only devices without a connected pin move: picking up and dropping leave the circuit, and
    // so the compiled simulation, as they were.
    EXPECT_EQ(b->simulationCompiles(), compiles);
}

TEST(MoveMode, ConnectedDeviceStaysNetsAreOnlyHighlighted) {
    Board b;
    auto src = b->addDevice(source(), 0, 0);
    b.wire(1, 0, 4, 0);
    ASSERT_NE(src->outputs[0], nullptr);
    b->startMoveMode();
    at(b, 0, 0, 0, 0);
    EXPECT_EQ(b->modeMove_markDevice, src);
    EXPECT_EQ(b->modeMove_markDeviceEnable, 0);
    at(b, 0, 0, 1, 1);
    EXPECT_EQ(b->modeMove_currentDevice, nullptr);
    at(b, 6, 0, 0, 1);
    at(b, 6, 0, 0, 0);
    EXPECT_EQ(src->xPos, 0);

    WirePtr w = b->wireComplexList.at(0);
    clearMarks(b);
    at(b, 3, 0, 0, 0);
    EXPECT_EQ(w->highlightIt, 1);
    EXPECT_EQ(markAt(*b, 3, 0), TBoardEngine::colorGreen);
    w->highlightIt = 0;
    at(b, 3, 0, 1, 1);
    EXPECT_EQ(b->modeMove_currentWire, w);
    EXPECT_EQ(w->highlightIt, 1);
    const auto before = segments(*w);
    at(b, 3, 5, 0, 1);
    at(b, 3, 5, 0, 0);
    EXPECT_EQ(segments(*w), before);

    // Where two nets meet the point is red.
    auto other = makePooled<TWireComplex>();
    other->addWire(3, 0, 3, -1);
    b->wireComplexList.push_back(other);
    b->invalidateIndex();
    clearMarks(b);
    at(b, 3, 0, 0, 0);
    EXPECT_EQ(markAt(*b, 3, 0), TBoardEngine::colorRed);
}

// A click on a switch changes only its data, which the compiled step reads live: the board is
// marked changed but the circuit is not recompiled (on a large board that would stall the frame).
// A clickable type of another kind still has its circuit recompiled, since the compiled step
// keeps no live view of other devices' data.
TEST(DefaultMode, ASwitchClickMarksTheBoardChangedWithoutRecompiling) {
    Board b;
    auto toggle = b->addDevice(TSwich::Create(1), 0, 0);
    auto out = net(b, {{1, 0}, {2, 0}});
    toggle->outputs[0] = out.get();
    out->Input = toggle.get();
    b->invalidateIndex();
    at(b, 9, 9, 0, 0);  // first step: compiles
    ASSERT_EQ(b->simulationCompiles(), 1u);
    b->setChanged(0);
    b.flips = 0;

    at(b, 0, 0, 1, 1);  // press: toggles on, the same frame's step drives it
    EXPECT_EQ(toggle->data, 1);
    EXPECT_EQ(out->State, 1);
    EXPECT_EQ(b->isChanged(), 1);
    EXPECT_EQ(b.flips, 1);
    at(b, 0, 0, 0, 0);
    at(b, 0, 0, 1, 1);  // toggles off
    EXPECT_EQ(out->State, 0);
    EXPECT_EQ(b->simulationCompiles(), 1u) << "switch clicks need no recompiling";

    // A clickable type whose click changes its data some other way.
    class Clicked : public PinDraft {
    public:
        Clicked() : PinDraft(2, 2, {}, {{1, 0}}) {}
        int Update(const int*, int* out, TDevice& d) override {
            out[0] = d.data;
            return 1;
        }
        int clickAble() const override { return 1; }
        void onClickFunc(TDevice& d) const override { d.data = d.data ? 0 : 1; }
    };
    auto other = b->addDevice(std::make_shared<Clicked>(), 0, 6);
    auto otherOut = net(b, {{1, 6}, {2, 6}});
    other->outputs[0] = otherOut.get();
    otherOut->Input = other.get();
    b->invalidateIndex();
    at(b, 9, 9, 0, 0);
    const uint64_t before = b->simulationCompiles();
    at(b, 0, 6, 1, 1);
    EXPECT_EQ(other->data, 1);
    EXPECT_EQ(otherOut->State, 1) << "the step saw the new data";
    EXPECT_EQ(b->simulationCompiles(), before + 1);
}

// Captions are not part of the circuit: creating, dragging and removing one marks the board changed
// but leaves the compiled simulation as it is (dragging used to recompile it every frame).
TEST(CaptionMode, CaptionEditsMarkTheBoardChangedWithoutRecompiling) {
    Board b;
    b->addDevice(draft(2, 2, {}, {{1, 0}}), 20, 20);
    at(b, 9, 9, 0, 0);  // first step: compiles
    ASSERT_EQ(b->simulationCompiles(), 1u);
    b->setChanged(0);
    b.flips = 0;
    b->startCaptionMode();
    at(b, 3, 4, 1, 1);  // creates a caption at (3, 4)
    ASSERT_EQ(b->captionList.size(), 1u);
    const CaptionPtr c = b->captionList[0];
    EXPECT_EQ(b->isChanged(), 1);
    EXPECT_EQ(b.flips, 1);
    at(b, 3, 4, 0, 0);
    c->width = 3;
    c->Height = 1;
    at(b, 4, 4, 1, 1);  // grab and drag two cells right
    at(b, 5, 4, 0, 1);
    at(b, 6, 4, 0, 1);
    EXPECT_EQ(c->xPos, 5);
    b->startRemoveMode();
    at(b, 6, 4, 1, 1);
    EXPECT_TRUE(b->captionList.empty());
    EXPECT_EQ(b->simulationCompiles(), 1u) << "no caption edit recompiles the circuit";

    // Device edits still reach the simulation: a placed device is compiled onto the form, a
    // removed one is forgotten by it.
    b->startDefaultMode();
    auto placed = b->addDevice(draft(2, 2), 30, 30);
    at(b, 9, 9, 0, 0);
    EXPECT_EQ(b->simulationCompiles(), 1u);
    EXPECT_EQ(b->simulationAppends(), 1u);
    b->_removeDevice(placed.get());
    at(b, 9, 9, 0, 0);
    EXPECT_EQ(b->simulationRemovals(), 1u);
    EXPECT_EQ(b->simulationCompiles(), 1u);
}

// The simulation hears of wire edits that move pins only: a wire over empty ground, one that grows
// a net, a merge of a pinless net into a driven one and the erasing of a pinless net's segments
// leave its compiled form alone; joining a pin, or cutting a net with pins, updates the devices
// concerned (here ops of a type the compiled form steps through its own Update) in place.
TEST(WireMode, OnlyEditsThatMovePinsReachTheSimulation) {
    Board b;
    b->addDevice(source(), -1, 0);  // output at (0, 0)
    auto dst = b->addDevice(sink(), 7, 0);  // input at (6, 0)
    at(b, 20, 20, 0, 0);
    // Compiles and in-place updates of devices: every time the simulation heard of an edit.
    auto heard = [&] { return b->simulationCompiles() + b->simulationPatches(); };
    const uint64_t first = heard(), compiles = b->simulationCompiles();
    b.wire(10, 10, 14, 10);  // empty ground
    b.wire(14, 10, 14, 12);  // grows that net
    ASSERT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(heard(), first) << "wires reaching no pin";
    EXPECT_EQ(b->isChanged(), 1);

    b.wire(0, 0, 3, 0);  // from the source's output
    at(b, 20, 20, 0, 0);
    EXPECT_EQ(heard(), first + 1);
    const WirePtr driven = b->wireComplexList.back();
    EXPECT_EQ(driven->State, 1);
    b.wire(6, 0, 6, 2);  // the sink's input, on a net of its own
    at(b, 20, 20, 0, 0);
    EXPECT_EQ(heard(), first + 2);

    // A pinless net drawn to the driven one's end and merged there by a press on the meeting point.
    b.wire(3, 3, 3, 1);
    at(b, 20, 20, 0, 0);
    const uint64_t beforeMerge = heard();
    b.wire(3, 0, 3, 1);  // ends on both nets: they are joined
    at(b, 20, 20, 0, 0);
    EXPECT_EQ(heard(), beforeMerge) << "the pinless net went into the driven one";
    EXPECT_EQ(driven->State, 1);

    // Erasing: segments of the pinless net alone, then of a net with a pin.
    b->startRemoveMode();
    at(b, 12, 10, 1, 1);
    at(b, 13, 10, 0, 1);
    at(b, 13, 10, 0, 0);
    EXPECT_EQ(heard(), beforeMerge);
    at(b, 6, 2, 1, 1);  // the end of the sink's net, clear of the sink's body
    at(b, 6, 2, 0, 0);
    EXPECT_EQ(heard(), beforeMerge + 1);
    EXPECT_EQ(b->simulationCompiles(), compiles);
    EXPECT_EQ(b->deviceList.size(), 2u);
    EXPECT_EQ(b.problems(), "");
    (void)dst;
}

// Nets with gates on them merged by a wire and cut apart: the gates' ops are updated in place, and
// every step shows what the plain step of the same board shows.
TEST(WireMode, MergedAndCutNetsOfGatesAreTakenInPlace) {
    Board b;
    const DraftPtr g = TLogic::Create(1, 2);  // an inverter
    const int ix = g->getInputXPos(0), iy = g->getInputYPos(0), ox = g->getOutputXPos(0), oy = g->getOutputYPos(0);
    // A: input unwired (reads 0), so it drives 1. B's input will sit 8 cells below A's net's end.
    auto a = b->addDevice(g, 0, 0);
    const int ex = ox + 3, ey = oy;  // A's net ends here
    auto bdev = b->addDevice(g, ex - ix, ey + 8 - iy);
    b.wire(ox, oy, ex, ey);                       // net 1: driven by A
    b.wire(ex, ey + 8, ex, ey + 5);               // net 2: read by B
    const int box = ex - ix + ox, boy = ey + 8 - iy + oy;
    b.wire(box, boy, box + 2, boy);               // net 3: B's output, so its value is kept
    // What B's own step gives for the value on its input.
    auto plainOutput = [&]() {
        const int in = bdev->inputs[0] ? static_cast<int>(bdev->inputs[0]->State) : 0;
        return in ? 0 : 1;
    };
    at(b, 40, 40, 0, 0);
    at(b, 40, 40, 0, 0);
    TWireComplex* out = bdev->outputs[0];
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->State, 1) << "B reads an undriven net";
    const uint64_t compiles = b->simulationCompiles(), patches = b->simulationPatches();

    b.wire(ex, ey, ex, ey + 5);  // joins net 1 and net 2
    ASSERT_EQ(a->outputs[0], bdev->inputs[0]);
    at(b, 40, 40, 0, 0);
    at(b, 40, 40, 0, 0);
    EXPECT_EQ(out->State, 0) << "B reads A's 1";
    EXPECT_EQ(out->State, plainOutput());
    EXPECT_EQ(b->simulationCompiles(), compiles) << "the merge was compiled";
    EXPECT_GT(b->simulationPatches(), patches);

    // Cut the joined net in the middle of the new wire: B is on a net of its own again.
    b->startRemoveMode();
    at(b, ex, ey + 3, 1, 1);
    at(b, ex, ey + 3, 0, 0);
    ASSERT_NE(a->outputs[0], bdev->inputs[0]);
    at(b, 40, 40, 0, 0);
    EXPECT_EQ(out->State, plainOutput());
    EXPECT_EQ(b->simulationCompiles(), compiles) << "the cut was compiled";

    // Join them again, then take away the segments between A and B but the one on B's pin (B's
    // body begins a cell above its input).
    b->startWireMode();
    b.wire(ex, ey, ex, ey + 8);
    at(b, 40, 40, 0, 0);
    EXPECT_EQ(out->State, 0);
    b->startRemoveMode();
    for (int y = ey + 6; y >= ey; --y) {
        at(b, ex, y, 1, 1);
        at(b, ex, y, 0, 0);
    }
    at(b, 40, 40, 0, 0);
    ASSERT_EQ(b->deviceList.size(), 2u);
    ASSERT_NE(bdev->inputs[0], nullptr);
    EXPECT_EQ(bdev->inputs[0]->Input, nullptr);
    EXPECT_EQ(out->State, 1);
    EXPECT_EQ(b->simulationCompiles(), compiles) << "cutting nets was compiled";
    EXPECT_EQ(b.problems(), "");
}

// Toggling an inversion of a gate changes only its tables: the compiled simulation takes them in
// place; a counter's op (a kind of its own) reads the flag in its pin, updated in place too.
TEST(InvertMode, ToggledTablesAreTakenInPlace) {
    Board b;
    b->addDevice(source(), -1, 0);  // output at (0, 0), always 1
    const DraftPtr g = TLogic::Create(1, 2);  // an inverter
    const int X = 5 - g->getInputXPos(0), Y = -g->getInputYPos(0);  // its input at (5, 0)
    auto inv = b->addDevice(g, X, Y);
    const int ox = X + g->getOutputXPos(0), oy = Y + g->getOutputYPos(0);
    b.wire(0, 0, 5, 0);
    b.wire(ox, oy, ox + 3, oy);
    ASSERT_NE(inv->inputs[0], nullptr);
    ASSERT_NE(inv->outputs[0], nullptr);
    TWireComplex* out = inv->outputs[0];
    auto counter = b->addDevice(TCounter::Create(2), 30, 30);
    at(b, 50, 50, 0, 0);
    EXPECT_EQ(out->State, 0);
    const uint64_t compiles = b->simulationCompiles();
    b->setChanged(0);

    b->startInvertMode();
    at(b, 5, 0, 1, 1);  // the inverter's input: now inverted, the frame's step shows it
    EXPECT_EQ(inv->invertedInputs[0], 1);
    EXPECT_EQ(out->State, 1);
    EXPECT_EQ(b->isChanged(), 1);
    at(b, 5, 0, 0, 0);
    at(b, ox, oy, 1, 1);  // and its output
    EXPECT_EQ(out->State, 0);
    EXPECT_EQ(b->simulationPatches(), 2u);
    EXPECT_EQ(b->simulationCompiles(), compiles);

    at(b, ox, oy, 0, 0);
    at(b, 30 + counter->draft->getInputXPos(0), 30 + counter->draft->getInputYPos(0), 1, 1);
    EXPECT_EQ(counter->invertedInputs[0], 1);
    EXPECT_EQ(b->simulationCompiles(), compiles);
    EXPECT_EQ(b->simulationPatches(), 3u);
    EXPECT_EQ(b.problems(), "");
}
