// One frame of the board on the recording renderer: background and grid, layer order, marks, the
// mode feedback and cursor, captions, and that skipping what lies off screen never loses a call
// for anything that reaches into the view. Box fonts of the test image set: size 9 is 5 px per
// glyph and 9 high, size 14 is 7 x 14, size 24 is 12 x 24.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "BoardFixture.h"
#include "model/InputDevices.h"
#include "support/RecordingRenderer.h"

using namespace gw;
using namespace gw::test;
using gwtest::Board;
using gwtest::draft;

namespace {

struct DrawTest : ::testing::Test {
    RecordingRenderer r;
    std::shared_ptr<Pics> pics = makeTestPics();
    Board b;
    void SetUp() override {
        r.setPics(pics);
        b->bNetOn = b->bGridOn = b->bBorderOn = 0;
    }
    // Rectangles of the grid lines: vertical ones are 1 wide, horizontal ones 1 high.
    std::vector<double> verticalLines() const {
        std::vector<double> v;
        for (const auto& c : r.of(Op::Rect))
            if (c.w == 1 && c.h != 1) v.push_back(c.x);
        return v;
    }
    std::vector<double> horizontalLines() const {
        std::vector<double> v;
        for (const auto& c : r.of(Op::Rect))
            if (c.h == 1 && c.w != 1) v.push_back(c.y);
        return v;
    }
    // Index of the first call matching `pred`, or -1.
    template <class P>
    int firstIndex(P pred) const {
        for (size_t i = 0; i < r.calls.size(); ++i)
            if (pred(r.calls[i])) return static_cast<int>(i);
        return -1;
    }
    template <class P>
    int lastIndex(P pred) const {
        for (size_t i = r.calls.size(); i-- > 0;)
            if (pred(r.calls[i])) return static_cast<int>(i);
        return -1;
    }
    auto isImage(const Image* img) const {
        return [img](const DrawCall& c) { return (c.op == Op::Image || c.op == Op::ImageRect) && c.image == img; };
    }
};

// A base-drawn type with a free name, for titles that reach past the body.
class Titled : public TFeatureDraft {
public:
    std::string name;
    Titled(int w, int h, std::string n) : name(std::move(n)) {
        width = w;
        Height = h;
    }
    int Update(const int*, int*, TDevice&) override { return 0; }
    int clickAble() const override { return 0; }
    std::string GetName() const override { return name; }
};

}  // namespace

TEST_F(DrawTest, GridLinesFallOnGridColumnsAndRowsAcrossTheView) {
    struct Case {
        double xMove, yMove, scale, w, h;
        std::vector<double> xs, ys;
    };
    const Case cases[] = {
        {30, 0, 1, 100, 50, {-10, 10, 30, 50, 70, 90}, {-20, 0, 20, 40}},
        {-30, 5, 1, 100, 50, {-30, -10, 10, 30, 50, 70, 90}, {-15, 5, 25, 45}},
        {0, -7, 0.5, 45, 25, {-10, 0, 10, 20, 30, 40}, {-17, -7, 3, 13, 23}},
    };
    b->bNetOn = 1;
    b->setNetColor(11, 22, 33);
    for (const Case& c : cases) {
        r.reset();
        b->DrawBackground(r, c.xMove, c.yMove, c.scale, c.scale, c.w, c.h);
        EXPECT_EQ(verticalLines(), c.xs) << c.xMove;
        EXPECT_EQ(horizontalLines(), c.ys) << c.yMove;
        for (const auto& rect : r.of(Op::Rect)) {
            if (rect.w == 1) {
                EXPECT_EQ(rect.y, 0);
                EXPECT_EQ(rect.h, c.h);
            } else {
                EXPECT_EQ(rect.x, 0);
                EXPECT_EQ(rect.w, c.w);
            }
            EXPECT_EQ(rect.r, 11);
            EXPECT_EQ(rect.b, 33);
            EXPECT_EQ(rect.alpha, 0.5);
            EXPECT_EQ(rect.sx, 1);
        }
        EXPECT_EQ(r.count(Op::Plot), 0u);
    }
}

