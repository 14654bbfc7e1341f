// How types, placed devices and nets draw: checked call by call on the recording renderer, with
// the box fonts of the test image set (size 14: 7 px per glyph, 14 high; size 24: 12 px, 24 high).
#include <gtest/gtest.h>

#include <cmath>

#include "model/Catalogue.h"
#include "model/Device.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/Wire.h"
#include "support/Circuit.h"
#include "support/RecordingRenderer.h"

using namespace gw;
using namespace gw::test;
using gwtest::Circuit;

namespace {

// A base-drawn type whose size, pins, captions and name a test sets freely.
class PlainDraft : public TFeatureDraft {
public:
    std::string name;
    int Update(const int*, int*, TDevice&) override { return 0; }
    int clickAble() const override { return 0; }
    std::string GetName() const override { return name; }
};

std::shared_ptr<PlainDraft> plain(int w, int h, std::string name = "") {
    auto d = std::make_shared<PlainDraft>();
    d->width = w;
    d->Height = h;
    d->name = std::move(name);
    return d;
}

struct Fixture : ::testing::Test {
    RecordingRenderer r;
    std::shared_ptr<Pics> pics = makeTestPics();
    void SetUp() override { r.setPics(pics); }
};

using DraftDraw = Fixture;
using NetDraw = Fixture;
using DeviceDraw = Fixture;
using KindDraw = Fixture;

}  // namespace

// Which edge a pin is on decides the connector frame and where its caption goes; corners go to
// the first matching test (right, left, bottom, top). Results truncate toward zero.
TEST_F(DraftDraw, PinSideConnectorFrameAndCaptionPlace) {
    struct Case {
        int w, h, x, y;
        double px;
        int frame;
        int tx, ty;  // caption top-left; caption "ab" is 14 x 14 unscaled
    };
    // sx 2, sy 1.5, py 50.25, cells 20 x 20. Pin point X = px + 40x, Y = 50.25 + 30y.
    const Case cases[] = {
        {4, 3, 2, 0, 100.5, 0, 142, 39},     // right: ends 5 zoomed px left of the pin, centred
        {4, 3, -2, 0, 100.5, 2, 30, 39},     // left: begins 5 zoomed px right of the pin
        {4, 3, 1, 2, 100.5, 1, 126, 81},     // bottom of an odd height is +1: centred, above
        {4, 3, 1, -1, 100.5, 3, 126, 27},    // top: trunc(-3/2) = -1, centred, below
        {4, 3, 0, 0, 100.5, 0, 100, 50},     // on no edge: caption corner at the pin
        {4, 3, 2, 2, 100.5, 0, 142, 99},     // a corner counts as the right edge
        {5, 3, 3, 0, 100.5, 0, 182, 39},     // odd width: right edge at 5/2 + 1
        {5, 3, -3, 0, 100.5, 0, -19, 50},    // ... and -3 is on no edge (left is -2)
        {4, 3, -2, 0, -100.5, 2, -170, 39},  // -170.5 truncates to -170, not -171
    };
    for (const Case& c : cases) {
        auto d = plain(c.w, c.h);
        r.reset();
        r.setColor(0, 0, 0);
        d->_drawConnection(r, "ab", c.x, c.y, c.px, 50.25, 2, 1.5, 20, 20, nullptr);
        SCOPED_TRACE(testing::Message() << "w" << c.w << " h" << c.h << " pin " << c.x << "," << c.y);
        auto con = r.ofImage(pics->connections.get());
        ASSERT_EQ(con.size(), 1u);
        EXPECT_EQ(con[0].frame, c.frame);
        EXPECT_DOUBLE_EQ(con[0].x, c.px + 40 * c.x);
        EXPECT_DOUBLE_EQ(con[0].y, 50.25 + 30 * c.y);
        EXPECT_EQ(con[0].rot, 0);
        EXPECT_EQ(con[0].sx, 2);
        EXPECT_EQ(con[0].sy, 1.5);
        auto text = r.of(Op::Text);
        ASSERT_EQ(text.size(), 1u);
        EXPECT_EQ(text[0].text, "ab");
        EXPECT_EQ(text[0].fontSize, 14);
        EXPECT_EQ(text[0].x, c.tx);
        EXPECT_EQ(text[0].y, c.ty);
    }
}

