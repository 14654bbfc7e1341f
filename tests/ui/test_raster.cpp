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

// Colour fills are composed by our own loop: every opacity, colours at the ends of the range,
// opaque, translucent and RGB32 targets, rectangles and single pixels, must give QPainter's
// bytes exactly.
TEST(RasterRenderer, ColourFillsGiveQPainterBytesAtEveryOpacity) {
    ASSERT_TRUE(app());
    const QColor colours[] = {QColor(90, 140, 30), QColor(255, 255, 255), QColor(0, 0, 0), QColor(200, 7, 255)};
    struct Ground {
        QImage::Format format;
        QRgb fill;
    } grounds[] = {{QImage::Format_ARGB32_Premultiplied, kGround},
                   {QImage::Format_ARGB32_Premultiplied, qPremultiply(qRgba(200, 30, 120, 100))},
                   {QImage::Format_RGB32, 0xff0d7fe2}};
    std::vector<double> opacities;
    for (int k = 0; k <= 64; ++k) opacities.push_back(k / 64.0);
    for (double o : {0.001, 0.002, 0.333, 0.999, 0.9999, 1.5, -0.25}) opacities.push_back(o);
    int cases = 0;
    for (const Ground& g : grounds)
        for (const QColor& c : colours)
            for (double o : opacities) {
                QImage expected(24, 16, g.format);
                expected.fill(g.fill);
                QImage got = expected.copy();
                {
                    QPainter q(&expected);
                    q.setOpacity(std::clamp(o, 0.0, 1.0));
                    q.fillRect(QRectF(2.25, 3, 9, 4.5), c);
                    q.fillRect(QRectF(15.5, 11.4, 1, 1), c);
                }
                RasterRenderer r;
                ASSERT_TRUE(r.begin(&got));
                r.setColor(c.red(), c.green(), c.blue());
                r.setAlpha(o);
                r.drawRect(2.25, 3, 9, 4.5);
                r.plot(15.5, 11.4);
                r.end();
                int off = 0;
                for (int y = 0; y < got.height(); ++y)
                    for (int x = 0; x < got.width(); ++x) off += got.pixel(x, y) != expected.pixel(x, y);
                EXPECT_EQ(off, 0) << "colour " << c.name().toStdString() << " opacity " << o << " format "
                                  << g.format;
                ++cases;
            }
    EXPECT_EQ(cases, 3 * 4 * 72);
}

// The span loop composes four pixels at a time where it can. Whatever the run of pixels (opaque,
// empty, translucent, mixed, any length and so any tail), both blends at full and part
// coverage must give the bytes of the one-pixel rules, worked out here channel by channel.
TEST(RasterMappedBlit, ComposedSpansGiveTheOnePixelRulesBytes) {
    std::mt19937 rng(31);
    auto mul = [](int x, int a) {
        const int t = x * a;
        return (t + (t >> 8) + 0x80) >> 8;
    };
    auto premul = [&](int kind) -> QRgb {
        const int a = kind == 0 ? 255 : kind == 1 ? 0 : static_cast<int>(rng() % 256);
        auto ch = [&] { return a == 0 ? 0 : static_cast<int>(rng() % (a + 1)); };
        return qRgba(ch(), ch(), ch(), a);  // already premultiplied: no channel above alpha
    };
    for (int round = 0; round < 400; ++round) {
        const int w = 1 + static_cast<int>(rng() % 37);
        const int runKind = static_cast<int>(rng() % 4);  // all opaque, all empty, translucent, mixed
        raster::SampledQuad q;
        q.w = w, q.h = 1, q.x0 = 3, q.y0 = 2;
        for (int i = 0; i < w; ++i) q.px.push_back(premul(runKind == 3 ? static_cast<int>(rng() % 3) : runKind));
        QImage target(48, 5, QImage::Format_ARGB32_Premultiplied);
        for (int x = 0; x < 48; ++x) target.setPixel(x, 2, premul(2));
        const QImage before = target.copy();
        const bool plus = round % 2;
        const int opacity256 = round % 3 == 0 ? 256 : static_cast<int>(rng() % 257);
        raster::composeSampled(target, q, 1, 0, opacity256, plus ? raster::MappedOp::Plus : raster::MappedOp::Over);
        const int cov = raster::coverageOf(opacity256);
        for (int i = 0; i < w; ++i) {
            const QRgb s = q.px[static_cast<size_t>(i)], d = before.pixel(4 + i, 2);
            int want[4];
            const int sc[4] = {qAlpha(s), qRed(s), qGreen(s), qBlue(s)};
            const int dc[4] = {qAlpha(d), qRed(d), qGreen(d), qBlue(d)};
            const int sa = cov == 255 ? sc[0] : mul(sc[0], cov);
            for (int k = 0; k < 4; ++k) {
                if (!plus) {
                    const int v = cov == 255 ? sc[k] : mul(sc[k], cov);
                    want[k] = v + mul(dc[k], 255 - sa);
                } else {
                    const int sum = std::min(255, dc[k] + sc[k]);
                    if (cov == 255) want[k] = sum;
                    else {
                        const int t = sum * cov + dc[k] * (255 - cov);
                        want[k] = (t + (t >> 8) + 0x80) >> 8;
                    }
                }
            }
            EXPECT_EQ(target.pixel(4 + i, 2), qRgba(want[1], want[2], want[3], want[0]))
                << "pixel " << i << " of " << w << (plus ? " plus" : " over") << " coverage " << cov;
        }
        // Nothing outside the quad moved.
        EXPECT_EQ(target.pixel(3, 2), before.pixel(3, 2));
        if (4 + w < 48) {
            EXPECT_EQ(target.pixel(4 + w, 2), before.pixel(4 + w, 2));
        }
        EXPECT_EQ(target.copy(0, 0, 48, 2), before.copy(0, 0, 48, 2));
    }
}