TEST_F(DrawTest, DotsAloneNothingAtAllAndStepsThatCannotEnd) {
    b->setBackgroundColor(1, 2, 3);
    b->bGridOn = 1;
    r.setTransform(30, 2, 2);
    b->DrawBackground(r, 30, -30, 1, 1, 50, 30);
    ASSERT_GE(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].op, Op::Clear);
    EXPECT_EQ(r.calls[0].clearG, 2);
    EXPECT_EQ(r.calls[0].sx, 1);
    EXPECT_EQ(r.calls[0].rot, 0);
    EXPECT_EQ(r.count(Op::Rect), 0u);
    auto dots = r.of(Op::Plot);
    // Rows -30, -10, 10; columns -10, 10, 30.
    ASSERT_EQ(dots.size(), 9u);
    EXPECT_EQ(dots[0].x, -10);
    EXPECT_EQ(dots[0].y, -30);
    EXPECT_EQ(dots[8].x, 30);
    EXPECT_EQ(dots[8].y, 10);
    EXPECT_EQ(dots[4].alpha, 0.4);
    EXPECT_EQ(dots[4].r + dots[4].g + dots[4].b, 0);

    b->bGridOn = 0;
    r.reset();
    b->DrawBackground(r, 30, -30, 1, 1, 50, 30);
    EXPECT_EQ(r.calls.size(), 1u);

    // A zero, negative or non-finite step or view must not hang the frame.
    b->bGridOn = b->bNetOn = 1;
    const double inf = std::numeric_limits<double>::infinity();
    const double bad[][4] = {{0, 1, 100, 100}, {-1, 1, 100, 100}, {1, NAN, 100, 100}, {1, 1, inf, 100}, {1e-9, 1, 100, 100}};
    for (const auto& v : bad) {
        r.reset();
        b->DrawBackground(r, 0, 0, v[0], v[1], v[2], v[3]);
        EXPECT_EQ(r.calls.size(), 1u);
    }
}

TEST_F(DrawTest, SetOwnColorTable) {
    const int want[7][3] = {{0, 255, 0}, {255, 0, 0}, {255, 255, 0}, {0, 0, 0}, {0, 0, 255}, {255, 255, 255}, {120, 120, 120}};
    for (int i = 0; i < 7; ++i) {
        TBoardEngine::SetOwnColor(r, i);
        EXPECT_EQ(r.colorR(), want[i][0]);
        EXPECT_EQ(r.colorG(), want[i][1]);
        EXPECT_EQ(r.colorB(), want[i][2]);
    }
    r.setColor(1, 2, 3);
    for (int i : {7, -1, 1000}) {
        TBoardEngine::SetOwnColor(r, i);
        EXPECT_EQ(r.colorR() * 10000 + r.colorG() * 100 + r.colorB(), 10203);
    }
}

TEST_F(DrawTest, MarksAreDrawnByTheNextFrameOnlyOverEverythingButTheBorder) {
    auto d = b->addDevice(draft(2, 2, {{-1, 0}}, {}), 0, 0);
    b->startInvertMode();
    b->bBorderOn = 1;
    b->Update(-20, 0, 0, 0, 0);
    ASSERT_EQ(b->mark_x.size(), 1u);
    b->Draw(r, 7, 9, 2, 1.5, 300, 200);
    auto marks = r.ofImage(pics->mark.get());
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_DOUBLE_EQ(marks[0].x, 7 - 40);
    EXPECT_DOUBLE_EQ(marks[0].y, 9);
    EXPECT_EQ(marks[0].g, 255);
    EXPECT_EQ(marks[0].r, 0);
    EXPECT_EQ(marks[0].alpha, 1);
    EXPECT_EQ(marks[0].sx, 2);
    EXPECT_EQ(marks[0].sy, 1.5);
    EXPECT_TRUE(b->mark_x.empty() && b->mark_y.empty() && b->mark_color.empty());
    // The mode cursor is under the mark, the border over it.
    const int mark = firstIndex(isImage(pics->mark.get()));
    EXPECT_LT(lastIndex(isImage(pics->mode.get())), mark);
    EXPECT_GT(firstIndex(isImage(pics->screenborder->image.get())), mark);
    r.reset();
    b->Draw(r, 7, 9, 2, 1.5, 300, 200);
    EXPECT_EQ(r.ofImage(pics->mark.get()).size(), 0u);
    // With the border off the mark is the last thing drawn.
    b->bBorderOn = 0;
    b->Update(-20, 0, 0, 0, 0);
    r.reset();
    b->Draw(r, 7, 9, 2, 1.5, 300, 200);
    ASSERT_FALSE(r.calls.empty());
    EXPECT_EQ(r.calls.back().image, pics->mark.get());
    (void)d;
}