TEST_F(DraftDraw, EmptyCaptionDrawsOnlyTheConnector) {
    auto d = plain(4, 4);
    d->_drawConnection(r, "", 2, 0, 0, 0, 1, 1, 20, 20, nullptr);
    EXPECT_EQ(r.ofImage(pics->connections.get()).size(), 1u);
    EXPECT_EQ(r.count(Op::Text), 0u);
}

// drawConnections goes through the reported positions: an input of an odd-width type sits one
// cell further right than stored, so a stored -3 of a width-5 type is on the left edge.
TEST_F(DraftDraw, ConnectionsUseReportedPinsInputsThenOutputsInBlack) {
    auto d = plain(5, 8);
    d->input_xpos = {-3, -3};
    d->input_ypos = {-3, 0};
    d->input_cap = {"a", "b"};
    d->output_xpos = {3};
    d->output_ypos = {1};
    d->output_cap = {"q"};
    r.setColor(9, 9, 9);
    d->drawConnections(r, 0, 0, 1, 1, 20, 20, nullptr);
    auto con = r.ofImage(pics->connections.get());
    ASSERT_EQ(con.size(), 3u);
    EXPECT_EQ(con[0].frame, 2);
    EXPECT_DOUBLE_EQ(con[0].x, -40);
    EXPECT_DOUBLE_EQ(con[0].y, -60);
    EXPECT_DOUBLE_EQ(con[1].y, 0);
    EXPECT_EQ(con[2].frame, 0);
    EXPECT_DOUBLE_EQ(con[2].x, 60);
    auto text = r.of(Op::Text);
    ASSERT_EQ(text.size(), 3u);
    for (const auto& t : text) EXPECT_EQ(t.r + t.g + t.b, 0);
    EXPECT_EQ(text[2].text, "q");
}

// drawConnections hands runs of connectors to the renderer together; what it draws, in what
// order and with what state, must stay what drawing every pin through _drawConnection gives:
// each caption right after its own connector, runs longer than one batch of parts, pins on
// every edge and off the edges.
TEST_F(DraftDraw, ConnectionsDrawWhatEachPinDrawsInOrder) {
    auto d = plain(6, 9);
    r.setImageFont(nullptr);
    for (int i = 0; i < 21; ++i) {
        d->input_xpos.push_back(i % 4 == 0 ? -3 : i % 4 == 1 ? 3 : (i % 7) - 3);
        d->input_ypos.push_back(i % 4 == 2 ? -4 : i % 4 == 3 ? 5 : (i % 9) - 4);
        d->input_cap.push_back(i % 5 == 1 || i > 17 ? std::string(1, static_cast<char>('a' + i)) : "");
    }
    d->output_xpos = {3, 1, 0};
    d->output_ypos = {0, 5, 1};
    d->output_cap = {"", "q", ""};
    r.setColor(9, 9, 9);
    d->drawConnections(r, 10.5, 20.25, 1.5, 0.75, 20, 20, nullptr);
    const auto together = r.calls;
    r.reset();
    r.setImageFont(nullptr);
    r.setColor(9, 9, 9);
    r.setTransform(0, 1.5, 0.75);
    r.setColor(0, 0, 0);
    for (int i = 0; i < d->countInputs(); ++i)
        d->_drawConnection(r, d->getInputCap(i), d->getInputXPos(i), d->getInputYPos(i), 10.5, 20.25, 1.5, 0.75, 20,
                           20, nullptr);
    for (int i = 0; i < d->countOutputs(); ++i)
        d->_drawConnection(r, d->getOutputCap(i), d->getOutputXPos(i), d->getOutputYPos(i), 10.5, 20.25, 1.5, 0.75,
                           20, 20, nullptr);
    ASSERT_EQ(together.size(), r.calls.size());
    EXPECT_EQ(together.size(), 24u + 8u);
    for (size_t i = 0; i < together.size(); ++i) {
        SCOPED_TRACE(i);
        const DrawCall &a = together[i], &b = r.calls[i];
        EXPECT_EQ(a.op, b.op);
        EXPECT_EQ(a.frame, b.frame);
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.text, b.text);
        EXPECT_EQ(a.sx, b.sx);
        EXPECT_EQ(a.sy, b.sy);
        EXPECT_EQ(a.rot, b.rot);
        EXPECT_EQ(a.r + a.g + a.b, 0);
        EXPECT_EQ(a.font, b.font);
    }
}

