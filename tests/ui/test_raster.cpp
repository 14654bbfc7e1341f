// The raster renderer's own drawing paths give the pictures QPainter gives: tall and stretched
// image quads drawn by our span loop (MappedBlit) against QPainter drawing the same quad, a long
// wire drawn into a view against the same wire drawn whole into a target large enough to hold
// it, and rectangles filled in bands of rows against one QPainter fill. Runs without a display
// (offscreen platform).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "model/Wire.h"
#include "ui/raster/MappedBlit.h"
#include "ui/raster/RasterRenderer.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

QGuiApplication* app() {
    static int argc = 1;
    static char name[] = "test_render_raster";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return a;
}

constexpr QRgb kGround = 0xfff0e8dc;  // an opaque background no drawn pixel keeps by chance

int channelDiff(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                     std::abs(qAlpha(a) - qAlpha(b))});
}

// How two pictures of the same draw differ: pixels drawn in one and left alone in the other
// (read off the background, so a drawn pixel must differ from it clearly), the largest colour
// difference where both drew, and how many of those differ by more than two levels.
struct Diff {
    int coverage = 0, drawn = 0, largest = 0, overTwo = 0;
};

Diff compare(const QImage& a, const QImage& b, QPoint bOffset = {}) {
    Diff d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x + bOffset.x(), y + bOffset.y());
            const bool da = channelDiff(pa, kGround) > 8, db = channelDiff(pb, kGround) > 8;
            const int diff = channelDiff(pa, pb);
            if (da != db && diff > 8) {
                ++d.coverage;
                continue;
            }
            if (!da && !db) continue;
            ++d.drawn;
            d.largest = std::max(d.largest, diff);
            d.overTwo += diff > 2;
        }
    return d;
}

// A 5 x 5 frame of random premultiplied pixels, some translucent; opaque ones when asked.
QImage randomFrame(std::mt19937& rng, bool opaque, int w = 5, int h = 5) {
    QImage f(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int a = opaque ? 255 : 40 + static_cast<int>(rng() % 216);
            f.setPixel(x, y, qPremultiply(qRgba(static_cast<int>(rng() % 256), static_cast<int>(rng() % 256),
                                                static_cast<int>(rng() % 256), a)));
        }
    return f;
}

struct Placement {
    double x, y, rot, sx, sy;
};

QTransform transformOf(const Placement& p) {
    QTransform t;
    t.translate(p.x, p.y);
    t.rotate(p.rot);
    t.scale(p.sx, p.sy);
    return t;
}

// The frame drawn centred at the placement, by QPainter and by our span loop.
std::pair<QImage, QImage> bothWays(const QImage& frame, const Placement& p, double opacity, bool plus, QSize size) {
    QImage painter(size, QImage::Format_ARGB32_Premultiplied);
    painter.fill(kGround);
    QImage ours = painter.copy();
    const QPointF at(-frame.width() / 2.0, -frame.height() / 2.0);
    {
        QPainter q(&painter);
        q.setRenderHint(QPainter::SmoothPixmapTransform, true);
        q.setTransform(transformOf(p));
        q.setOpacity(opacity);
        if (plus) q.setCompositionMode(QPainter::CompositionMode_Plus);
        q.drawImage(at, frame);
    }
    raster::blendMapped(ours, frame, transformOf(p), at, qRound(opacity * 256),
                        plus ? raster::MappedOp::Plus : raster::MappedOp::Over);
    return {painter, ours};
}

std::string describe(const Placement& p, double opacity, bool plus) {
    return "at " + std::to_string(p.x) + "," + std::to_string(p.y) + " rot " + std::to_string(p.rot) + " scale " +
           std::to_string(p.sx) + "," + std::to_string(p.sy) + " opacity " + std::to_string(opacity) +
           (plus ? " plus" : " over");
}

}  // namespace

// Quarter turns, mirrors and stretches up to 50,000 times along a wire: exactly the pixels
// QPainter covers, each within two levels of QPainter's colour (both sample in 16.16 fixed point
// with 8-bit weights; they round in a different order).
TEST(RasterMappedBlit, AxisAlignedQuadsCoverWhatQPainterCovers) {
    ASSERT_TRUE(app());
    std::mt19937 rng(7);
    const QSize size(160, 120);
    const Placement fixed[] = {
        {80, 60, 0, 1.5, 1.5},      {80, 60, 90, 30, 1},       {80, 60, 180, 30, 1},    {80, 60, 270, 30, 1},
        {80, 60, 0, -30, 1},        {80, 60, 90, -30, -1},     {80.5, 60.5, 0, 2, 2},   {80, 60, 90, 50000, 1},
        {-200, 60, 0, 50000, 0.75}, {80, 3000, 90, 20000, 1.25}, {80, 60, 270, 7.3, 0.5}, {0, 0, 90, 3, 3},
        {159.5, 119.5, 180, 1.25, 1.25},
        // ends and sides through pixel centres, where the rounding of ties decides
        {80, 60, 90, 9, 1},         {80, 60, 270, 9, 1},       {80.5, 60, 90, -9, 1},   {80, 60.5, 270, 9, -1},
        {80, 60, 0, 9, 1},          {80.5, 60.5, 180, 9, 1},
    };
    std::vector<Placement> cases(std::begin(fixed), std::end(fixed));
    std::uniform_real_distribution<double> pos(-40, 200), stretch(0.5, 400), across(0.5, 2.5);
    for (int i = 0; i < 150; ++i)
        cases.push_back({pos(rng), pos(rng), 90.0 * (rng() % 4), (rng() % 2 ? 1 : -1) * stretch(rng),
                         (rng() % 3 ? 1 : -1) * across(rng)});
    int i = 0;
    for (const Placement& p : cases) {
        const bool plus = i % 4 == 3;
        const double opacity = i % 5 == 1 ? 0.5 : 1.0;
        const QImage frame = randomFrame(rng, i % 3 == 0);
        ++i;
        const auto [painter, ours] = bothWays(frame, p, opacity, plus, size);
        const Diff d = compare(painter, ours);
        SCOPED_TRACE(describe(p, opacity, plus));
        EXPECT_EQ(d.coverage, 0);
        EXPECT_LE(d.largest, 2);
    }
}

