#include "tools/picgen/Canvas.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace picgen {

Shape circle(float cx, float cy, float r) {
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Shape box(float x0, float y0, float x1, float y1, float radius) {
    const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    const float hw = (x1 - x0) * 0.5f, hh = (y1 - y0) * 0.5f;
    return [=](float x, float y) {
        const float qx = std::fabs(x - cx) - hw + radius, qy = std::fabs(y - cy) - hh + radius;
        const float ox = std::max(qx, 0.f), oy = std::max(qy, 0.f);
        return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.f) - radius;
    };
}

Shape capsule(float ax, float ay, float bx, float by, float halfWidth) {
    return [=](float x, float y) {
        const float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
        const float len2 = dx * dx + dy * dy;
        const float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.f, 1.f) : 0.f;
        return std::hypot(px - dx * t, py - dy * t) - halfWidth;
    };
}

Shape polygon(std::vector<std::pair<float, float>> pts) {
    return [pts = std::move(pts)](float x, float y) {
        const size_t n = pts.size();
        float d = 1e9f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const auto [xi, yi] = pts[i];
            const auto [xj, yj] = pts[j];
            const float ex = xj - xi, ey = yj - yi, wx = x - xi, wy = y - yi;
            const float len2 = ex * ex + ey * ey;
            const float t = len2 > 0 ? std::clamp((wx * ex + wy * ey) / len2, 0.f, 1.f) : 0.f;
            d = std::min(d, std::hypot(wx - ex * t, wy - ey * t));
            if (((yi > y) != (yj > y)) && (x < (xj - xi) * (y - yi) / (yj - yi) + xi)) inside = !inside;
        }
        return inside ? -d : d;
    };
}

Shape unite(Shape a, Shape b) {
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
Shape intersect(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}
Shape subtract(Shape a, Shape b) {
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}
Shape outline(Shape s, float width) {
    return [=](float x, float y) { return std::fabs(s(x, y)) - width * 0.5f; };
}
Shape grow(Shape s, float by) {
    return [=](float x, float y) { return s(x, y) - by; };
}
Shape translate(Shape s, float dx, float dy) {
    return [=](float x, float y) { return s(x - dx, y - dy); };
}

Paint vgrad(float y0, RGBA c0, float y1, RGBA c1) {
    return [=](float, float y) {
        const float t = y1 != y0 ? std::clamp((y - y0) / (y1 - y0), 0.f, 1.f) : 0.f;
        return mix(c0, c1, t);
    };
}

Paint radial(float cx, float cy, float r, RGBA inner, RGBA outer) {
    return [=](float x, float y) {
        const float t = std::clamp(std::hypot(x - cx, y - cy) / r, 0.f, 1.f);
        return mix(inner, outer, t);
    };
}

Canvas::Canvas(int w, int h) : w_(w), h_(h), cx1_(w), cy1_(h), px_(static_cast<size_t>(w) * h * 4, 0.f) {}

void Canvas::clip(int x0, int y0, int x1, int y1) {
    cx0_ = std::clamp(x0, 0, w_);
    cy0_ = std::clamp(y0, 0, h_);
    cx1_ = std::clamp(x1, 0, w_);
    cy1_ = std::clamp(y1, 0, h_);
}

void Canvas::over(int x, int y, RGBA c, float cov) {
    const float a = std::clamp(c.a * cov, 0.f, 1.f);
    if (a <= 0) return;
    float* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
}

void Canvas::fill(const Shape& s, const Paint& paint, float soft) {
    for (int y = cy0_; y < cy1_; ++y)
        for (int x = cx0_; x < cx1_; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float d = s(fx, fy);
            const float cov = std::clamp(0.5f - d / soft, 0.f, 1.f);
            if (cov > 0) over(x, y, paint(fx, fy), cov);
        }
}

void Canvas::blitAlpha(const std::vector<uint8_t>& a, int aw, int ah, int x, int y, RGBA c) {
    for (int j = 0; j < ah; ++j)
        for (int i = 0; i < aw; ++i) {
            const int tx = x + i, ty = y + j;
            if (tx < cx0_ || ty < cy0_ || tx >= cx1_ || ty >= cy1_) continue;
            over(tx, ty, c, a[static_cast<size_t>(j) * aw + i] / 255.f);
        }
}

void Canvas::fade(float f) {
    for (int y = cy0_; y < cy1_; ++y)
        for (int x = cx0_; x < cx1_; ++x) {
            float* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
            for (int k = 0; k < 4; ++k) p[k] *= f;
        }
}

void Canvas::paste(const Canvas& src, int sx, int sy, int w, int h, int dx, int dy) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (sx + x < 0 || sy + y < 0 || sx + x >= src.w_ || sy + y >= src.h_) continue;
            if (dx + x < 0 || dy + y < 0 || dx + x >= w_ || dy + y >= h_) continue;
            const float* s = &src.px_[(static_cast<size_t>(sy + y) * src.w_ + sx + x) * 4];
            float* d = &px_[(static_cast<size_t>(dy + y) * w_ + dx + x) * 4];
            std::memcpy(d, s, 4 * sizeof(float));
        }
}

