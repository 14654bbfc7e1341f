// The OpenGL renderer takes short paths for the common quad (unrotated, continuing the batch), keeps
// the packed colour and the rotation's sine and cosine between quads, tracks pending glow in a
// bitmap of cells and hands batches over when they fill up. Plain mode takes the general path for
// every quad (corners rotated even at angle 0, colour packed afresh, nothing dropped, a submission
// at every blend change), so each scene below is drawn both ways and the two framebuffers must
// hold the same bytes. Needs an X display with OpenGL 3.3 (Xvfb + Mesa); skips without one.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ui/GLTestTarget.h"
#include "ui/gl/GLCanvas.h"
#include "ui/gl/GLRenderer.h"
#include "model/Wire.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

using test::GLTarget;

// Opaque texels that all differ, so a flipped, shifted or swapped texture coordinate shows.
std::shared_ptr<Image> gradient(int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            p[2] = static_cast<uint8_t>((x * 7 + y * 13) % 256);
            p[3] = 255;
        }
    return Image::fromPixels(w, h, std::move(px), w, h, 0, 1);
}

// A soft spot with a transparent rim: the glow's changed pixels are a part of its frame.
std::shared_ptr<Image> spot(int n) {
    std::vector<uint8_t> px(static_cast<size_t>(n) * n * 4, 0);
    for (int y = n / 4; y < n - n / 4; ++y)
        for (int x = n / 4; x < n - n / 4; ++x) {
            uint8_t* p = &px[(static_cast<size_t>(y) * n + x) * 4];
            p[0] = 200, p[1] = 160, p[2] = 60, p[3] = static_cast<uint8_t>(120 + (x + y) % 100);
        }
    return Image::fromPixels(n, n, std::move(px), n, n, 0, 1);
}

using Result = test::BothWays;

// Every scene starts on the same opaque ground.
Result bothWays(GLTarget& gl, int w, int h, const std::function<void(Renderer&)>& paint, const std::string& name) {
    return test::drawBothWays(
        gl, w, h,
        [&](Renderer& r) {
            r.setClearColor(40, 70, 90);
            r.clear();
            paint(r);
        },
        "glpaths_", name, "GW_SAVE_GL_PATHS");
}

constexpr int kW = 640, kH = 200;