// Background, nets, all bodies, then all wired-pin marks, then all inversion rings, captions,
// mode feedback, marks, border.
TEST_F(DrawTest, LayerOrder) {
    b->bNetOn = b->bBorderOn = 1;
    auto src = b->addDevice(gwtest::source(), 0, 0);
    auto dst = b->addDevice(gwtest::sink(), 4, 0);
    b.wire(1, 0, 3, 0);
    ASSERT_NE(dst->inputs[0], nullptr);
    dst->invertedInputs[0] = 1;
    auto cap = TCaption::Create();
    cap->txt = "hi";
    cap->xPos = 5;
    b->captionList.push_back(cap);
    b->startRemoveMode();
    b->Update(0, 0, 0, 0, 0);
    r.reset();
    b->Draw(r, 100, 100, 1, 1, 400, 300);

    const Image* body = pics->device->image.get();
    auto isBody = [&](const DrawCall& c) { return c.image == body; };
    auto isWire = [&](const DrawCall& c) { return c.image == pics->wire.get(); };
    auto isRing = [&](const DrawCall& c) { return c.image == pics->connections.get() && c.frame == 4; };
    auto isCapText = [&](const DrawCall& c) { return c.op == Op::Text && c.text == "hi"; };
    auto isBorder = [&](const DrawCall& c) { return c.image == pics->screenborder->image.get(); };
    EXPECT_EQ(r.calls.front().op, Op::Clear);
    EXPECT_LT(lastIndex([](const DrawCall& c) { return c.op == Op::Rect; }), firstIndex(isWire));
    // Nets first: the remove mode draws the hovered net again later, so look at the first wire.
    EXPECT_LT(firstIndex(isWire), firstIndex(isBody));
    // Both devices' wired-pin marks come after both bodies (the sink is drawn second).
    int firstPinMark = -1;
    for (size_t i = 0; i < r.calls.size(); ++i)
        if (r.calls[i].image == pics->mark.get() && static_cast<int>(i) > firstIndex(isBody)) {
            firstPinMark = static_cast<int>(i);
            break;
        }
    ASSERT_GE(firstPinMark, 0);
    const int lastDeviceBody = lastIndex([&](const DrawCall& c) {
        return isBody(c) && c.alpha == 1;  // the remove-mode ghost is drawn at alpha 0.5
    });
    EXPECT_LT(lastDeviceBody, firstPinMark);
    EXPECT_LT(firstPinMark, firstIndex(isRing));
    EXPECT_LT(firstIndex(isRing), firstIndex(isCapText));
    const int ghost = firstIndex([&](const DrawCall& c) { return isBody(c) && c.alpha == 0.5; });
    EXPECT_LT(firstIndex(isCapText), ghost);
    EXPECT_LT(ghost, firstIndex(isImage(pics->mode.get())));
    EXPECT_LT(firstIndex(isImage(pics->mode.get())), firstIndex(isBorder));
    EXPECT_EQ(r.calls.back().image, pics->screenborder->image.get());
    auto border = r.ofImage(pics->screenborder->image.get());
    EXPECT_EQ(border.front().x, 0);
    EXPECT_EQ(border.front().r + border.front().g + border.front().b, 0);
    (void)src;
}

