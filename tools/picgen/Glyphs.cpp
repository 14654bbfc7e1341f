#include "tools/picgen/Glyphs.h"

namespace picgen {

void Pen::line(float u0, float v0, float u1, float v1, RGBA col, float width) const {
    const float hw = (width < 0 ? w : width) * s * 0.5f;
    c.fill(capsule(X(u0), Y(v0), X(u1), Y(v1), hw), col);
}
void Pen::dot(float u, float v, float r, RGBA col) const { c.fill(circle(X(u), Y(v), r * s), col); }
void Pen::ring(float u, float v, float r, RGBA col, float width) const {
    c.fill(outline(circle(X(u), Y(v), r * s), (width < 0 ? w : width) * s), col);
}
void Pen::rect(float u0, float v0, float u1, float v1, float radius, RGBA col) const {
    c.fill(box(X(u0), Y(v0), X(u1), Y(v1), radius * s), col);
}
void Pen::frame(float u0, float v0, float u1, float v1, float radius, RGBA col, float width) const {
    c.fill(outline(box(X(u0), Y(v0), X(u1), Y(v1), radius * s), (width < 0 ? w : width) * s), col);
}
void Pen::poly(std::vector<std::pair<float, float>> pts, RGBA col) const {
    for (auto& [u, v] : pts) {
        u = X(u);
        v = Y(v);
    }
    c.fill(polygon(std::move(pts)), col);
}

namespace {
// The D of an AND gate: a box whose right half is a half disc.
Shape andBody(const Pen& p, float u0, float v0, float u1, float v1) {
    const float r = (v1 - v0) * 0.5f * p.s;
    const float cx = p.X(u1) - r, cy = (p.Y(v0) + p.Y(v1)) * 0.5f;
    return unite(box(p.X(u0), p.Y(v0), cx, p.Y(v1)), intersect(circle(cx, cy, r), box(cx, p.Y(v0), p.X(u1), p.Y(v1))));
}
}  // namespace

void glyphAndGate(const Pen& p) {
    p.line(0.04f, 0.36f, 0.3f, 0.36f, p.ink);
    p.line(0.04f, 0.64f, 0.3f, 0.64f, p.ink);
    p.line(0.72f, 0.5f, 0.96f, 0.5f, p.ink);
    const Shape body = andBody(p, 0.24f, 0.18f, 0.8f, 0.82f);
    p.c.fill(body, p.accent);
    p.c.fill(outline(body, p.w * p.s), p.ink);
}

void glyphOrGate(const Pen& p) {
    p.line(0.04f, 0.36f, 0.34f, 0.36f, p.ink);
    p.line(0.04f, 0.64f, 0.34f, 0.64f, p.ink);
    p.line(0.74f, 0.5f, 0.96f, 0.5f, p.ink);
    // Concave back, pointed front: a polygon approximating the two arcs.
    std::vector<std::pair<float, float>> pts;
    for (int i = 0; i <= 8; ++i) {  // front, upper arc
        const float t = i / 8.f;
        pts.push_back({0.22f + 0.6f * t, 0.18f + 0.32f * t * t});
    }
    for (int i = 7; i >= 0; --i) {  // front, lower arc
        const float t = i / 8.f;
        pts.push_back({0.22f + 0.6f * t, 0.82f - 0.32f * t * t});
    }
    for (int i = 1; i < 8; ++i) {  // back, concave
        const float t = i / 8.f, v = 0.82f - 0.64f * t;
        const float d = (v - 0.5f) / 0.32f;
        pts.push_back({0.22f + 0.12f * (1 - d * d), v});
    }
    std::vector<std::pair<float, float>> sp = pts;
    for (auto& [u, v] : sp) {
        u = p.X(u);
        v = p.Y(v);
    }
    const Shape body = polygon(sp);
    p.c.fill(body, p.accent);
    p.c.fill(outline(body, p.w * p.s), p.ink);
}

void glyphInverter(const Pen& p) {
    p.line(0.04f, 0.5f, 0.26f, 0.5f, p.ink);
    p.line(0.82f, 0.5f, 0.96f, 0.5f, p.ink);
    std::vector<std::pair<float, float>> tri = {{0.24f, 0.2f}, {0.68f, 0.5f}, {0.24f, 0.8f}};
    for (auto& [u, v] : tri) {
        u = p.X(u);
        v = p.Y(v);
    }
    const Shape body = polygon(tri);
    p.c.fill(body, p.accent);
    p.c.fill(outline(body, p.w * p.s), p.ink);
    p.dot(0.75f, 0.5f, 0.075f, p.accent);
    p.ring(0.75f, 0.5f, 0.075f, p.ink);
}

void glyphWire(const Pen& p) {
    p.line(0.16f, 0.78f, 0.16f, 0.46f, p.ink);
    p.line(0.16f, 0.46f, 0.84f, 0.46f, p.ink);
    p.line(0.84f, 0.46f, 0.84f, 0.22f, p.ink);
    p.dot(0.16f, 0.8f, 0.12f, p.accent);
    p.dot(0.84f, 0.2f, 0.12f, p.accent);
}

void glyphMove(const Pen& p) {
    p.line(0.5f, 0.14f, 0.5f, 0.86f, p.ink);
    p.line(0.14f, 0.5f, 0.86f, 0.5f, p.ink);
    const float a = 0.17f;
    p.poly({{0.5f, 0.02f}, {0.5f + a, 0.2f}, {0.5f - a, 0.2f}}, p.accent);
    p.poly({{0.5f, 0.98f}, {0.5f - a, 0.8f}, {0.5f + a, 0.8f}}, p.accent);
    p.poly({{0.02f, 0.5f}, {0.2f, 0.5f - a}, {0.2f, 0.5f + a}}, p.accent);
    p.poly({{0.98f, 0.5f}, {0.8f, 0.5f + a}, {0.8f, 0.5f - a}}, p.accent);
}

void glyphCaption(const Pen& p) {
    // A sans-serif capital T over a short baseline.
    p.rect(0.14f, 0.1f, 0.86f, 0.26f, 0.02f, p.ink);
    p.rect(0.42f, 0.1f, 0.58f, 0.78f, 0.02f, p.ink);
    p.rect(0.28f, 0.84f, 0.72f, 0.94f, 0.03f, p.accent);
}

void glyphInvert(const Pen& p) {
    p.line(0.04f, 0.5f, 0.3f, 0.5f, p.ink);
    p.ring(0.55f, 0.5f, 0.22f, p.accent, p.w * 1.25f);
    p.line(0.8f, 0.5f, 0.96f, 0.5f, p.ink);
}

void glyphRemove(const Pen& p) {
    p.line(0.18f, 0.18f, 0.82f, 0.82f, p.accent, p.w * 1.5f);
    p.line(0.82f, 0.18f, 0.18f, 0.82f, p.accent, p.w * 1.5f);
}

void glyphChip(const Pen& p, bool withLabel) {
    for (int i = 0; i < 3; ++i) {
        const float u = 0.3f + 0.2f * i;
        p.line(u, 0.04f, u, 0.2f, p.ink);
        p.line(u, 0.8f, u, 0.96f, p.ink);
    }
    p.rect(0.14f, 0.16f, 0.86f, 0.84f, 0.1f, p.ink);
    p.rect(0.14f + p.w, 0.16f + p.w, 0.86f - p.w, 0.84f - p.w, 0.06f, p.accent);
    if (withLabel) p.dot(0.28f + p.w, 0.3f + p.w, 0.06f, p.ink);
}

void glyphPointer(const Pen& p) {
    std::vector<std::pair<float, float>> arrow = {{0.22f, 0.06f}, {0.22f, 0.82f}, {0.4f, 0.66f}, {0.52f, 0.94f},
                                                  {0.64f, 0.89f}, {0.52f, 0.62f}, {0.76f, 0.62f}};
    for (auto& [u, v] : arrow) {
        u = p.X(u);
        v = p.Y(v);
    }
    const Shape s = polygon(arrow);
    p.c.fill(s, p.accent);
    p.c.fill(outline(s, p.w * p.s * 0.9f), p.ink);
}

}  // namespace picgen