TEST(GLPaths, ShortPathsDrawWhatTheGeneralPathDraws) {
    GLTarget gl;
    if (!gl.make(kW, kH)) GTEST_SKIP() << "OpenGL unavailable: " << gl.why;
    auto grad = gradient(12, 9), centred = gradient(10, 10), glow = spot(24), white = gradient(2, 2);
    centred->setCentred(true);
    auto font = ImageFont::makeFixed(7, 11);
    const Image* images[] = {grad.get(), centred.get()};
    // A framed picture (nine 6 x 5 tiles) and a wire strip (three centred 5 x 5 frames), the
    // pictures drawn in parts.
    auto framed = TImageRect::FromImage(
        Image::fromPixels(18, 15, std::vector<uint8_t>(gradient(18, 15)->framePixels(0)), 6, 5, 0, 9), 6, 5);
    ASSERT_TRUE(framed);
    auto wirePics = std::make_shared<Pics>();
    wirePics->wire = Image::fromPixels(15, 5, std::vector<uint8_t>(gradient(15, 5)->framePixels(0)), 5, 5, 0, 3);
    wirePics->wire->setCentred(true);

    struct Case {
        const char* name;
        std::function<void(Renderer&)> paint;
        bool dropsSome;  // the scene has quads that cover no pixel centre (the short path drops them)
    };
    const Case cases[] = {
        {"mirrored_scaled", [&](Renderer& r) {
             const double scales[] = {1, 0.5, 2.3, -1, -0.7, 3.1};
             int i = 0;
             for (double sx : scales)
                 for (double sy : {1.0, -1.4, 0.8, 2.0}) {
                     r.setTransform(0, sx, sy);
                     r.drawImage(images[i % 2], 30 + (i % 12) * 50.25, 40 + (i / 12) * 60.5, 0);
                     ++i;
                 }
         }, false},
        {"sub_pixel_and_edges", [&](Renderer& r) {
             std::mt19937 rng(3);
             auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
             for (int i = 0; i < 400; ++i) {
                 const double s = uni(0.005, 0.25) * (i % 5 == 0 ? -1 : 1);
                 r.setTransform(0, s, i % 3 ? s : 2 * s);
                 r.drawImage(images[i % 2], uni(-4, kW + 4), uni(-4, kH + 4), 0);
             }
             // Whole quads hanging over every edge of the target.
             r.setTransform(0, 3, 3);
             for (double x : {-20.3, kW - 15.6}) r.drawImage(grad.get(), x, kH / 2.0, 0);
             for (double y : {-12.8, kH - 10.1}) r.drawImage(grad.get(), kW / 2.0, y, 0);
         }, true},
        {"stretched_rects_pixels_text", [&](Renderer& r) {
             r.setTransform(0, 1.3, 0.9);
             const double sizes[] = {0, 0.4, 7.5, 33, -12};
             int i = 0;
             for (double w : sizes)
                 for (double h : sizes) {
                     r.drawImageRect(images[i % 2], 15 + (i % 10) * 60.3, 20 + (i / 10) * 70.7, w, h, 0);
                     ++i;
                 }
             r.setTransform(0, 1, 1);
             r.setColor(250, 250, 120);
             for (int k = 0; k < 40; ++k) r.drawRect(5 + k * 15.5, 170.25, k % 3 ? 3.5 : -4, k % 4 ? 0.6 : 6);
             for (int k = 0; k < 60; ++k) r.plot(3 + k * 10.5, 190 + (k % 3) * 0.5);
             r.setImageFont(font.get());
             for (double s : {1.0, 0.45, -1.0, 1.7}) {
                 r.setTransform(0, s, std::abs(s));
                 r.drawText("Short path", 300.5, 100 + s * 30);
             }
         }, true},
        {"colour_alpha_changes", [&](Renderer& r) {
             // Overlapping squares, each changing one thing only: alpha alone, one channel alone,
             // or nothing (a packed colour kept too long or repacked wrongly shows here).
             r.setTransform(0, 3, 3);
             int red = 255, green = 40, blue = 90;
             double alpha = 1;
             for (int i = 0; i < 150; ++i) {
                 switch (i % 5) {
                     case 0: alpha = 0.15 + (i % 7) * 0.12; break;
                     case 1: red = (red + 97) % 256; break;
                     case 2: green = (green + 61) % 256; break;
                     case 3: blue = (blue + 151) % 256; break;
                     default: break;
                 }
                 r.setColor(red, green, blue);
                 r.setAlpha(alpha);
                 r.drawImage(white.get(), 10 + (i % 50) * 12.0, 20 + (i / 50) * 50.0 + (i % 3) * 4, 0);
             }
             // Out-of-range values are held to their edges, on either path.
             r.setColor(300, -20, 128);
             r.setAlpha(1.7);
             r.drawImage(white.get(), 600, 170, 0);
         }, false},
        {"every_blend_mode", [&](Renderer& r) {
             const BlendMode modes[] = {BlendMode::Alpha, BlendMode::Light, BlendMode::Shade, BlendMode::Mask,
                                        BlendMode::Solid, BlendMode::Light, BlendMode::Alpha};
             r.setTransform(0, 2, 2);
             for (int i = 0; i < 70; ++i) {
                 r.setBlend(modes[i % 7]);
                 r.setColor(90 + i * 2, 200 - i, 60 + i);
                 r.setAlpha(0.4 + (i % 3) * 0.3);
                 r.drawImage(i % 2 ? glow.get() : grad.get(), 10 + (i % 35) * 17.5, 30 + (i / 35) * 40 + (i % 2) * 9, 0);
             }
         }, false},
        {"angles_between_quads", [&](Renderer& r) {
             // The rotation's sine and cosine are kept for the next quad: angles alternate.
             const double angles[] = {0, 33, 0, 33, -45, 270, 270, 0, 180, 12.5};
             for (int i = 0; i < 40; ++i) {
                 r.setTransform(angles[i % 10], 1.5, i % 2 ? 1.5 : -2);
                 if (i % 4 == 3)
                     r.drawRect(20 + i * 15.0, 60, 10, 4);
                 else
                     r.drawImage(images[i % 2], 20 + i * 15.0, 100 + (i % 3) * 20, 0);
                 r.drawLine(20 + i * 15.0, 20, 30 + i * 15.0, 45);
             }
         }, false},
        {"glow_cells", [&](Renderer& r) {
             // Glow around x = 512, where one word of cells ends and the next begins, and at the
             // target's edges; normal quads meet it only in one word, just touch it, or miss it.
             for (int i = 0; i < 30; ++i) {
                 const double gx = 480 + i * 2.7, gy = 20 + (i % 6) * 30.0;
                 r.setTransform(0, 1, 1);
                 r.setBlend(BlendMode::Light);
                 r.setColor(255, 255, 255);
                 r.drawImage(glow.get(), gx, gy, 0);
                 r.setBlend(BlendMode::Alpha);
                 r.setColor(30 + i * 7, 120, 200 - i * 5);
                 r.setTransform(0, 0.75, 0.75);
                 r.drawImage(grad.get(), gx + 16 + (i % 4) * 3.5, gy + 6 + (i % 3) * 4, 0);
                 r.drawImage(grad.get(), gx - 30 + i * 0.5, gy + 18, 0);
             }
             // Glow wholly right of x = 512 under quads that begin left of it: they meet it only
             // in the second word of their rows.
             for (int k = 0; k < 4; ++k) {
                 r.setTransform(0, 1, 1);
                 r.setBlend(BlendMode::Light);
                 r.setColor(255, 255, 255);
                 r.drawImage(glow.get(), 514 + k * 0.5, 15 + k * 45, 0);
                 r.setBlend(BlendMode::Alpha);
                 r.setColor(200, 40 + k * 50, 90);
                 r.setTransform(0, 2.2, 2.5);
                 r.drawImage(grad.get(), 497 + k, 20 + k * 45, 0);
             }
             r.setTransform(0, 2, 2);
             r.setBlend(BlendMode::Light);
             for (double x : {-30.0, kW - 20.0}) r.drawImage(glow.get(), x, kH - 30, 0);
             r.drawImage(glow.get(), kW + 5.0, 10, 0);  // wholly outside: changes nothing
             r.setBlend(BlendMode::Alpha);
             r.setTransform(0, 1.5, 1.5);
             for (double x : {-5.0, kW - 12.0}) r.drawImage(grad.get(), x, kH - 22, 0);
         }, false},
        {"pictures_in_parts", [&](Renderer& r) {
             // Framed pictures of every shape: corners shrunk to meet, middles stretched to
             // nothing, mirrored, hanging over the edges, placed at NaN; lit quads pending under
             // some, colour changing between them.
             const double sizes[][2] = {{30, 25}, {12, 10}, {7, 40}, {60, 3}, {0, 8}, {-20, 14}, {11.5, 9.25}};
             int i = 0;
             for (const auto& wh : sizes)
                 for (double s : {1.0, 0.4, -1.3, 2.2}) {
                     r.setColor(255 - i * 3, 120 + i * 2, 90 + (i % 5) * 30);
                     r.setAlpha(i % 4 == 3 ? 0.5 : 1);
                     if (i % 6 == 2) {
                         r.setBlend(BlendMode::Light);
                         r.setTransform(0, 1, 1);
                         r.drawImage(glow.get(), 12 + (i % 9) * 70.0, 20 + (i / 9) * 45.0, 0);
                         r.setBlend(BlendMode::Alpha);
                     }
                     r.setTransform(0, s, std::abs(s));
                     framed->Draw(r, 5 + (i % 9) * 70.3 - (i == 0 ? 20 : 0), 10 + (i / 9) * 45.5, wh[0], wh[1]);
                     ++i;
                 }
             // Enough of them that batches are handed over between and within pictures.
             for (int j = 0; j < 700; ++j) {
                 r.setTransform(0, 0.5, 0.5);
                 r.setColor(60 + j % 190, 200, 255 - j % 200);
                 framed->Draw(r, 3 + (j % 70) * 9.1, 120 + (j / 70) * 2.3, 14, 12);
             }
             r.setTransform(0, 1, 1);
             framed->Draw(r, std::nan(""), 50, 20, 20);
             framed->Draw(r, kW - 15.5, kH - 12.25, 40, 30);
             // Wires at every kind of angle and length, a zero-length one among them; the list
             // of parts may name frames the picture does not have.
             r.setPics(wirePics);
             r.setColor(0, 0, 180);
             r.setAlpha(1);
             for (int k = 0; k < 24; ++k) {
                 const double x = 20 + k * 25.5, y = 150 + (k % 3) * 9.5;
                 const double ends[][2] = {{18, 0}, {0, 14}, {-11, 7.5}, {9, -9}, {0, 0}, {31.5, 2}};
                 TWireComplex::DrawWire(r, x, y, x + ends[k % 6][0], y + ends[k % 6][1], 1 + (k % 3) * 0.4, 1);
             }
             const ImagePart odd[] = {{600, 30, 1, 1, 0, 0, -1, false}, {600, 40, 2, 2, 0, 0, 1, false},
                                      {600, 60, 1, 1, 0, 0, 3, false}, {610, 70, 1, 1, 12, 7, 2, true},
                                      {610, 90, 1, 1, 0, 7, 0, true}};
             r.setTransform(0, 1, 1);
             r.drawImageParts(wirePics->wire.get(), odd, 5);
             r.setTransform(30, 1, 1);
             r.drawImageParts(wirePics->wire.get(), odd, 5);
             r.setPics(nullptr);
         }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result res = bothWays(gl, kW, kH, c.paint, c.name);
        EXPECT_EQ(res.differing, 0);
        EXPECT_GT(res.quads, 0);
        if (c.dropsSome) {
            EXPECT_GT(res.dropped, 0);
        }
    }
}

// More quads than one batch holds, with glow pending across the hand-over: nothing lost, nothing
// reordered, and the batch handed over more than once although page and blend never change
// for the normal quads.
TEST(GLPaths, FullBatchesAreHandedOverInOrder) {
    GLTarget gl;
    if (!gl.make(kW, kH)) GTEST_SKIP() << "OpenGL unavailable: " << gl.why;
    auto sq = gradient(3, 3), glow = spot(16);
    const Result plain = bothWays(gl, kW, kH, [&](Renderer& r) {
        for (int i = 0; i < 12000; ++i) {
            r.setColor(i % 256, (i * 3) % 256, 255 - i % 256);
            r.drawImage(sq.get(), (i * 7) % (kW - 3) + 0.5, (i / 90) % (kH - 3) + 0.25, 0);
        }
    }, "full_batches");
    EXPECT_EQ(plain.differing, 0);
    EXPECT_EQ(plain.quads, 12000);
    EXPECT_GE(plain.calls, 3);
    const Result glowing = bothWays(gl, kW, kH, [&](Renderer& r) {
        for (int i = 0; i < 12000; ++i) {
            if (i % 500 == 7) {
                r.setBlend(BlendMode::Light);
                r.setColor(255, 255, 255);
                r.drawImage(glow.get(), (i * 13) % kW, (i / 40) % kH, 0);
                r.setBlend(BlendMode::Alpha);
            }
            r.setColor(i % 256, 90, 255 - i % 256);
            r.drawImage(sq.get(), (i * 7) % (kW - 3) + 0.5, (i / 90) % (kH - 3) + 0.25, 0);
        }
    }, "full_batches_glow");
    EXPECT_EQ(glowing.differing, 0);
    EXPECT_EQ(glowing.quads, 12000 + 24);
}

}  // namespace
