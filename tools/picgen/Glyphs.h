// Small pictograms shared by the mode marks, the toolbar strip, the palette category icons and
// the logo. Each draws into the square (x, y, size) of a canvas; `ink` is the main colour and
// `accent` the highlight (the mode marks pass black for both, they are drawn as silhouettes).
#pragma once

#include "tools/picgen/Canvas.h"

namespace picgen {

struct Pen {
    Canvas& c;
    float x, y, s;  // the square
    RGBA ink, accent;
    float w;        // stroke width in unit space
    float X(float u) const { return x + u * s; }
    float Y(float v) const { return y + v * s; }
    // A stroke between two unit-space points.
    void line(float u0, float v0, float u1, float v1, RGBA col, float width = -1) const;
    void dot(float u, float v, float r, RGBA col) const;
    void ring(float u, float v, float r, RGBA col, float width = -1) const;
    void rect(float u0, float v0, float u1, float v1, float radius, RGBA col) const;
    void frame(float u0, float v0, float u1, float v1, float radius, RGBA col, float width = -1) const;
    void poly(std::vector<std::pair<float, float>> pts, RGBA col) const;
};

void glyphAndGate(const Pen& p);
void glyphOrGate(const Pen& p);
void glyphInverter(const Pen& p);
void glyphWire(const Pen& p);
void glyphMove(const Pen& p);
void glyphCaption(const Pen& p);
void glyphInvert(const Pen& p);
void glyphRemove(const Pen& p);
void glyphChip(const Pen& p, bool withLabel);
void glyphPointer(const Pen& p);

}  // namespace picgen
