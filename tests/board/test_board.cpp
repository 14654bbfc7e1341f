// The board's grid, hit tests, placement and pin rules, adding and removing devices, marks and the
// changed flag.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "BoardFixture.h"
#include "ui/render/ImageFont.h"
#include "ui/render/Pics.h"

using namespace gw;
using namespace gwtest;

TEST(BoardGrid, MouseToTilePosRoundsHalvesAwayFromZero) {
    const std::pair<int, int> cases[] = {{0, 0},   {9, 0},    {10, 1},  {29, 1},   {30, 2},
                                         {-9, 0},  {-10, -1}, {-11, -1}, {-29, -1}, {-30, -2},
                                         {-31, -2}, {400, 20}, {-410, -21}};
    for (auto [px, want] : cases) {
        int x = 99, y = 99;
        TBoardEngine::MouseToTilePos(px, px, x, y);
        EXPECT_EQ(x, want) << "px " << px;
        EXPECT_EQ(y, want) << "py " << px;
    }
    // The axes are independent.
    int x, y;
    TBoardEngine::MouseToTilePos(10, -10, x, y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, -1);
}

TEST(BoardGrid, BodiesOfEvenAndOddSizes) {
    Board b;
    // width 4, Height 2 at (0, 0): columns -2..2, rows -1..1; interior columns -1..1 of row 0.
    auto wide = b->addDevice(draft(4, 2), 0, 0);
    // width 3 at x = -5 (y far away): columns -6..-3, interior -5 and -4.
    auto odd3 = b->addDevice(draft(3, 2), -5, 10);
    struct Case {
        int x, y, closed, open;
    } cases[] = {
        {-2, 0, 1, 0}, {2, 0, 1, 0},  {3, 0, 0, 0},  {-3, 0, 0, 0}, {-1, 0, 1, 1}, {1, 0, 1, 1},
        {0, -1, 1, 0}, {0, 1, 1, 0},  {0, 2, 0, 0},  {2, 1, 1, 0},  {-6, 10, 1, 0}, {-3, 10, 1, 0},
        {-7, 10, 0, 0}, {-2, 10, 0, 0}, {-5, 10, 1, 1}, {-4, 10, 1, 1}, {-6, 9, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(b->getDeviceAt(c.x, c.y, 0) != nullptr, c.closed == 1) << c.x << "," << c.y;
        EXPECT_EQ(b->getDeviceAt(c.x, c.y, 1) != nullptr, c.open == 1) << c.x << "," << c.y;
    }
    // A width-3 body at x = 0 reaches one column further right than left.
    Board c;
    c->addDevice(draft(3, 2), 0, 0);
    EXPECT_TRUE(c->getDeviceAt(-1, 0, 0));
    EXPECT_TRUE(c->getDeviceAt(2, 0, 0));
    EXPECT_FALSE(c->getDeviceAt(-2, 0, 0));
    EXPECT_FALSE(c->getDeviceAt(3, 0, 0));
}

TEST(BoardGrid, PixelHitTestsIncludeTheBordersAndFirstAddedWins) {
    Board b;
    auto first = b->addDevice(draft(4, 2), 0, 0);   // pixels x -40..40, y -20..20
    auto second = b->addDevice(draft(2, 2), 2, 0);  // pixels x 20..60 — overlaps the first
    EXPECT_EQ(b->getDeviceAtPixPos(40, 20), first);
    EXPECT_EQ(b->getDeviceAtPixPos(-40, -20), first);
    EXPECT_EQ(b->getDeviceAtPixPos(30, 0), first);
    EXPECT_EQ(b->getDeviceAtPixPos(41, 0), second);
    EXPECT_EQ(b->getDeviceAtPixPos(60, 20), second);
    EXPECT_EQ(b->getDeviceAtPixPos(61, 0), nullptr);
    EXPECT_EQ(b->getDeviceAtPixPos(0, 21), nullptr);

    auto cap = TCaption::Create();
    cap->xPos = -1;
    cap->yPos = 2;
    cap->width = 3;
    cap->Height = 1;
    auto cap2 = TCaption::Create();
    cap2->xPos = 0;
    cap2->yPos = 2;
    cap2->width = 1;
    cap2->Height = 1;
    b->captionList = {cap, cap2};
    EXPECT_EQ(b->getCaptionAtPixPos(-20, 40), cap);
    EXPECT_EQ(b->getCaptionAtPixPos(40, 60), cap);
    EXPECT_EQ(b->getCaptionAtPixPos(10, 50), cap);
    EXPECT_EQ(b->getCaptionAtPixPos(41, 50), nullptr);
    EXPECT_EQ(b->getCaptionAtPixPos(0, 39), nullptr);
}

TEST(BoardPlacement, BordersMayBeSharedInteriorsMayNot) {
    Board b;
    auto d4 = draft(4, 2);
    b->addDevice(d4, 0, 0);  // columns -2..2
    EXPECT_EQ(b->posAbleForDraft(d4, 4, 0, nullptr), 1);   // columns 2..6: shares column 2
    EXPECT_EQ(b->posAbleForDraft(d4, 3, 0, nullptr), 0);   // interior column 2 is the body's border
    EXPECT_EQ(b->posAbleForDraft(d4, 0, 2, nullptr), 1);   // shares row 1
    EXPECT_EQ(b->posAbleForDraft(d4, 0, 1, nullptr), 0);
    EXPECT_EQ(b->posAbleForDraft(d4, 4, 2, nullptr), 1);   // corner to corner
    // A body wholly inside another's interior is found too.
    EXPECT_EQ(b->posAbleForDraft(draft(2, 2), 10, 0, nullptr), 1);
    Board big;
    big->addDevice(draft(2, 2), 0, 0);
    EXPECT_EQ(big->posAbleForDraft(draft(10, 10), 0, 0, nullptr), 0);
    // A draft without interior stands anywhere, even on top of a body.
    EXPECT_EQ(b->posAbleForDraft(draft(1, 4), 0, 0, nullptr), 1);
    EXPECT_EQ(b->posAbleForDraft(draft(4, 0), 0, 0, nullptr), 1);
    EXPECT_EQ(b->posAbleForDraft(nullptr, 50, 50, nullptr), 0);
    // The device being moved does not block itself.
    auto self = b->deviceList[0];
    EXPECT_EQ(b->posAbleForDraft(d4, 1, 0, self.get()), 1);
    EXPECT_EQ(b->posAbleForDraft(d4, 1, 0, nullptr), 0);
}

TEST(BoardPlacement, WireEndsBlockInteriorsButNotBorders) {
    Board b;
    b.wire(0, 0, 0, 3);  // ends at (0,0),(0,1),(0,2),(0,3)
    auto d4 = draft(4, 2);
    EXPECT_EQ(b->posAbleForDraft(d4, 0, 1, nullptr), 0);
    EXPECT_EQ(b->posAbleForDraft(d4, 2, 1, nullptr), 1);  // the wire runs along the left border
    EXPECT_EQ(b->posAbleForDraft(d4, -2, 1, nullptr), 1);
    // A diagonal segment passing no grid point inside the body does not block it: only ends count.
    Board d;
    d.wire(-1, -1, 1, 0);  // one segment, no grid point in between
    EXPECT_EQ(d->posAbleForDraft(draft(2, 2), 0, 0, nullptr), 1);
    EXPECT_EQ(d->posAbleForDraft(draft(4, 4), 0, 0, nullptr), 0);
}

// What a view rectangle shows: closed bodies and closed segment boxes that meet it, in list order.
TEST(BoardRect, DevicesAndNetsMeetingARectangleInListOrder) {
    Board b;
    const DevicePtr a = b->addDevice(draft(4, 2), 0, 0);    // columns -2..2, rows -1..1
    const DevicePtr c = b->addDevice(draft(3, 3), -10, -10);  // columns -12..-8, rows -12..-8
    const DevicePtr e = b->addDevice(draft(2, 2), 40, 0);   // columns 39..41
    auto longNet = makePooled<TWireComplex>();
    longNet->addWire(0, 5, 1000, 6);  // one diagonal segment, box 0..1000 x 5..6
    auto shortNet = makePooled<TWireComplex>();
    shortNet->addWire(-3, -3, -3, -2);
    shortNet->addWire(-3, -2, -3, -1);
    b->wireComplexList.push_back(longNet);
    b->wireComplexList.push_back(shortNet);
    b->invalidateIndex();

    using Devs = std::vector<TDevice*>;
    using Nets = std::vector<TWireComplex*>;
    struct Case {
        int l, t, r, b;
        Devs devs;
        Nets nets;
    } cases[] = {
        {2, 1, 2, 1, {a.get()}, {}},                                  // the body's corner point
        {3, 2, 5, 4, {}, {}},                                         // just off the corner
        {-12, -12, 2, 1, {a.get(), c.get()}, {shortNet.get()}},
        {500, 6, 500, 6, {}, {longNet.get()}},                        // crosses the segment's middle
        {500, 7, 600, 9, {}, {}},
        {-3, -1, -3, -1, {}, {shortNet.get()}},                       // the last segment end
        {-4, -4, -4, -4, {}, {}},
        {-100000, -100000, 100000, 100000, {a.get(), c.get(), e.get()}, {longNet.get(), shortNet.get()}},
        {5, 0, 4, 0, {}, {}},                                         // empty rectangle
    };
    Devs devs{nullptr};
    Nets nets{nullptr};  // must be cleared first
    for (const Case& k : cases) {
        for (int frame = 0; frame < 2; ++frame) {
            std::optional<TBoardEngine::FrameScope> scope;
            if (frame) scope.emplace(*b);
            b->devicesInRect(k.l, k.t, k.r, k.b, devs);
            b->netsInRect(k.l, k.t, k.r, k.b, nets);
            EXPECT_EQ(devs, k.devs) << k.l << "," << k.t << " " << k.r << "," << k.b;
            EXPECT_EQ(nets, k.nets) << k.l << "," << k.t << " " << k.r << "," << k.b;
        }
    }
    // Order is list order, not placement age at a point: after removing the first device, a new
    // one appended on top of where it stood comes after the device added before it.
    b->_removeDevice(a.get());
    const DevicePtr f = b->addDevice(draft(2, 2), -8, -8);  // shares the corner (-8,-8) with c
    b->devicesInRect(-9, -9, -7, -7, devs);
    EXPECT_EQ(devs, (Devs{c.get(), f.get()}));
}

// Tools outside the board edit its lists directly. Whatever changes a list's length or its first
// or last object is noticed when a frame opens or a view query runs, without invalidateIndex();
// moving a device in place needs the call. Each case starts from an index built in a frame.
TEST(BoardIndexFreshness, EditsFromOutsideAreNoticed) {
    struct Case {
        const char* what;
        std::function<void(TBoardEngine&)> edit;
        int x, y;           // probe point
        int devicesThere;   // devices whose closed body holds it afterwards (first-added first)
        int netsThere;
    };
    auto gate = draft(2, 2);
    auto devAt = [&](int x, int y) { return makePooled<TDevice>(gate, x, y); };
    auto netAt = [](int x, int y) {
        auto w = makePooled<TWireComplex>();
        w->addWire(x, y, x + 1, y);
        return w;
    };
    const Case cases[] = {
        {"device appended", [&](TBoardEngine& b) { b.deviceList.push_back(devAt(25, 0)); }, 25, 0, 1, 0},
        {"device list replaced, same length",
         [&](TBoardEngine& b) {
             b.deviceList.clear();
             for (int i = 0; i < 3; ++i) b.deviceList.push_back(devAt(30 + 10 * i, 0));
         },
         0, 0, 0, 0},
        {"middle device erased", [&](TBoardEngine& b) { b.deviceList.erase(b.deviceList.begin() + 1); }, 10, 0, 0, 0},
        {"device put first", [&](TBoardEngine& b) { b.deviceList.insert(b.deviceList.begin(), devAt(0, 1)); }, 0, 0, 2, 0},
        {"moved in place, then told",
         [&](TBoardEngine& b) {
             b.deviceList[2]->xPos = 50;
             b.invalidateIndex();
         },
         50, 0, 1, 0},
        {"net appended", [&](TBoardEngine& b) { b.wireComplexList.push_back(netAt(0, 5)); }, 1, 5, 0, 1},
        {"nets cleared", [&](TBoardEngine& b) { b.wireComplexList.clear(); }, 0, 3, 0, 0},
        {"segment cut out and the net repaired",
         [&](TBoardEngine& b) {
             TWireComplex& w = *b.wireComplexList[0];
             w.lineList.erase(w.lineList.begin());
             b._repairWireAfterSplit(&w);
         },
         0, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Board b;
        for (int i = 0; i < 3; ++i) b->addDevice(gate, 10 * i, 0);
        b.wire(0, 3, 3, 3);
        {
            TBoardEngine::FrameScope frame(*b);
            ASSERT_NE(b->getDeviceAt(0, 0, 0), nullptr);
            ASSERT_EQ(b->getWiresAt(0, 3).size(), 1u);
        }
        c.edit(*b);
        std::vector<TDevice*> devs;
        std::vector<TWireComplex*> nets;
        b->devicesInRect(c.x, c.y, c.x, c.y, devs);
        b->netsInRect(c.x, c.y, c.x, c.y, nets);
        EXPECT_EQ(static_cast<int>(devs.size()), c.devicesThere);
        EXPECT_EQ(static_cast<int>(nets.size()), c.netsThere);
        TBoardEngine::FrameScope frame(*b);
        const DevicePtr first = b->getDeviceAt(c.x, c.y, 0);
        EXPECT_EQ(first != nullptr, c.devicesThere > 0);
        if (first) {
            EXPECT_EQ(first.get(), devs[0]);
        }
        EXPECT_EQ(static_cast<int>(b->getWiresAt(c.x, c.y).size()), c.netsThere);
    }
}

TEST(BoardPins, OnlyTheFirstDeviceOnASharedBorderPointIsExamined) {
    Board b;
    auto out = draft(2, 2, {}, {{1, 0}});
    auto in = draft(2, 2, {{-1, 0}}, {});
    auto first = b->addDevice(out, 0, 0);   // output at (1, 0)
    auto second = b->addDevice(in, 2, 0);   // input at (1, 0), bodies share column 1
    int k = -1;
    EXPECT_EQ(b->posOutputConnectableTo(1, 0, k), first);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(b->posInputConnectableTo(1, 0, k), nullptr);
    EXPECT_EQ(b->posInputConnectableTo(1, 1, k), nullptr);
    // With the order reversed the input is found and the output is not.
    Board c;
    c->addDevice(in, 2, 0);
    c->addDevice(out, 0, 0);
    EXPECT_NE(c->posInputConnectableTo(1, 0, k), nullptr);
    EXPECT_EQ(c->posOutputConnectableTo(1, 0, k), nullptr);
    // Odd heights report inputs one row lower: a 2 x 3 body with an input stored at (-1, -1).
    Board o;
    auto dev = o->addDevice(draft(2, 3, {{-1, -1}, {-1, 0}}, {}), 0, 0);
    EXPECT_EQ(o->posInputConnectableTo(-1, 0, k), dev);
    EXPECT_EQ(k, 0);
    EXPECT_EQ(o->posInputConnectableTo(-1, 1, k), dev);
    EXPECT_EQ(k, 1);
    EXPECT_EQ(o->posInputConnectableTo(-1, -1, k), nullptr);
}

TEST(BoardAdd, PinsJoinTheSingleNetTheyLandOnAndAtMostOneDriver) {
    Board b;
    b.wire(1, 0, 1, 3);    // net A through (1,0) .. (1,3)
    b.wire(0, 0, 2, 0);    // net B crosses A's end (1,0): two nets meet there unjoined
    ASSERT_EQ(b->wireComplexList.size(), 2u);
    auto A = b->wireComplexList[0], B = b->wireComplexList[1];
    // Pins: output 0 at (1,0) (two nets), output 1 at (1,2) (net A), input 0 at (1,2) (net A),
    // output 2 at (1,3) (net A again: already claimed by output 1).
    auto dr = draft(2, 8, {{1, 2}}, {{1, 0}, {1, 2}, {1, 3}});
    auto d = b->addDevice(dr, 0, 0);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->outputs[0], nullptr) << "a pin where two nets meet stays unconnected";
    EXPECT_EQ(d->outputs[1], A.get());
    EXPECT_EQ(A->Input, d.get());
    EXPECT_EQ(d->outputs[2], nullptr) << "a second driver is refused";
    EXPECT_EQ(d->inputs[0], A.get()) << "an input on a driven net connects";
    EXPECT_EQ(A->outputList, std::vector<TDevice*>{d.get()});
    EXPECT_EQ(B->Input, nullptr);
    EXPECT_EQ(b.problems(), "");

    // A second device with an output on the now driven net stays unconnected there.
    auto e = b->addDevice(draft(2, 2, {}, {{1, 0}}), 0, 3);  // output at (1, 3)
    EXPECT_EQ(e->outputs[0], nullptr);
    EXPECT_EQ(A->Input, d.get());
    EXPECT_EQ(b.problems(), "");
}

TEST(BoardRemove, DeviceLeavesBothSidesCleanAndNetsStay) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);  // output (0, 0)
    auto snk = b->addDevice(sink(), 4, 0);     // input (3, 0)
    b.wire(0, 0, 3, 0);
    auto net = b->wireComplexList.at(0);
    net->State = 1;
    ASSERT_EQ(net->Input, src.get());
    ASSERT_EQ(net->outputList.size(), 1u);

    b->_removeDevice(src.get());
    EXPECT_EQ(src->notValid, 1);
    EXPECT_EQ(net->Input, nullptr);
    EXPECT_EQ(net->State, 1) << "an undriven net keeps its last value";
    EXPECT_EQ(b->deviceList.size(), 1u);
    b->_removeDevice(snk.get());
    EXPECT_TRUE(net->outputList.empty());
    EXPECT_EQ(b->wireComplexList.size(), 1u);
    EXPECT_EQ(b.problems(), "");
    // Removing again, or something never placed, changes nothing.
    b->_removeDevice(snk.get());
    b->_removeDevice(nullptr);
    EXPECT_EQ(b->deviceList.size(), 0u);
}