TEST_F(DrawTest, CaptionCellsCentringShadowAndFontCorrection) {
    TCaption c;
    c.txt = "123456789";  // 45 x 9 in the size-9 font
    c.Size = 0;
    c.xPos = 2;
    c.yPos = 1;
    c.colR = 10;
    c.colG = 20;
    c.colB = 300;  // out of range in a file: held to 255
    struct Case {
        double px, py, s;
        int x, y;
    };
    // X = px + (2 + 1.5)*20*s - 22.5*s, Y = py + (1 + 0.5)*20*s - 4.5*s, truncated toward zero.
    const Case cases[] = {{10, 5, 1, 57, 30}, {10, 5, 2, 105, 56}, {-100, -40, 1, -52, -14}};
    for (const Case& k : cases) {
        r.reset();
        c.Draw(r, k.px, k.py, k.s, k.s, 20, 20);
        EXPECT_EQ(c.width, 3);
        EXPECT_EQ(c.Height, 1);
        auto t = r.of(Op::Text);
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].x, k.x);
        EXPECT_EQ(t[0].y, k.y);
        EXPECT_EQ(t[0].fontSize, 9);
        EXPECT_EQ(t[0].sx, k.s);
        EXPECT_EQ(t[0].g, 20);
        EXPECT_EQ(t[0].b, 255);
    }

    c.bShadow = 1;
    r.reset();
    r.setAlpha(0.8);
    c.Draw(r, 10, 5, 2, 2, 20, 20);
    auto t = r.of(Op::Text);
    ASSERT_EQ(t.size(), 10u);
    const double X = 10 + 3.5 * 40 - 45, Y = 5 + 1.5 * 40 - 9;
    for (int k = 0; k < 9; ++k) {
        const double th = k * 40 * M_PI / 180;
        EXPECT_NEAR(t[k].x, X + (2 * std::cos(th) + 0.5) * 2, 1e-9) << k;
        EXPECT_NEAR(t[k].y, Y + (2 * std::sin(th) + 0.5) * 2, 1e-9) << k;
        EXPECT_NEAR(t[k].alpha, 0.08, 1e-12);
        EXPECT_EQ(t[k].r + t[k].g + t[k].b, 0);
    }
    EXPECT_EQ(t[9].alpha, 0.8);
    EXPECT_EQ(t[9].x, static_cast<int>(X));

    // Empty text still takes one cell; an unknown size draws in the middle font and stays so.
    TCaption e;
    e.Size = 7;
    r.reset();
    e.Draw(r, 0, 0, 1, 1, 20, 20);
    EXPECT_EQ(e.width, 1);
    EXPECT_EQ(e.Height, 1);
    EXPECT_EQ(e.Size, 1);
    EXPECT_EQ(r.of(Op::Text).at(0).fontSize, 14);
}