// Frames sampled once are kept and composed wherever the same map puts them again. Drawn through
// one renderer (which keeps its samples) at many places, in changing colours and blends, scaled
// and turned by quarter turns, the picture must equal each frame drawn by a renderer of its own,
// and its pixels must be the ones QPainter covers, within two levels of its colours.
TEST(RasterRenderer, FramesFromKeptSamplesEqualFreshDrawsAndQPainter) {
    ASSERT_TRUE(app());
    auto pics = Pics::Load("data");
    ASSERT_TRUE(pics && pics->wire && pics->device);
    std::mt19937 rng(8);
    struct Draw {
        double x, y, rot, sx, sy, alpha;
        int r, g, b, frame;
        bool light;
    };
    std::vector<Draw> draws;
    const double phases[] = {0, 0.5, 0.25};
    for (int i = 0; i < 120; ++i) {
        Draw d;
        d.x = static_cast<int>(rng() % 150) + phases[i % 3];
        d.y = static_cast<int>(rng() % 110) + phases[(i / 3) % 3];
        d.rot = 90.0 * (rng() % 4);
        d.sx = i % 4 == 0 ? 1 : i % 4 == 1 ? 4 : 0.75;  // few maps, so samples are reused
        d.sy = i % 5 == 0 ? 2 : 1;
        d.alpha = i % 6 == 0 ? 0.5 : 1;
        d.r = i % 2 ? 255 : 40, d.g = 120, d.b = i % 3 ? 200 : 0;
        d.frame = static_cast<int>(rng() % 3);
        d.light = i % 9 == 4;
        draws.push_back(d);
    }
    auto drawOne = [&](RasterRenderer& r, const Draw& d) {
        r.setColor(d.r, d.g, d.b);
        r.setAlpha(d.alpha);
        r.setBlend(d.light ? BlendMode::Light : BlendMode::Alpha);
        r.setTransform(d.rot, d.sx, d.sy);
        r.drawImage(pics->wire.get(), d.x, d.y, d.frame);
    };
    QImage kept(170, 130, QImage::Format_RGB32);
    kept.fill(kGround);
    QImage fresh = kept.copy();
    RasterRenderer keeping;
    ASSERT_TRUE(keeping.begin(&kept));
    for (const Draw& d : draws) drawOne(keeping, d);
    keeping.end();
    for (const Draw& d : draws) {
        RasterRenderer own;
        ASSERT_TRUE(own.begin(&fresh));
        drawOne(own, d);
        own.end();
    }
    int off = 0;
    for (int y = 0; y < kept.height(); ++y)
        for (int x = 0; x < kept.width(); ++x) off += kept.pixel(x, y) != fresh.pixel(x, y);
    EXPECT_EQ(off, 0) << "pixels that differ between kept and fresh samples";

    // One frame at a time against QPainter (which draws a tinted copy the same way).
    for (size_t i = 0; i < draws.size(); i += 7) {
        const Draw& d = draws[i];
        if (d.light) continue;
        QImage ours(170, 130, QImage::Format_ARGB32_Premultiplied);
        ours.fill(kGround);
        QImage theirs = ours.copy();
        RasterRenderer r;
        ASSERT_TRUE(r.begin(&ours));
        drawOne(r, d);
        r.end();
        const Image& img = *pics->wire;
        const auto& px = img.framePixels(d.frame);
        QImage frame = QImage(px.data(), img.frameWidth(), img.frameHeight(), img.frameWidth() * 4,
                              QImage::Format_RGBA8888)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb p = frame.pixel(x, y);
                frame.setPixel(x, y, qRgba((qRed(p) * d.r + 127) / 255, (qGreen(p) * d.g + 127) / 255,
                                           (qBlue(p) * d.b + 127) / 255, qAlpha(p)));
            }
        {
            QPainter q(&theirs);
            q.setRenderHint(QPainter::SmoothPixmapTransform, true);
            q.setTransform(transformOf(Placement{d.x, d.y, d.rot, d.sx, d.sy}));
            q.setOpacity(d.alpha);
            q.drawImage(QPointF(-img.handleX(), -img.handleY()), frame);
        }
        const Diff diff = compare(theirs, ours);
        SCOPED_TRACE("draw " + std::to_string(i) + " at " + std::to_string(d.x) + "," + std::to_string(d.y) + " rot " +
                     std::to_string(d.rot) + " scale " + std::to_string(d.sx) + "," + std::to_string(d.sy) + " frame " +
                     std::to_string(d.frame) + " alpha " + std::to_string(d.alpha));
        EXPECT_EQ(diff.coverage, 0);
        EXPECT_LE(diff.largest, 2);
        EXPECT_GT(diff.drawn, 0);
    }
}