// Any other angle: QPainter's polygon edges round a little differently, so a few pixels along
// the long edges may be drawn by one and not the other; colours still agree within two levels
// nearly everywhere.
TEST(RasterMappedBlit, RotatedQuadsDifferFromQPainterOnlyAlongTheirEdges) {
    ASSERT_TRUE(app());
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> pos(0, 160), angle(0, 360), stretch(0.5, 100), across(0.5, 2.5);
    int coverage = 0, drawn = 0, overTwo = 0, worst = 0;
    for (int i = 0; i < 150; ++i) {
        const Placement p{pos(rng), pos(rng), angle(rng), (rng() % 2 ? 1 : -1) * stretch(rng), across(rng)};
        const bool plus = i % 4 == 3;
        const double opacity = i % 5 == 1 ? 0.5 : 1.0;
        const auto [painter, ours] = bothWays(randomFrame(rng, i % 3 == 0), p, opacity, plus, QSize(160, 160));
        const Diff d = compare(painter, ours);
        SCOPED_TRACE(describe(p, opacity, plus));
        EXPECT_LE(d.coverage, 12) << "pixels drawn by one only";
        coverage += d.coverage;
        drawn += d.drawn;
        overTwo += d.overTwo;
        worst = std::max(worst, d.largest);
    }
    EXPECT_LT(coverage, drawn / 500) << "edge pixels drawn by one only, of " << drawn;
    EXPECT_LT(overTwo, drawn / 1000) << "pixels more than two levels apart, of " << drawn;
    EXPECT_LE(worst, 12);
}

// Draws that cannot show anything leave the target untouched: quads wholly off the target on
// each side, a frame squeezed to nothing, a map that cannot be inverted, an empty opacity, and a
// corner that is not finite.
TEST(RasterMappedBlit, DrawsThatShowNothingChangeNoPixel) {
    ASSERT_TRUE(app());
    std::mt19937 rng(3);
    const QImage frame = randomFrame(rng, true);
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        Placement p;
        double opacity;
    } cases[] = {
        {"left of the target", {-400, 60, 0, 50, 1}, 1},
        {"right of the target", {560, 60, 0, 50, 1}, 1},
        {"above, turned", {80, -400, 90, 50, 1}, 1},
        {"below, turned", {80, 520, 270, 50, 1}, 1},
        {"diagonal, past a corner", {-300, -300, 45, 50, 1}, 1},
        {"zero length", {80, 60, 0, 0, 1}, 1},
        {"zero width", {80, 60, 90, 40, 0}, 1},
        {"transparent", {80, 60, 0, 40, 1}, 0},
        {"infinite stretch", {80, 60, 0, inf, 1}, 1},
        {"position not a number", {std::nan(""), 60, 0, 4, 1}, 1},
    };
    for (const Case& c : cases) {
        QImage target(160, 120, QImage::Format_ARGB32_Premultiplied);
        target.fill(kGround);
        raster::blendMapped(target, frame, transformOf(c.p), QPointF(-2.5, -2.5), qRound(c.opacity * 256),
                            raster::MappedOp::Over);
        int changed = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) changed += target.pixel(x, y) != kGround;
        EXPECT_EQ(changed, 0) << c.what;
    }
    // A target format the loop does not write is refused rather than misread.
    QImage rgb888(40, 40, QImage::Format_RGB888);
    EXPECT_FALSE(raster::canBlendMapped(rgb888, frame));
    EXPECT_TRUE(raster::canBlendMapped(QImage(4, 4, QImage::Format_RGB32), frame));
}