TEST_F(DrawTest, CaptionGhostOutlinesItsLastMeasuredBlock) {
    TCaption c;
    c.xPos = -1;
    c.yPos = 2;
    c.width = 3;
    c.Height = 2;
    r.setTransform(10, 2, 2);
    c.drawGhost(r, 5, 6, 1.5, 0.5, 20, 20);
    auto lines = r.of(Op::Line);
    ASSERT_EQ(lines.size(), 4u);
    const double x1 = 5 - 30, y1 = 6 + 20, x2 = 5 + 60, y2 = 6 + 40;
    const double want[4][4] = {{x1, y1, x2, y1}, {x2, y1, x2, y2}, {x2, y2, x1, y2}, {x1, y2, x1, y1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(lines[i].x, want[i][0]);
        EXPECT_DOUBLE_EQ(lines[i].y, want[i][1]);
        EXPECT_DOUBLE_EQ(lines[i].x2, want[i][2]);
        EXPECT_DOUBLE_EQ(lines[i].y2, want[i][3]);
        EXPECT_EQ(lines[i].sx, 1);
        EXPECT_EQ(lines[i].rot, 0);
    }
}

// Every mode but the default one ends with its frame of the mode image at the truncated mouse.
TEST_F(DrawTest, ModeCursorFramesAndPosition) {
    b->modeDevice_Draft = draft(2, 2);
    const std::pair<int, int> modes[] = {{TBoardEngine::modeDevice, 0}, {TBoardEngine::modeCaption, 3},
                                         {TBoardEngine::modeInvert, 4}, {TBoardEngine::modeRemove, 5},
                                         {TBoardEngine::modeIC, 6},     {TBoardEngine::modeMove, 2}};
    b->mx = 33;
    b->my = -67;
    for (auto [mode, frame] : modes) {
        b->currentMode = mode;
        r.reset();
        r.setColor(9, 9, 9);
        r.setAlpha(0.3);
        b->Draw(r, 10.7, 0.5, 1.5, 1.5, 300, 200);
        auto cur = r.ofImage(pics->mode.get());
        ASSERT_EQ(cur.size(), 1u) << mode;
        EXPECT_EQ(cur[0].frame, frame);
        EXPECT_EQ(cur[0].x, 60);    // 10.7 + 49.5 = 60.2
        EXPECT_EQ(cur[0].y, -100);  // 0.5 - 100.5 = -100.0
        EXPECT_EQ(cur[0].sx, 1);
        EXPECT_EQ(cur[0].alpha, 1);
        EXPECT_EQ(cur[0].r + cur[0].g + cur[0].b, 0);
    }
    b->currentMode = TBoardEngine::modeDefault;
    r.reset();
    b->Draw(r, 10.7, 0.5, 1.5, 1.5, 300, 200);
    EXPECT_EQ(r.ofImage(pics->mode.get()).size(), 0u);
}

TEST_F(DrawTest, DeviceModeGhostsAtGridPointAndMouse) {
    b->addDevice(draft(2, 2), 0, 0);
    b->startDeviceMode(TSwich::Create(1));
    for (int x : {0, 6}) {  // on the device: red; free: green
        b->Update(20 * x + 3, 4, 0, 0, 0);
        r.reset();
        b->Draw(r, 10, 20, 2, 2, 400, 300);
        auto faces = r.ofImage(pics->swich.get());
        ASSERT_EQ(faces.size(), 2u);
        EXPECT_EQ(faces[0].frame, 4);
        EXPECT_DOUBLE_EQ(faces[0].x, 10 + 40 * x);
        EXPECT_DOUBLE_EQ(faces[0].y, 20);
        EXPECT_EQ(faces[0].r, x == 0 ? 255 : 0);
        EXPECT_EQ(faces[0].g, x == 0 ? 0 : 255);
        EXPECT_EQ(faces[0].alpha, 0.5);
        EXPECT_DOUBLE_EQ(faces[1].x, 10 + 2 * (20 * x + 3));
        EXPECT_DOUBLE_EQ(faces[1].y, 20 + 2 * 4);
        EXPECT_EQ(faces[1].r + faces[1].g + faces[1].b, 765);
        EXPECT_EQ(faces[1].alpha, 0.25);
    }
}

TEST_F(DrawTest, RemoveModeShowsWhatAPressWouldTake) {
    auto d = b->addDevice(TSwich::Create(0), 0, 0);
    b.wire(1, 0, 3, 0);
    auto c1 = TCaption::Create();
    auto c2 = TCaption::Create();
    c1->xPos = 10;
    c2->xPos = 20;
    b->captionList = {c1, c2};
    b->startRemoveMode();
    b->Update(20, 0, 0, 0, 0);  // over the switch's edge and the wire end at (1, 0)
    r.reset();
    b->Draw(r, 0, 0, 1, 1, 800, 300);
    auto faces = r.ofImage(pics->swich.get());
    ASSERT_EQ(faces.size(), 2u);  // the switch, then its red ghost
    EXPECT_EQ(faces[1].r, 255);
    EXPECT_EQ(faces[1].g, 0);
    EXPECT_EQ(faces[1].alpha, 0.5);
    // The net is drawn again, then its one segment ending at (1, 0) in red over it.
    auto wire = r.ofImage(pics->wire.get());
    ASSERT_EQ(wire.size(), 2u * 3 + 2u * 3 + 3u);
    for (size_t i = 12; i < 15; ++i) {
        EXPECT_EQ(wire[i].r, 255);
        EXPECT_EQ(wire[i].alpha, 1);
    }
    EXPECT_DOUBLE_EQ(wire[12].x, 20);
    EXPECT_DOUBLE_EQ(wire[14].x, 40);
    // Caption outlines: none under the mouse, so both black at half alpha.
    auto lines = r.of(Op::Line);
    ASSERT_EQ(lines.size(), 8u);
    for (const auto& l : lines) {
        EXPECT_EQ(l.r, 0);
        EXPECT_EQ(l.alpha, 0.5);
    }
    (void)d;
}

TEST_F(DrawTest, MoveModeMarkedDraggedAndMouseGhosts) {
    auto d = b->addDevice(TSwich::Create(0), 0, 0);
    b->startMoveMode();
    b->Update(0, 0, 0, 0, 0);
    r.reset();
    b->Draw(r, 0, 0, 1, 1, 400, 300);
    auto faces = r.ofImage(pics->swich.get());
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces[1].g, 255);
    EXPECT_EQ(faces[1].r, 0);
    EXPECT_EQ(faces[1].alpha, 1);

    b->Update(0, 0, 1, 1, 0);   // picked up
    b->Update(85, 41, 0, 1, 0);  // held over (4, 2)
    r.reset();
    b->Draw(r, 0, 0, 1, 1, 400, 300);
    faces = r.ofImage(pics->swich.get());
    // The device still in place, the marked ghost faded, the drop ghost, the mouse ghost.
    ASSERT_EQ(faces.size(), 4u);
    EXPECT_DOUBLE_EQ(faces[0].x, 0);
    EXPECT_DOUBLE_EQ(faces[1].x, 0);
    EXPECT_EQ(faces[1].alpha, 0.5);
    EXPECT_DOUBLE_EQ(faces[2].x, 80);
    EXPECT_DOUBLE_EQ(faces[2].y, 40);
    EXPECT_EQ(faces[2].g, 255);
    EXPECT_EQ(faces[2].alpha, 0.5);
    EXPECT_DOUBLE_EQ(faces[3].x, 85);
    EXPECT_DOUBLE_EQ(faces[3].y, 41);
    EXPECT_EQ(faces[3].r + faces[3].g + faces[3].b, 765);
    EXPECT_EQ(faces[3].alpha, 0.5);
    (void)d;
}