// The title is centred on the body centre, which lies half a cell right/down for odd sizes.
TEST_F(DraftDraw, TitleCentredWithOddAndEvenSizes) {
    struct Case {
        int w, h;
        int x, y;
    };
    // "Abc" in the size-24 box font is 36 x 24; px 100.7, py 50, sx 2, sy 1.5.
    const Case cases[] = {
        {4, 2, 64, 32},  // trunc(100.7 - 36), trunc(50 - 18)
        {5, 3, 84, 47},  // + half a cell: 20, 15
        {5, 2, 84, 32},
        {4, 3, 64, 47},
    };
    for (const Case& c : cases) {
        auto d = plain(c.w, c.h, "Abc");
        r.reset();
        r.setColor(255, 0, 0);
        d->_drawTitle(r, 100.7, 50, 2, 1.5, 20, 20, nullptr);
        auto text = r.of(Op::Text);
        ASSERT_EQ(text.size(), 1u);
        EXPECT_EQ(text[0].x, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(text[0].y, c.y) << c.w << "x" << c.h;
        EXPECT_EQ(text[0].fontSize, 24);
        EXPECT_EQ(text[0].r + text[0].g + text[0].b, 0);
        EXPECT_EQ(text[0].sx, 2);
    }
}

// The body tint multiplies the caller's colour (so ghosts darken it) and the caller's colour is
// given back afterwards.
TEST_F(DraftDraw, BodyTintMultipliesCurrentColourAndRestoresIt) {
    auto d = plain(4, 2);
    d->colR = 200;
    d->colG = 200;
    d->colB = 255;
    r.setColor(128, 128, 128);
    r.setAlpha(0.5);
    d->_drawArea(r, -2, -1, 4, 2, 100, 60, 2, 1, 20, 20);
    auto body = r.ofImage(pics->device->image.get());
    ASSERT_EQ(body.size(), 9u);
    for (const auto& b : body) {
        EXPECT_EQ(b.r, 100);
        EXPECT_EQ(b.g, 100);
        EXPECT_EQ(b.b, 128);
        EXPECT_EQ(b.alpha, 0.5);
    }
    // Top-left corner at (px + fx*x*sx, py + fy*y*sy); bottom-right corner tile ends at
    // (px + fx*(x+w)*sx, py + fy*(y+h)*sy).
    EXPECT_EQ(body[0].frame, 0);
    EXPECT_DOUBLE_EQ(body[0].x, 100 - 80);
    EXPECT_DOUBLE_EQ(body[0].y, 60 - 20);
    EXPECT_EQ(body[3].frame, 8);
    EXPECT_DOUBLE_EQ(body[3].x + 20 * body[3].sx, 100 + 80);
    EXPECT_DOUBLE_EQ(body[3].y + 20 * body[3].sy, 60 + 20);
    int cr, cg, cb;
    r.getColor(cr, cg, cb);
    EXPECT_EQ(cr, 128);
    EXPECT_EQ(cb, 128);
}

TEST_F(DraftDraw, GhostOfBaseTypeIsDrawWithoutDevice) {
    auto d = plain(4, 3, "G");
    d->input_xpos = {-2};
    d->input_ypos = {0};
    d->input_cap = {"x"};
    r.setColor(0, 255, 0);
    r.setAlpha(0.5);
    d->DrawGhost(r, 33, 44, 1.5, 1.5, 20, 20);
    auto ghost = r.calls;
    r.reset();
    r.setColor(0, 255, 0);
    r.setAlpha(0.5);
    d->Draw(r, 33, 44, 1.5, 1.5, 20, 20, nullptr);
    ASSERT_EQ(ghost.size(), r.calls.size());
    ASSERT_GT(ghost.size(), 10u);
    for (size_t i = 0; i < ghost.size(); ++i) {
        EXPECT_EQ(ghost[i].op, r.calls[i].op);
        EXPECT_EQ(ghost[i].x, r.calls[i].x);
        EXPECT_EQ(ghost[i].frame, r.calls[i].frame);
        EXPECT_EQ(ghost[i].g, r.calls[i].g);
    }
    // Body (tint white x green), then connectors and caption in black, then the title.
    EXPECT_EQ(ghost.front().g, 255);
    EXPECT_EQ(ghost.front().r, 0);
    EXPECT_EQ(ghost.back().text, "G");
}

TEST_F(NetDraw, WireCapsBodyScaleAndAngle) {
    struct Case {
        double x1, y1, x2, y2;
        double angle, bodyScaleX;
    };
    const double sx = 2, sy = 3;
    const Case cases[] = {
        {10, 10, 40, 50, std::atan2(40.0, 30.0) * 180 / M_PI, (50 - sx * 5) / 5},
        {10, 10, 10, 0, 270, (10 - sx * 5) / 5},   // up: -90 becomes 270
        {10, 10, 0, 10, 180, (10 - sx * 5) / 5},
        {10, 10, 30, 10, 0, (20 - sx * 5) / 5},
        {7, 7, 7, 7, 0, -sx},                       // zero length: body flips, caps cover it
    };
    for (const Case& c : cases) {
        r.reset();
        TWireComplex::DrawWire(r, c.x1, c.y1, c.x2, c.y2, sx, sy);
        auto parts = r.ofImage(pics->wire.get());
        ASSERT_EQ(parts.size(), 3u);
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(parts[i].frame, i);
            EXPECT_NEAR(parts[i].rot, c.angle, 1e-9);
            EXPECT_EQ(parts[i].sy, sy);
        }
        EXPECT_EQ(parts[0].x, c.x1);
        EXPECT_EQ(parts[0].y, c.y1);
        EXPECT_EQ(parts[0].sx, sx);
        EXPECT_DOUBLE_EQ(parts[1].x, (c.x1 + c.x2) / 2);
        EXPECT_DOUBLE_EQ(parts[1].y, (c.y1 + c.y2) / 2);
        EXPECT_DOUBLE_EQ(parts[1].sx, c.bodyScaleX);
        EXPECT_EQ(parts[2].x, c.x2);
        EXPECT_EQ(parts[2].sx, sx);
    }
}