std::vector<uint8_t> Canvas::rgba8() const {
    std::vector<uint8_t> out(static_cast<size_t>(w_) * h_ * 4);
    for (size_t i = 0; i < static_cast<size_t>(w_) * h_; ++i) {
        const float a = px_[i * 4 + 3];
        for (int k = 0; k < 3; ++k) {
            const float v = a > 0 ? px_[i * 4 + k] / a : 0.f;
            out[i * 4 + k] = static_cast<uint8_t>(std::clamp(v, 0.f, 1.f) * 255.f + 0.5f);
        }
        out[i * 4 + 3] = static_cast<uint8_t>(std::clamp(a, 0.f, 1.f) * 255.f + 0.5f);
    }
    return out;
}

bool Canvas::writePng(const std::string& path) const {
    const std::vector<uint8_t> px = rgba8();
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(w_);
    img.height = static_cast<png_uint_32>(h_);
    img.format = PNG_FORMAT_RGBA;
    const int ok = png_image_write_to_file(&img, path.c_str(), 0, px.data(), 0, nullptr);
    png_image_free(&img);
    return ok != 0;
}

namespace {
void put16(std::vector<uint8_t>& v, unsigned x) {
    v.push_back(static_cast<uint8_t>(x & 0xFF));
    v.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
}
void put32(std::vector<uint8_t>& v, unsigned x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
}  // namespace

bool writeIco(const std::string& path, const std::vector<const Canvas*>& sizes) {
    // Classic 32-bit DIB entries (BGRA rows bottom-up plus a 1-bit AND mask): every reader
    // understands them, unlike PNG-compressed entries.
    std::vector<std::vector<uint8_t>> bodies;
    for (const Canvas* c : sizes) {
        const int w = c->width(), h = c->height();
        const std::vector<uint8_t> px = c->rgba8();
        std::vector<uint8_t> b;
        put32(b, 40);
        put32(b, static_cast<unsigned>(w));
        put32(b, static_cast<unsigned>(h * 2));
        put16(b, 1);
        put16(b, 32);
        put32(b, 0);
        const int maskStride = ((w + 31) / 32) * 4;
        put32(b, static_cast<unsigned>(w * h * 4 + maskStride * h));
        for (int k = 0; k < 4; ++k) put32(b, 0);
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
                b.push_back(p[2]);
                b.push_back(p[1]);
                b.push_back(p[0]);
                b.push_back(p[3]);
            }
        for (int y = h - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskStride, 0);
            for (int x = 0; x < w; ++x)
                if (px[(static_cast<size_t>(y) * w + x) * 4 + 3] == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            b.insert(b.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(b));
    }
    std::vector<uint8_t> f;
    put16(f, 0);
    put16(f, 1);
    put16(f, static_cast<unsigned>(sizes.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        f.push_back(static_cast<uint8_t>(sizes[i]->width() >= 256 ? 0 : sizes[i]->width()));
        f.push_back(static_cast<uint8_t>(sizes[i]->height() >= 256 ? 0 : sizes[i]->height()));
        f.push_back(0);
        f.push_back(0);
        put16(f, 1);
        put16(f, 32);
        put32(f, static_cast<unsigned>(bodies[i].size()));
        put32(f, offset);
        offset += static_cast<unsigned>(bodies[i].size());
    }
    for (const auto& b : bodies) f.insert(f.end(), b.begin(), b.end());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(f.data(), 1, f.size(), out) == f.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace picgen