TEST_F(DrawTest, CaptionModeOutlinesTheCaptionUnderTheMouseInGreen) {
    auto c1 = TCaption::Create();
    auto c2 = TCaption::Create();
    c1->width = c1->Height = c2->width = c2->Height = 1;
    c2->xPos = 5;
    b->captionList = {c1, c2};
    b->startCaptionMode();
    b->Update(105, 5, 0, 0, 0);
    r.reset();
    b->Draw(r, 0, 0, 1, 1, 400, 300);
    auto lines = r.of(Op::Line);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].g, 0);
    EXPECT_EQ(lines[4].g, 255);
    EXPECT_EQ(lines[4].r, 0);
    EXPECT_EQ(lines[4].alpha, 0.5);
}

// Skipping what lies outside the view must not lose a call of anything that reaches into it:
// a title or pin caption longer than the body, a connector or inversion ring half over the edge,
// a caption's shadow. The frame with skipping must equal the layers drawn without it.
TEST_F(DrawTest, OffScreenSkippingKeepsEveryCallThatReachesTheView) {
    const double W = 400, H = 300;
    // View origin at (4, 5). A body 150 px left of the view whose title reaches 16 px in.
    auto longTitle = std::make_shared<Titled>(2, 2, "A title far longer than the body");
    b->addDevice(longTitle, -9, 5);
    // A body 250 px left of the view whose pin caption (its pin on no edge) reaches 50 px in.
    auto pinned = draft(2, 2, {}, {{3, 0}});
    pinned->output_cap[0] = "a rather long pin caption that goes on";
    b->addDevice(pinned, -14, 3);
    // Bodies just past the right and bottom edges: only half a connector and a ring reach in.
    b->addDevice(draft(2, 2, {}, {{-1, 0}}), 21, 3);  // pin at screen x 404
    auto below = b->addDevice(draft(2, 2, {{0, -1}}, {}), 10, 16);  // pin at screen y 305
    below->invertedInputs[0] = 1;
    // A net running out of the view on the left, and a caption mostly above the view.
    b.wire(-3, 0, 0, 0);
    auto cap = TCaption::Create();
    cap->txt = "shadow";
    cap->bShadow = 1;
    cap->xPos = 3;
    cap->yPos = -1;
    b->captionList.push_back(cap);
    b->startDefaultMode();  // drawing the wire left wire mode on, whose cursor the layers lack

    auto drawBoth = [&](double xm, double ym) {
        b->mark_x.clear();  // the layers alone draw no marks
        b->mark_y.clear();
        b->mark_color.clear();
        r.reset();
        b->Draw(r, xm, ym, 1, 1, W, H);
        auto culled = r.calls;
        r.reset();
        b->DrawBackground(r, xm, ym, 1, 1, W, H);
        b->DrawWires(r, xm, ym, 1, 1, 20, 20);
        b->DrawDevices(r, xm, ym, 1, 1, 20, 20);
        b->DrawCaptions(r, xm, ym, 1, 1, 20, 20);
        return std::make_pair(culled, r.calls);
    };
    auto [culled, full] = drawBoth(4, 5);
    ASSERT_EQ(culled.size(), full.size());
    for (size_t i = 0; i < full.size(); ++i) {
        EXPECT_EQ(culled[i].op, full[i].op) << i;
        EXPECT_EQ(culled[i].x, full[i].x) << i;
        EXPECT_EQ(culled[i].y, full[i].y) << i;
        EXPECT_EQ(culled[i].image, full[i].image) << i;
    }
    // Moving the view far away leaves the background alone.
    auto [none, all] = drawBoth(-5000, -5000);
    EXPECT_EQ(none.size(), 1u);
    EXPECT_GT(all.size(), 40u);
}