// Junction marks come from segment ends only: three or more ends at a point give one mark.
TEST_F(NetDraw, JunctionMarksOnlyWhereThreeOrMoreEndsMeet) {
    struct Case {
        const char* what;
        std::vector<TLine> lines;
        std::vector<std::pair<int, int>> marks;
    };
    const Case cases[] = {
        {"T", {{0, 0, 1, 0}, {1, 0, 2, 0}, {1, 0, 1, 1}}, {{1, 0}}},
        {"bend", {{0, 0, 1, 0}, {1, 0, 1, 1}}, {}},
        {"straight", {{0, 0, 1, 0}, {1, 0, 2, 0}}, {}},
        {"end inside a segment", {{0, 0, 2, 0}, {1, 0, 1, 1}}, {}},
        {"cross", {{0, 0, 1, 0}, {1, 0, 2, 0}, {1, -1, 1, 0}, {1, 0, 1, 1}}, {{1, 0}}},
        {"two junctions", {{0, 0, 1, 0}, {1, 0, 2, 0}, {1, 0, 1, 1}, {2, 0, 3, 0}, {2, 0, 2, 1}}, {{1, 0}, {2, 0}}},
    };
    for (const Case& c : cases) {
        TWireComplex n;
        for (const TLine& l : c.lines) n.addWire(l.sx, l.sy, l.ex, l.ey);
        r.reset();
        n.Draw(r, 5, 7, 2, 2, 20, 20, 0);
        auto marks = r.ofImage(pics->mark.get());
        ASSERT_EQ(marks.size(), c.marks.size()) << c.what;
        for (size_t i = 0; i < marks.size(); ++i) {
            EXPECT_DOUBLE_EQ(marks[i].x, 5 + 40 * c.marks[i].first) << c.what;
            EXPECT_DOUBLE_EQ(marks[i].y, 7 + 40 * c.marks[i].second) << c.what;
            EXPECT_EQ(marks[i].rot, 0) << c.what;  // the wires left a rotation behind
            EXPECT_EQ(marks[i].sx, 2) << c.what;
        }
        EXPECT_EQ(r.ofImage(pics->wire.get()).size(), 3 * c.lines.size()) << c.what;
    }
}

