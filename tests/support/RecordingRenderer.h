// A renderer for tests: draws nothing and records every operation together with the drawing
// state in force when it was called, so drawing rules can be checked call by call. Also builds an
// in-memory image set (right frame sizes and counts, handles as loaded, fixed box fonts) so
// drawing code can be tested without files.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/render/Image.h"
#include "ui/render/ImageFont.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw::test {

enum class Op { Clear, Image, ImageRect, Line, Rect, Plot, Text, Flush };

struct DrawCall {
    Op op = Op::Clear;
    // State in force.
    int r = 255, g = 255, b = 255;
    double alpha = 1;
    BlendMode blend = BlendMode::Alpha;
    double rot = 0, sx = 1, sy = 1;
    const ImageFont* font = nullptr;
    int fontSize = 0;  // pixel size of `font`, 0 without one
    int clearR = 0, clearG = 0, clearB = 0;
    // Arguments. Image: x, y, frame. ImageRect: x, y, w, h, frame. Line: x, y to x2, y2.
    // Rect: x, y, w, h. Plot: x, y. Text: text at x, y.
    const Image* image = nullptr;
    int frame = 0;
    double x = 0, y = 0, w = 0, h = 0, x2 = 0, y2 = 0;
    std::string text;
    bool operator==(const DrawCall&) const = default;
};

class RecordingRenderer : public Renderer {
public:
    std::vector<DrawCall> calls;

    void clear() override { calls.push_back(make(Op::Clear)); }
    void drawImage(const Image* img, double x, double y, int frame) override {
        DrawCall c = make(Op::Image);
        c.image = img;
        c.x = x;
        c.y = y;
        c.frame = frame;
        calls.push_back(c);
    }
    void drawImageRect(const Image* img, double x, double y, double w, double h, int frame) override {
        DrawCall c = make(Op::ImageRect);
        c.image = img;
        c.x = x;
        c.y = y;
        c.w = w;
        c.h = h;
        c.frame = frame;
        calls.push_back(c);
    }
    void drawLine(double x1, double y1, double x2, double y2) override {
        DrawCall c = make(Op::Line);
        c.x = x1;
        c.y = y1;
        c.x2 = x2;
        c.y2 = y2;
        calls.push_back(c);
    }
    void drawRect(double x, double y, double w, double h) override {
        DrawCall c = make(Op::Rect);
        c.x = x;
        c.y = y;
        c.w = w;
        c.h = h;
        calls.push_back(c);
    }
    void plot(double x, double y) override {
        DrawCall c = make(Op::Plot);
        c.x = x;
        c.y = y;
        calls.push_back(c);
    }
    void drawText(const std::string& utf8, double x, double y) override {
        DrawCall c = make(Op::Text);
        c.text = utf8;
        c.x = x;
        c.y = y;
        calls.push_back(c);
    }
    void flush() override { calls.push_back(make(Op::Flush)); }

    // The recorded calls of one kind, in order.
    std::vector<DrawCall> of(Op op) const {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if (c.op == op) out.push_back(c);
        return out;
    }
    // Image and stretched-image calls of one image, in order.
    std::vector<DrawCall> ofImage(const Image* img) const {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if ((c.op == Op::Image || c.op == Op::ImageRect) && c.image == img) out.push_back(c);
        return out;
    }
    size_t count(Op op) const { return of(op).size(); }
    void reset() { calls.clear(); }

private:
    DrawCall make(Op op) const {
        DrawCall c;
        c.op = op;
        c.r = r_;
        c.g = g_;
        c.b = b_;
        c.alpha = alpha_;
        c.blend = blend_;
        c.rot = rot_;
        c.sx = sx_;
        c.sy = sy_;
        c.font = font_;
        c.fontSize = font_ ? font_->pixelSize() : 0;
        c.clearR = cr_;
        c.clearG = cg_;
        c.clearB = cb_;
        return c;
    }
};

// An opaque white picture of w x h cut into cw x ch cells, `count` frames.
inline std::shared_ptr<Image> makeWhiteImage(int w, int h, int cw, int ch, int count, bool centred) {
    auto img = Image::fromPixels(w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4, 255), cw, ch, 0,
                                 count);
    if (img) img->setCentred(centred);
    return img;
}

// An image set with the frame sizes, counts and handles the real one has, made of white pixels,
// with fixed box fonts whose pixel sizes are 24, 14, 9 and 10 (glyph advance about half the size).
// Framed images are cut from 60 x 60 sources, so their tiles are 20 x 20.
inline std::shared_ptr<Pics> makeTestPics() {
    auto p = std::make_shared<Pics>();
    p->wire = makeWhiteImage(15, 5, 5, 5, 3, true);
    p->mark = makeWhiteImage(9, 9, 9, 9, 1, true);
    p->swich = makeWhiteImage(160, 80, 40, 40, 8, true);
    p->led = makeWhiteImage(160, 40, 40, 40, 4, true);
    p->screenborder = TImageRect::FromImage(makeWhiteImage(60, 60, 20, 20, 9, false), 20, 20);
    p->device = TImageRect::FromImage(makeWhiteImage(60, 60, 20, 20, 9, false), 20, 20);
    p->connections = makeWhiteImage(100, 20, 20, 20, 5, true);
    p->font24 = ImageFont::makeFixed(12, 24);
    p->font14 = ImageFont::makeFixed(7, 14);
    p->font9 = ImageFont::makeFixed(5, 9);
    p->font10 = ImageFont::makeFixed(5, 10);
    p->digital = makeWhiteImage(400, 320, 100, 160, 8, true);
    p->mode = makeWhiteImage(140, 20, 20, 20, 7, true);
    return p;
}

inline bool near(double a, double b, double eps = 1e-9) { return std::fabs(a - b) <= eps; }

}  // namespace gw::test