// A long wire seen through a view: the view draws only its sliver, and must show the pixels the
// whole wire shows there when drawn into a target large enough to hold it (which QPainter draws
// unclipped). Wires at quarter turns, mirrored, at any angle, at three zooms, stretched up to
// several hundred times; the large target is the view shifted by whole pixels.
TEST(RasterRenderer, LongWireInAViewMatchesTheWholeWireDrawnLarge) {
    ASSERT_TRUE(app());
    auto pics = Pics::Load("data");
    ASSERT_TRUE(pics && pics->wire);
    const int W = 200, H = 150, shift = 1800;
    QImage view(W, H, QImage::Format_ARGB32_Premultiplied);
    QImage large(W + 2 * shift, H + 2 * shift, QImage::Format_ARGB32_Premultiplied);
    auto draw = [&](QImage& target, double ox, double oy, double x1, double y1, double x2, double y2, double zoom) {
        target.fill(kGround);
        RasterRenderer r;
        EXPECT_TRUE(r.begin(&target));
        r.setPics(pics);
        r.setColor(0, 0, 160);
        TWireComplex::DrawWire(r, x1 + ox, y1 + oy, x2 + ox, y2 + oy, zoom, zoom);
        r.end();
    };
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> far(-1700, 1900), inView(10, 140);
    int checked = 0;
    for (int i = 0; i < 60; ++i) {
        const double zoom = i % 3 == 0 ? 1.0 : i % 3 == 1 ? 0.5 : 1.5;
        double x1, y1, x2, y2;
        const double a = std::round(inView(rng)), b = std::round(far(rng)), c = std::round(far(rng));
        switch (i % 4) {
            case 0: x1 = b; x2 = c; y1 = y2 = a; break;           // horizontal, either way
            case 1: y1 = b; y2 = c; x1 = x2 = a; break;           // vertical, either way
            case 2: x1 = b; y1 = a; x2 = c; y2 = a + (c - b) / 7; break;  // shallow slope
            default: x1 = a; y1 = b; x2 = a + 5; y2 = c; break;   // nearly vertical
        }
        if (std::hypot(x2 - x1, y2 - y1) < 200) continue;
        draw(view, 0, 0, x1, y1, x2, y2, zoom);
        draw(large, shift, shift, x1, y1, x2, y2, zoom);
        const Diff d = compare(view, large, QPoint(shift, shift));
        SCOPED_TRACE("wire " + std::to_string(x1) + "," + std::to_string(y1) + " to " + std::to_string(x2) + "," +
                     std::to_string(y2) + " zoom " + std::to_string(zoom));
        if (i % 4 < 2) EXPECT_EQ(d.coverage, 0);
        else EXPECT_LE(d.coverage, 12);
        EXPECT_LE(d.largest, i % 4 < 2 ? 2 : 12);
        EXPECT_LE(d.overTwo, d.drawn / 100);
        checked += d.drawn > 0;
    }
    EXPECT_GT(checked, 20) << "most wires must cross the view";
}

// Rectangles are filled in bands of rows; the pixels are exactly those of one QPainter fill
// under the same transform: tall and short, negative sizes, zooms, half-pixel edges, half alpha
// and light blending, partly and wholly off the target.
TEST(RasterRenderer, BandedRectanglesFillExactlyWhatQPainterFills) {
    ASSERT_TRUE(app());
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(-60, 260), size(-80, 400), zoom(0.5, 1.5);
    const double halves[] = {0, 0.5, 0.25, 0.75};
    for (int i = 0; i < 300; ++i) {
        double x = pos(rng), y = pos(rng), w = size(rng), h = size(rng);
        const double sx = i % 4 == 0 ? 1 : zoom(rng), sy = i % 4 == 0 ? 1 : zoom(rng);
        if (i % 2) {  // edges on whole and half pixels, where rounding ties fall
            x = std::floor(x) + halves[i % 4];
            y = std::floor(y) + halves[(i / 4) % 4];
            w = std::round(w);
            h = std::round(h) + 0.5;
        }
        const double alpha = i % 3 == 0 ? 0.5 : 1.0;
        const bool light = i % 7 == 0;
        QImage expected(240, 200, QImage::Format_ARGB32_Premultiplied);
        expected.fill(kGround);
        QImage got = expected.copy();
        {
            QPainter q(&expected);
            QTransform t;
            t.translate(x, y);
            t.scale(sx, sy);
            q.setTransform(t);
            q.setOpacity(alpha);
            if (light) q.setCompositionMode(QPainter::CompositionMode_Plus);
            q.fillRect(QRectF(0, 0, w, h), QColor(90, 140, 30));
        }
        RasterRenderer r;
        ASSERT_TRUE(r.begin(&got));
        r.setColor(90, 140, 30);
        r.setAlpha(alpha);
        r.setBlend(light ? BlendMode::Light : BlendMode::Alpha);
        r.setTransform(0, sx, sy);
        r.drawRect(x, y, w, h);
        r.end();
        int off = 0;
        for (int py = 0; py < got.height(); ++py)
            for (int px = 0; px < got.width(); ++px) off += got.pixel(px, py) != expected.pixel(px, py);
        EXPECT_EQ(off, 0) << "rect " << x << "," << y << " " << w << "x" << h << " scale " << sx << "," << sy
                          << " alpha " << alpha << (light ? " light" : "");
    }
}