// Knots are rebuilt lazily after the segment list changed, so a new branch gets its mark in the
// frame it appears in.
TEST_F(NetDraw, MarksFollowSegmentsAddedAfterAFrame) {
    TWireComplex n;
    n.addWire(0, 0, 1, 0);
    n.addWire(1, 0, 2, 0);
    n.Draw(r, 0, 0, 1, 1, 20, 20, 0);
    EXPECT_EQ(r.ofImage(pics->mark.get()).size(), 0u);
    n.addWire(1, 0, 1, 1);
    r.reset();
    n.Draw(r, 0, 0, 1, 1, 20, 20, 0);
    EXPECT_EQ(r.ofImage(pics->mark.get()).size(), 1u);
}

TEST_F(NetDraw, ColourBySignalHighlightForOneFrameOwnColourKept) {
    struct Case {
        int state, highlight, own;
        int r, g, b;
        int highlightAfter;
    };
    const Case cases[] = {
        {1, 0, 0, 0, 0, 180, 0},
        {0, 0, 0, 0, 0, 0, 0},
        {1, 1, 0, 50, 50, 200, 0},
        {0, 1, 0, 50, 50, 50, 0},
        {1, 1, 1, 255, 0, 0, 1},  // caller's colour stays and the flag is not touched
    };
    for (const Case& c : cases) {
        TWireComplex n;
        n.addWire(0, 0, 1, 0);
        n.addWire(1, 0, 2, 0);
        n.addWire(1, 0, 1, 1);
        n.State = c.state;
        n.highlightIt = c.highlight;
        r.reset();
        r.setColor(255, 0, 0);
        n.Draw(r, 0, 0, 1, 1, 20, 20, c.own);
        for (const auto& call : r.calls) {
            EXPECT_EQ(call.r, c.r);
            EXPECT_EQ(call.g, c.g);
            EXPECT_EQ(call.b, c.b);
        }
        EXPECT_EQ(r.calls.size(), 3u * 3 + 1);  // marks share the wire colour
        EXPECT_EQ(n.highlightIt, c.highlightAfter);
    }
    // The next frame after a highlighted one is back to the signal colour.
    TWireComplex n;
    n.addWire(0, 0, 1, 0);
    n.State = 1;
    n.highlightIt = 1;
    n.Draw(r, 0, 0, 1, 1, 20, 20, 0);
    r.reset();
    n.Draw(r, 0, 0, 1, 1, 20, 20, 0);
    EXPECT_EQ(r.calls.front().r, 0);
    EXPECT_EQ(r.calls.front().b, 180);
}

