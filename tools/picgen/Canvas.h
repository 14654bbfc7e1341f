// A tiny anti-aliased vector painter for the picture generator: shapes are signed distance
// functions (negative inside, in pixels), painted "over" into a premultiplied float picture.
// Distance-based coverage gives clean one-pixel anti-aliasing at the small sizes the program's
// pictures have, without any outside drawing library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace picgen {

struct RGBA {
    float r = 0, g = 0, b = 0, a = 0;  // straight colour 0..1
};
inline RGBA rgb(int r, int g, int b, float a = 1) { return {r / 255.f, g / 255.f, b / 255.f, a}; }
inline RGBA mix(RGBA p, RGBA q, float t) {
    return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

using Shape = std::function<float(float, float)>;
using Paint = std::function<RGBA(float, float)>;

// Shapes.
Shape circle(float cx, float cy, float r);
Shape box(float x0, float y0, float x1, float y1, float radius = 0);  // rounded rectangle by corners
Shape capsule(float ax, float ay, float bx, float by, float halfWidth);
Shape polygon(std::vector<std::pair<float, float>> pts);
Shape unite(Shape a, Shape b);
Shape intersect(Shape a, Shape b);
Shape subtract(Shape a, Shape b);
Shape outline(Shape s, float width);  // a band of `width` centred on the shape's edge
Shape grow(Shape s, float by);
Shape translate(Shape s, float dx, float dy);

// Paints.
inline Paint solid(RGBA c) { return [c](float, float) { return c; }; }
Paint vgrad(float y0, RGBA c0, float y1, RGBA c1);
Paint radial(float cx, float cy, float r, RGBA inner, RGBA outer);

class Canvas {
public:
    Canvas(int w, int h);
    int width() const { return w_; }
    int height() const { return h_; }
    // Paints `p` where `s` is inside; `soft` widens the edge ramp (1 = crisp anti-aliasing).
    void fill(const Shape& s, const Paint& p, float soft = 1);
    void fill(const Shape& s, RGBA c, float soft = 1) { fill(s, solid(c), soft); }
    void stroke(const Shape& s, float width, RGBA c) { fill(outline(s, width), c); }
    // Restricts drawing to a rectangle (used to draw into one cell of a strip).
    void clip(int x0, int y0, int x1, int y1);
    void noClip() { clip(0, 0, w_, h_); }
    // Alpha coverage bitmap (text) painted in colour c with its top-left at (x, y).
    void blitAlpha(const std::vector<uint8_t>& a, int aw, int ah, int x, int y, RGBA c);
    // Multiplies the alpha of every pixel inside the current clip by `f`.
    void fade(float f);
    // Copies a rectangle of another canvas to (dx, dy).
    void paste(const Canvas& src, int sx, int sy, int w, int h, int dx, int dy);
    std::vector<uint8_t> rgba8() const;  // straight RGBA8, rows top to bottom
    bool writePng(const std::string& path) const;

private:
    void over(int x, int y, RGBA c, float cov);
    int w_, h_;
    int cx0_ = 0, cy0_ = 0, cx1_ = 0, cy1_ = 0;
    std::vector<float> px_;  // premultiplied RGBA
};

// Writes a Windows icon file holding each canvas as a 32-bit entry.
bool writeIco(const std::string& path, const std::vector<const Canvas*>& sizes);

}  // namespace picgen