TEST(BoardRemove, DeviceReadingOneNetOnTwoPins) {
    Board b;
    b.wire(1, -1, 1, 1);
    auto d = b->addDevice(draft(2, 2, {{1, -1}, {1, 1}}, {}), 0, 0);
    auto net = b->wireComplexList.at(0);
    EXPECT_EQ(net->outputList.size(), 2u);
    EXPECT_EQ(b.problems(), "");
    b->_removeDevice(d.get());
    EXPECT_TRUE(net->outputList.empty());
    EXPECT_EQ(b.problems(), "");
}

TEST(BoardHousekeeping, ChangedFlagCallsBackOnlyOnFlips) {
    Board b;
    EXPECT_EQ(b->isChanged(), 0);
    b->setChanged(1);
    b->setChanged(1);
    EXPECT_EQ(b.flips, 1);
    b->setChanged(0);
    EXPECT_EQ(b.flips, 2);
    b->addDevice(source(), 0, 0);
    EXPECT_EQ(b->isChanged(), 1);
    EXPECT_EQ(b.flips, 3);
    // A board made without callbacks edits safely.
    auto bare = TBoardEngine::Create();
    bare->addDevice(source(), 0, 0);
    bare->_addIC(nullptr);
    EXPECT_EQ(bare->isChanged(), 1);
    int r, g, bl;
    bare->getBackgroundColor(r, g, bl);
    EXPECT_EQ(r + g + bl, 720);
    bare->getNetColor(r, g, bl);
    EXPECT_EQ(r + g + bl, 600);
}

