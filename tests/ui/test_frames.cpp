// Scalable framed images: the tile size, the nine placements and the corner shrinking.
#include <gtest/gtest.h>

#include "support/RecordingRenderer.h"

using namespace gw;
using namespace gw::test;

namespace {

struct Rect {
    double x, y, w, h;
};

// Screen rectangle a recorded call covers (top-left handles), from its scale and size.
Rect covered(const DrawCall& c, const Image& img) {
    if (c.op == Op::ImageRect) return {c.x, c.y, c.w * c.sx, c.h * c.sy};
    return {c.x, c.y, img.frameWidth() * c.sx, img.frameHeight() * c.sy};
}

std::shared_ptr<TImageRect> frame20() {
    return TImageRect::FromImage(makeWhiteImage(60, 60, 20, 20, 9, false), 20, 20);
}

const DrawCall* findFrame(const std::vector<DrawCall>& calls, int frame) {
    for (const auto& c : calls)
        if (c.frame == frame) return &c;
    return nullptr;
}

struct DrawCase {
    const char* name;
    double scale, x, y, w, h;
    // Expected screen rectangles of frames 0..8.
    Rect expect[9];
};

class FrameDraw : public ::testing::TestWithParam<DrawCase> {};

TEST_P(FrameDraw, PlacesEveryTile) {
    const DrawCase& tc = GetParam();
    auto fr = frame20();
    ASSERT_TRUE(fr);
    RecordingRenderer r;
    r.setScale(tc.scale, tc.scale);
    fr->Draw(r, tc.x, tc.y, tc.w, tc.h);
    ASSERT_EQ(r.calls.size(), 9u);
    // Corners first, unstretched at the corner scale; then edges and middle at scale 1.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.calls[i].op, Op::Image) << tc.name;
    for (int i = 4; i < 9; ++i) {
        EXPECT_EQ(r.calls[i].op, Op::ImageRect) << tc.name;
        EXPECT_DOUBLE_EQ(r.calls[i].sx, 1);
        EXPECT_DOUBLE_EQ(r.calls[i].sy, 1);
    }
    for (int f = 0; f < 9; ++f) {
        const DrawCall* c = findFrame(r.calls, f);
        ASSERT_NE(c, nullptr) << tc.name << " frame " << f;
        const Rect got = covered(*c, *fr->image);
        EXPECT_NEAR(got.x, tc.expect[f].x, 1e-9) << tc.name << " frame " << f;
        EXPECT_NEAR(got.y, tc.expect[f].y, 1e-9) << tc.name << " frame " << f;
        EXPECT_NEAR(got.w, tc.expect[f].w, 1e-9) << tc.name << " frame " << f;
        EXPECT_NEAR(got.h, tc.expect[f].h, 1e-9) << tc.name << " frame " << f;
    }
    // The caller's scale is back.
    EXPECT_DOUBLE_EQ(r.scaleX(), tc.scale);
    EXPECT_DOUBLE_EQ(r.scaleY(), tc.scale);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FrameDraw,
    ::testing::Values(
        DrawCase{"wide at scale 1", 1, 0, 0, 100, 50,
                 {{0, 0, 20, 20}, {20, 0, 60, 20}, {80, 0, 20, 20},
                  {0, 20, 20, 10}, {20, 20, 60, 10}, {80, 20, 20, 10},
                  {0, 30, 20, 20}, {20, 30, 60, 20}, {80, 30, 20, 20}}},
        DrawCase{"too narrow shrinks corners", 1, 0, 0, 20, 100,
                 {{0, 0, 10, 10}, {10, 0, 0, 10}, {10, 0, 10, 10},
                  {0, 10, 10, 80}, {10, 10, 0, 80}, {10, 10, 10, 80},
                  {0, 90, 10, 10}, {10, 90, 0, 10}, {10, 90, 10, 10}}},
        DrawCase{"scale 2 offset", 2, 10, 10, 100, 50,
                 {{10, 10, 40, 40}, {50, 10, 120, 40}, {170, 10, 40, 40},
                  {10, 50, 40, 20}, {50, 50, 120, 20}, {170, 50, 40, 20},
                  {10, 70, 40, 40}, {50, 70, 120, 40}, {170, 70, 40, 40}}},
        DrawCase{"both axes short keep aspect", 1, 5, 5, 30, 10,
                 // u = min(30/40, 10/40) = 0.25: 5 x 5 corners.
                 {{5, 5, 5, 5}, {10, 5, 20, 5}, {30, 5, 5, 5},
                  {5, 10, 5, 0}, {10, 10, 20, 0}, {30, 10, 5, 0},
                  {5, 10, 5, 5}, {10, 10, 20, 5}, {30, 10, 5, 5}}}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(FrameDraw, ScaleTwoCoversTheWholeTarget) {
    // The union of the nine tiles is exactly 10..210 x 10..110, with no gaps between them.
    auto fr = frame20();
    RecordingRenderer r;
    r.setScale(2, 2);
    fr->Draw(r, 10, 10, 100, 50);
    double area = 0, minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (const auto& c : r.calls) {
        const Rect q = covered(c, *fr->image);
        area += q.w * q.h;
        minX = std::min(minX, q.x);
        minY = std::min(minY, q.y);
        maxX = std::max(maxX, q.x + q.w);
        maxY = std::max(maxY, q.y + q.h);
    }
    EXPECT_DOUBLE_EQ(minX, 10);
    EXPECT_DOUBLE_EQ(minY, 10);
    EXPECT_DOUBLE_EQ(maxX, 210);
    EXPECT_DOUBLE_EQ(maxY, 110);
    EXPECT_DOUBLE_EQ(area, 200.0 * 100.0);
}

TEST(FrameDraw, KeepsColourAlphaRotationOfCaller) {
    auto fr = frame20();
    RecordingRenderer r;
    r.setColor(100, 110, 120);
    r.setAlpha(0.5);
    r.setRotation(0);
    r.setBlend(BlendMode::Light);
    fr->Draw(r, 0, 0, 80, 80);
    for (const auto& c : r.calls) {
        EXPECT_EQ(c.r, 100);
        EXPECT_EQ(c.g, 110);
        EXPECT_EQ(c.b, 120);
        EXPECT_DOUBLE_EQ(c.alpha, 0.5);
        EXPECT_EQ(c.blend, BlendMode::Light);
        EXPECT_EQ(c.image, fr->image.get());
    }
}

TEST(FrameDraw, DegenerateTargetsNeverProduceNaN) {
    // A zero scale or an empty or negative target must not divide by zero.
    struct Case {
        double s, w, h;
    } cases[] = {{0, 100, 100}, {1, 0, 0}, {1, 0, 100}, {1, -40, 30}, {0.5, 10, 0}};
    for (const auto& cs : cases) {
        auto fr = frame20();
        RecordingRenderer r;
        r.setScale(cs.s, cs.s);
        fr->Draw(r, 3, 4, cs.w, cs.h);
        ASSERT_EQ(r.calls.size(), 9u);
        for (const auto& c : r.calls) {
            for (double v : {c.x, c.y, c.w, c.h, c.sx, c.sy})
                EXPECT_FALSE(std::isnan(v)) << cs.s << " " << cs.w << "x" << cs.h;
        }
        EXPECT_DOUBLE_EQ(r.scaleX(), cs.s);
    }
}

TEST(FrameBuild, TileSizeIsSourceThirdTruncated) {
    struct Case {
        int w, h, tw, th;
    } cases[] = {{60, 60, 20, 20}, {61, 62, 20, 20}, {3, 3, 1, 1}, {100, 47, 33, 15}};
    for (const auto& cs : cases) {
        // The cells are cut from the top-left: a 61 x 62 source loses its last column and two rows.
        std::vector<uint8_t> px(static_cast<size_t>(cs.w) * cs.h * 4, 0);
        for (int y = 0; y < cs.h; ++y)
            for (int x = 0; x < cs.w; ++x) {
                uint8_t* p = &px[(static_cast<size_t>(y) * cs.w + x) * 4];
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[3] = 255;
            }
        const int tw = cs.w / 3, th = cs.h / 3;
        auto fr = TImageRect::FromImage(Image::fromPixels(cs.w, cs.h, px, tw, th, 0, 9), tw, th);
        ASSERT_TRUE(fr);
        EXPECT_EQ(fr->tilewidth, cs.tw);
        EXPECT_EQ(fr->TileHeight, cs.th);
        ASSERT_EQ(fr->image->frameCount(), 9);
        // Frame 8's first pixel is source pixel (2 tw, 2 th); frame 5's is (2 tw, th).
        EXPECT_EQ(fr->image->framePixels(8)[0], 2 * tw);
        EXPECT_EQ(fr->image->framePixels(8)[1], 2 * th);
        EXPECT_EQ(fr->image->framePixels(5)[0], 2 * tw);
        EXPECT_EQ(fr->image->framePixels(5)[1], th);
    }
}

TEST(FrameBuild, RefusesMissingOrTooSmallSources) {
    EXPECT_EQ(TImageRect::Load(""), nullptr);
    EXPECT_EQ(TImageRect::Load("no/such/file.png"), nullptr);
    EXPECT_EQ(TImageRect::FromImage(nullptr, 20, 20), nullptr);
    EXPECT_EQ(TImageRect::FromImage(makeWhiteImage(60, 60, 20, 20, 4, false), 20, 20), nullptr);
    EXPECT_EQ(TImageRect::FromImage(makeWhiteImage(60, 60, 20, 20, 9, false), 0, 20), nullptr);
}

TEST(FrameDraw, NullImageDrawsNothing) {
    TImageRect empty;
    RecordingRenderer r;
    empty.Draw(r, 0, 0, 100, 100);
    EXPECT_TRUE(r.calls.empty());
}

}  // namespace