// Wired-pin marks show the net's value, not the value after the pin's inversion; inversion rings
// are drawn for every inverted pin, wired or not, at the reported pin positions.
TEST_F(DeviceDraw, WireConnectionMarksAndInversionRings) {
    Circuit c;
    auto d = plain(5, 3);
    d->input_xpos = {-3, -3};  // reported (-2, 0) and (-2, 1): both sizes odd
    d->input_ypos = {-1, 0};
    d->output_xpos = {3, 3};
    d->output_ypos = {0, 1};
    TDevice& dev = c.add(d, 2, 3);
    TWireComplex& hi = c.net();
    TWireComplex& lo = c.net();
    hi.State = 1;
    Circuit::in(dev, 0, hi);
    dev.invertedInputs[0] = 1;
    Circuit::out(dev, 1, lo);
    dev.invertedInputs[1] = 1;   // unwired but inverted
    dev.invertedOutputs[1] = 1;  // wired and inverted

    r.setColor(255, 255, 255);
    dev.drawWireConnections(r, 10, 20, 2, 2, 20, 20);
    auto marks = r.ofImage(pics->mark.get());
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].b, 180);  // net value 1, though the inverted pin reads 0
    EXPECT_DOUBLE_EQ(marks[0].x, 10 + 40 * (2 - 2));
    EXPECT_DOUBLE_EQ(marks[0].y, 20 + 40 * (3 + 0));
    EXPECT_EQ(marks[1].b, 0);
    EXPECT_DOUBLE_EQ(marks[1].x, 10 + 40 * (2 + 3));
    EXPECT_DOUBLE_EQ(marks[1].y, 20 + 40 * (3 + 1));

    r.reset();
    r.setTransform(45, 1, 1);
    dev.drawInvertedInputs(r, 10, 20, 2, 2, 20, 20);
    dev.drawInvertedOutputs(r, 10, 20, 2, 2, 20, 20);
    auto rings = r.ofImage(pics->connections.get());
    ASSERT_EQ(rings.size(), 3u);
    for (const auto& ring : rings) {
        EXPECT_EQ(ring.frame, 4);
        EXPECT_EQ(ring.rot, 0);
        EXPECT_EQ(ring.sx, 2);
    }
    EXPECT_DOUBLE_EQ(rings[1].y, 20 + 40 * (3 + 1));
    EXPECT_DOUBLE_EQ(rings[2].x, 10 + 40 * (2 + 3));
    EXPECT_DOUBLE_EQ(rings[2].y, 20 + 40 * (3 + 1));
}

// Hover lasts one frame: the device clears it when drawn. The switch face shows it.
TEST_F(DeviceDraw, DrawPlacesTypeAtGridPointAndClearsHover) {
    Circuit c;
    TDevice& push = c.add(TSwich::Create(0), -2, 3);
    TDevice& toggle = c.add(TSwich::Create(1), 0, 0);
    push.mouseOver();
    push.data = 1;
    push.Draw(r, 100, 50, 0.5, 0.5, 20, 20);
    toggle.Draw(r, 100, 50, 0.5, 0.5, 20, 20);
    toggle.mouseOver();
    toggle.Draw(r, 100, 50, 0.5, 0.5, 20, 20);
    push.Draw(r, 100, 50, 0.5, 0.5, 20, 20);
    auto faces = r.ofImage(pics->swich.get());
    ASSERT_EQ(faces.size(), 4u);
    EXPECT_EQ(faces[0].frame, 3);  // pressed under the mouse
    EXPECT_DOUBLE_EQ(faces[0].x, 100 - 20);
    EXPECT_DOUBLE_EQ(faces[0].y, 50 + 30);
    EXPECT_EQ(faces[1].frame, 4);
    EXPECT_EQ(faces[2].frame, 6);
    EXPECT_EQ(faces[3].frame, 1);  // hover gone
    EXPECT_EQ(push.hover, 0);
    // Switches draw only their face: no body, connectors or title.
    EXPECT_EQ(r.calls.size(), 4u);

    r.reset();
    TSwich::Create(1)->DrawGhost(r, 1, 2, 1, 1, 20, 20);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].frame, 4);
}