TEST(BoardHousekeeping, MarksKeepOnePerPointWithTheLastColour) {
    Board b;
    b->markPos(1, 2, TBoardEngine::colorGreen);
    b->markPos(3, 2, TBoardEngine::colorBlack);
    b->markPos(1, 2, TBoardEngine::colorRed);
    EXPECT_EQ(b->mark_x, (std::vector<int>{1, 3}));
    EXPECT_EQ(b->mark_y, (std::vector<int>{2, 2}));
    EXPECT_EQ(b->mark_color, (std::vector<int>{TBoardEngine::colorRed, TBoardEngine::colorBlack}));
}

TEST(BoardHousekeeping, DestroyInvalidatesWhatOthersMayHold) {
    Board b;
    auto src = b->addDevice(source(), -1, 0);
    b.wire(0, 0, 2, 0);
    auto net = b->wireComplexList.at(0);
    auto cap = TCaption::Create();
    b->captionList.push_back(cap);
    b->Destroy();
    EXPECT_TRUE(b->deviceList.empty());
    EXPECT_TRUE(b->wireComplexList.empty());
    EXPECT_EQ(b->captionList.size(), 1u);
    EXPECT_EQ(src->notValid, 1);
    EXPECT_EQ(net->notValid, 1);
    EXPECT_EQ(net->Input, nullptr);
    EXPECT_EQ(src->outputs[0], nullptr);
}