TEST_F(DrawTest, SkippedThingsStillLoseTheirOneFrameFlags) {
    auto sw = b->addDevice(TSwich::Create(0), 100, 100);
    b.wire(100, 98, 104, 98);
    WirePtr w = b->wireComplexList.at(0);
    sw->mouseOver();
    w->highlightIt = 1;
    auto cap = TCaption::Create();
    cap->txt = "abc";
    cap->xPos = 200;
    b->captionList.push_back(cap);
    b->Draw(r, 0, 0, 1, 1, 300, 200);
    EXPECT_EQ(r.ofImage(pics->swich.get()).size(), 0u);
    EXPECT_EQ(r.ofImage(pics->wire.get()).size(), 0u);
    EXPECT_EQ(r.count(Op::Text), 0u);
    EXPECT_EQ(sw->hover, 0);
    EXPECT_EQ(w->highlightIt, 0);
    EXPECT_EQ(cap->width, 1) << "still measured (it was 0), so hit tests stay right";
}

TEST_F(DrawTest, EmptyImageSetDrawsWithoutImages) {
    RecordingRenderer bare;  // no image set at all
    b->bNetOn = b->bGridOn = b->bBorderOn = 1;
    auto d = b->addDevice(TSwich::Create(0), 0, 0);
    b.wire(1, 0, 3, 0);
    auto cap = TCaption::Create();
    cap->txt = "x";
    b->captionList.push_back(cap);
    for (int mode = 0; mode < 8; ++mode) {
        b->currentMode = mode;
        b->Update(0, 0, 0, 0, 0);
        b->Draw(bare, 0, 0, 1, 1, 100, 100);
    }
    for (const auto& c : bare.calls)
        if (c.op == Op::Image || c.op == Op::ImageRect) {
            EXPECT_EQ(c.image, nullptr);
        }
    (void)d;
}

namespace {

// The screen box a recorded call paints into, from its image frame, handle, scale and rotation,
// or its text, rectangle, line or pixel.
struct CallBox {
    double l, t, r, b;
};
CallBox boxOf(const DrawCall& c) {
    auto frame = [&](double w, double h, double hx, double hy, double sx, double sy) {
        const double xs[4] = {-hx * sx, (w - hx) * sx, (w - hx) * sx, -hx * sx};
        const double ys[4] = {-hy * sy, -hy * sy, (h - hy) * sy, (h - hy) * sy};
        const double rad = c.rot * M_PI / 180, co = std::cos(rad), si = std::sin(rad);
        CallBox bx{INFINITY, INFINITY, -INFINITY, -INFINITY};
        for (int i = 0; i < 4; ++i) {
            const double x = c.x + xs[i] * co - ys[i] * si, y = c.y + xs[i] * si + ys[i] * co;
            bx = {std::min(bx.l, x), std::min(bx.t, y), std::max(bx.r, x), std::max(bx.b, y)};
        }
        return bx;
    };
    switch (c.op) {
        case Op::Image:
            return frame(c.image->frameWidth(), c.image->frameHeight(), c.image->handleX(), c.image->handleY(), c.sx,
                         c.sy);
        case Op::ImageRect: {
            const double kx = c.w / c.image->frameWidth(), ky = c.h / c.image->frameHeight();
            return frame(c.w, c.h, c.image->handleX() * kx, c.image->handleY() * ky, c.sx, c.sy);
        }
        case Op::Text:
            return {c.x, c.y, c.x + c.font->textWidth(c.text) * c.sx, c.y + c.font->textHeight(c.text) * c.sy};
        case Op::Rect: return {c.x, c.y, c.x + c.w, c.y + c.h};
        case Op::Line:
            return {std::min(c.x, c.x2), std::min(c.y, c.y2), std::max(c.x, c.x2) + 1, std::max(c.y, c.y2) + 1};
        case Op::Plot: return {c.x, c.y, c.x + 1, c.y + 1};
        default: return {-INFINITY, -INFINITY, INFINITY, INFINITY};
    }
}

// The calls that reach into the view [0, w] x [0, h], each with the state it was drawn in.
std::vector<DrawCall> onScreen(const std::vector<DrawCall>& calls, double w, double h) {
    std::vector<DrawCall> out;
    for (const DrawCall& c : calls) {
        if (c.op == Op::Image || c.op == Op::ImageRect) {
            if (!c.image) continue;
        }
        const CallBox bx = boxOf(c);
        if (bx.r < 0 || bx.b < 0 || bx.l > w || bx.t > h) continue;
        out.push_back(c);
    }
    return out;
}

// Equal in everything that shapes the pixels (the font in force matters to text only).
bool sameCall(const DrawCall& a, const DrawCall& b) {
    return a.op == b.op && a.r == b.r && a.g == b.g && a.b == b.b && a.alpha == b.alpha && a.blend == b.blend &&
           a.rot == b.rot && a.sx == b.sx && a.sy == b.sy && (a.op != Op::Text || a.font == b.font) &&
           a.image == b.image &&
           a.frame == b.frame && a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h && a.x2 == b.x2 &&
           a.y2 == b.y2 && a.text == b.text;
}

}  // namespace