TEST_F(KindDraw, LedLampThenAdditiveHighlightGhostTinted) {
    Circuit c;
    TDevice& led = c.add(TLed::Create(255, 100, 50), 1, 1);
    led.data = 1;
    led.Draw(r, 0, 0, 1, 1, 20, 20);
    auto lamp = r.ofImage(pics->led.get());
    ASSERT_EQ(lamp.size(), 2u);
    EXPECT_EQ(lamp[0].frame, 1);
    EXPECT_EQ(lamp[0].g, 100);
    EXPECT_EQ(lamp[0].blend, BlendMode::Alpha);
    EXPECT_EQ(lamp[1].frame, 3);
    EXPECT_EQ(lamp[1].g, 255);
    EXPECT_EQ(lamp[1].blend, BlendMode::Light);
    EXPECT_EQ(r.getBlend(), BlendMode::Alpha);
    EXPECT_EQ(r.calls.size(), 2u);

    r.reset();
    r.setColor(0, 255, 0);
    led.draft->DrawGhost(r, 0, 0, 1, 1, 20, 20);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].frame, 0);
    EXPECT_EQ(r.calls[0].r, 0);
    EXPECT_EQ(r.calls[0].g, 100);
    EXPECT_EQ(r.calls[0].b, 0);
}

TEST_F(KindDraw, DigitDisplaySegmentsHighBitFirstInTintedColour) {
    Circuit c;
    TDevice& disp = c.add(TDigital::Create(0, 100, 100, 255), 0, 0);
    disp.data = 118;  // 5: bits 6 5 4 2 1
    r.setColor(255, 255, 128);
    disp.Draw(r, 200, 100, 2, 2, 20, 20);
    auto faces = r.ofImage(pics->digital.get());
    ASSERT_EQ(faces.size(), 6u);
    const int frames[] = {0, 7, 6, 5, 3, 2};
    for (size_t i = 0; i < faces.size(); ++i) {
        EXPECT_EQ(faces[i].frame, frames[i]);
        EXPECT_DOUBLE_EQ(faces[i].x, 200 + 20);  // half a cell right: the body is 5 wide
        EXPECT_DOUBLE_EQ(faces[i].y, 100);
    }
    EXPECT_EQ(faces[0].b, 128);   // unlit face in the current colour
    EXPECT_EQ(faces[1].r, 100);   // segments tinted: 255*100/255, 128*255/255
    EXPECT_EQ(faces[1].b, 128);
    EXPECT_EQ(r.ofImage(pics->connections.get()).size(), 4u);
    EXPECT_EQ(r.count(Op::Text), 0u);  // no title, no pin captions

    r.reset();
    disp.draft->DrawGhost(r, 0, 0, 1, 1, 20, 20);
    EXPECT_EQ(r.ofImage(pics->digital.get()).size(), 1u);
}