TEST(BoardStep, SignalsTravelInListOrder) {
    Board b;
    b->addDevice(source(), -1, 0);   // drives 1
    b.wire(0, 0, 3, 0);
    auto buf = b->addDevice(draft(2, 2, {{-1, 0}}, {{1, 0}}), 4, 0);  // reads (3,0), drives (5,0)
    b.wire(5, 0, 7, 0);
    auto led = b->addDevice(draft(2, 2, {{-1, 0}}, {}), 8, 0);
    auto out = b->wireComplexList.at(1);
    ASSERT_EQ(buf->inputs[0], b->wireComplexList.at(0).get());
    ASSERT_EQ(led->inputs[0], out.get());
    b->updateDevices();
    EXPECT_EQ(out->State, 1) << "the buffer, later in the list, sees this step's value";
}

TEST(Caption, CellsAndFont) {
    TCaption c;
    c._fitCells(0, 0, 20, 20);
    EXPECT_EQ(c.width, 1);
    EXPECT_EQ(c.Height, 1);
    c._fitCells(45, 17, 20, 20);
    EXPECT_EQ(c.width, 3);
    EXPECT_EQ(c.Height, 1);
    c._fitCells(40, 41, 20, 20);
    EXPECT_EQ(c.width, 2);
    EXPECT_EQ(c.Height, 3);
    Pics pics;
    pics.font9 = ImageFont::makeFixed(5, 9);
    pics.font14 = ImageFont::makeFixed(7, 14);
    pics.font24 = ImageFont::makeFixed(12, 24);
    const std::pair<int, const ImageFont*> sizes[] = {
        {0, pics.font9.get()}, {1, pics.font14.get()}, {2, pics.font24.get()},
        {7, pics.font14.get()}, {-1, pics.font14.get()}};
    for (auto [size, font] : sizes) {
        c.Size = size;
        EXPECT_EQ(c._getImageFont(pics), font) << size;
        EXPECT_EQ(c.Size, size >= 0 && size <= 2 ? size : 1);
    }
    auto made = TCaption::Create();
    EXPECT_EQ(made->isValid, 1);
    made->Destroy();
    EXPECT_EQ(made->isValid, 0);
}