// Random boards seen through views of several positions and zooms: devices of every size with
// titles and pin captions longer than their bodies, standing across the view's edges; nets with
// long diagonal segments that only cross the view; inverted pins; lit lamps. The frame drawn
// with the board's view queries must make exactly the calls that reach into the view of the
// frame drawn by visiting everything, in the same order and state, and no more than a margin's
// worth of others.
TEST_F(DrawTest, ViewQueriesDrawTheSameCallsAsVisitingEverything) {
    const double W = 320, H = 240;
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    std::vector<DraftPtr> kinds = {std::make_shared<Titled>(2, 2, "Ein sehr langer Titel"),
                                   std::make_shared<Titled>(3, 5, "x"), TSwich::Create(1), TLed::Create(255, 0, 0)};
    auto capped = draft(2, 3, {{-1, 0}, {0, 2}}, {{1, 0}, {4, 4}});
    capped->input_cap = {"in", "langer Eingang"};
    capped->output_cap = {"", "ein Ausgang weit neben dem Gehaeuse"};
    kinds.push_back(capped);
    int checkedCalls = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        Board board;
        board->bNetOn = board->bGridOn = board->bBorderOn = 0;
        for (int i = 0; i < 120; ++i) {
            auto d = makePooled<TDevice>(kinds[rng() % kinds.size()], pick(-30, 50), pick(-30, 40));
            d->data = pick(0, 1);
            for (auto inv : d->invertedInputs) inv = pick(0, 1);
            board->deviceList.push_back(d);
        }
        for (int i = 0; i < 40; ++i) {
            auto w = makePooled<TWireComplex>();
            w->State = pick(0, 1);
            int x = pick(-60, 80), y = pick(-60, 70);
            for (int k = pick(1, 4); k > 0; --k) {
                // Long diagonals as often as short hops.
                const int nx = x + (k % 2 ? pick(-90, 90) : pick(-3, 3)), ny = y + (k % 2 ? pick(-90, 90) : pick(-3, 3));
                w->addWire(x, y, nx, ny);
                x = nx, y = ny;
            }
            board->wireComplexList.push_back(w);
        }
        board->invalidateIndex();
        const double zoom = std::array<double, 4>{1, 0.5, 1.75, 0.2}[round % 4];
        const double xm = pick(-400, 300), ym = pick(-300, 250);
        r.setPics(pics);
        r.reset();
        board->Draw(r, xm, ym, zoom, zoom, W, H);
        std::vector<DrawCall> culled(r.calls.begin() + 1, r.calls.end());  // after the clear
        r.reset();
        board->DrawWires(r, xm, ym, zoom, zoom, 20, 20);
        board->DrawDevices(r, xm, ym, zoom, zoom, 20, 20);
        board->DrawCaptions(r, xm, ym, zoom, zoom, 20, 20);
        const std::vector<DrawCall> all = r.calls;
        const auto want = onScreen(all, W, H), got = onScreen(culled, W, H);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_TRUE(sameCall(got[i], want[i]))
                << "call " << i << ": op " << static_cast<int>(got[i].op) << " / " << static_cast<int>(want[i].op)
                << " at " << got[i].x << "," << got[i].y << " / " << want[i].x << "," << want[i].y << " colour "
                << got[i].r << "," << got[i].g << "," << got[i].b << " / " << want[i].r << "," << want[i].g << ","
                << want[i].b << " frame " << got[i].frame << " / " << want[i].frame;
        checkedCalls += static_cast<int>(want.size());
        // The skipping did skip: most of the board lies outside each view.
        EXPECT_LT(culled.size(), all.size() / 2 + want.size());
    }
    EXPECT_GT(checkedCalls, 500);
}