TEST_F(KindDraw, CounterBodyThenThreeRowControlBoxNoTitle) {
    Circuit c;
    TDevice& cnt = c.add(TCounter::Create(4), 0, 0);
    cnt.Draw(r, 100, 100, 1, 1, 20, 20);
    auto body = r.ofImage(pics->device->image.get());
    ASSERT_EQ(body.size(), 18u);
    // Both start at the body's top-left; the second box's bottom corner is 3 rows down.
    EXPECT_DOUBLE_EQ(body[0].x, 100 - 40);
    EXPECT_DOUBLE_EQ(body[0].y, 100 - 80);
    EXPECT_DOUBLE_EQ(body[9].y, 100 - 80);
    EXPECT_DOUBLE_EQ(body[3].y + 20, 100 + 80);
    EXPECT_DOUBLE_EQ(body[12].y + 20, 100 - 80 + 60);
    EXPECT_EQ(r.ofImage(pics->connections.get()).size(), 12u);
    for (const auto& t : r.of(Op::Text)) EXPECT_EQ(t.fontSize, 14);  // pin captions only
}

TEST_F(KindDraw, ClockPeriodLabelAndRandomGenerator) {
    struct Case {
        int time;
        const char* title;
        const char* label;
    };
    const Case cases[] = {{1500, "T", "1s"}, {10000, "T", "10s"}, {250, "T", "250ms"}, {0, "R", nullptr}};
    for (const Case& c : cases) {
        r.reset();
        auto t = TTicker::Create(c.time);
        t->Draw(r, 100.5, 100, 2, 2, 20, 20, nullptr);
        auto text = r.of(Op::Text);
        ASSERT_EQ(text.size(), c.label ? 2u : 1u) << c.time;
        EXPECT_EQ(text[0].text, c.title);
        if (!c.label) continue;
        EXPECT_EQ(text[1].text, c.label);
        EXPECT_EQ(text[1].fontSize, 9);
        const double w = 5.0 * std::string(c.label).size();
        EXPECT_EQ(text[1].x, static_cast<int>(100.5 - 0.5 * w * 2));
        EXPECT_EQ(text[1].y, static_cast<int>(100 + 0.9 * 20 * 2 - 9 * 2));
    }
}

// A type that says every device of it looks alike is drawn once per frame and repeated: its
// drawing must show nothing of a device's state. Each built-in type draws a fresh device and one
// with its data, pins, nets, inversions and hover all changed; the types that say so draw both
// the same, and the types that show state (switch, lamp, digit display) are seen to differ, so
// the comparison can tell.
TEST_F(KindDraw, TypesThatLookAlikeShowNoDeviceState) {
    int alike = 0, showingState = 0;
    for (const CatalogueEntry& entry : makeBuiltinCatalogue()) {
        SCOPED_TRACE(entry.name);
        Circuit c;
        TDevice& fresh = c.add(entry.draft, 3, 2);
        TDevice& busy = c.add(entry.draft, 3, 2);
        std::vector<WirePtr> nets;
        for (size_t i = 0; i < busy.inputs.size(); ++i) {
            nets.push_back(makePooled<TWireComplex>());
            nets.back()->State = 1;
            busy.inputs[i] = nets.back().get();
            busy.invertedInputs[i] = static_cast<int>(i % 2);
        }
        for (size_t i = 0; i < busy.outputs.size(); ++i) {
            nets.push_back(makePooled<TWireComplex>());
            busy.outputs[i] = nets.back().get();
            busy.invertedOutputs[i] = 1;
        }
        busy.Update();
        busy.Update();
        busy.data = 5;
        busy.hover = 1;
        std::vector<DrawCall> drawn[2];
        for (int k = 0; k < 2; ++k) {
            r.reset();
            r.resetState();
            r.setImageFont(nullptr);
            (k ? busy : fresh).Draw(r, 40.5, 30.25, 1.5, 1.25, 20, 20);
            drawn[k] = r.calls;
        }
        ASSERT_FALSE(drawn[0].empty());
        if (entry.draft->drawsEveryDeviceAlike()) {
            ++alike;
            EXPECT_EQ(drawn[0], drawn[1]);
        } else if (drawn[0] != drawn[1]) {
            ++showingState;
        }
    }
    EXPECT_GT(alike, 20);         // gates, adders, the memory cell
    EXPECT_GE(showingState, 3);   // switches, lamps, digit displays
}

