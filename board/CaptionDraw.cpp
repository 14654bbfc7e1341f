// How a caption draws: its text centred on the smallest block of whole cells that holds it,
// optionally over a soft shadow of nine faint black copies, and the outline of that block as its
// ghost in the caption and remove modes. Drawing re-measures the block, which the hit test uses.
#include <algorithm>
#include <cmath>

#include "board/Caption.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

namespace {
inline int clampByte(int v) { return std::clamp(v, 0, 255); }
}  // namespace

void TCaption::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy) {
    r.setImageFont(_getImageFont(r.pics()));
    const double tw = r.textWidth(txt), th = r.textHeight(txt);
    _fitCells(tw, th, fx, fy);
    const double X = px + (xPos + 0.5 * width) * fx * sx - 0.5 * tw * sx;
    const double Y = py + (yPos + 0.5 * Height) * fy * sy - 0.5 * th * sy;
    r.setTransform(0, sx, sy);
    if (bShadow == 1) {
        r.setColor(0, 0, 0);
        const double a = r.getAlpha();
        r.setAlpha(0.1 * a);
        for (int k = 0; k < 9; ++k) {
            const double theta = k * 40.0 * M_PI / 180.0;
            r.drawText(txt, X + (2 * std::cos(theta) + 0.5) * sx, Y + (2 * std::sin(theta) + 0.5) * sy);
        }
        r.setAlpha(a);
    }
    // Colours come from files as plain ints; anything outside a byte is held to its edge.
    r.setColor(clampByte(colR), clampByte(colG), clampByte(colB));
    r.drawText(txt, static_cast<int>(X), static_cast<int>(Y));
}

void TCaption::drawGhost(Renderer& r, double px, double py, double sx, double sy, double fx, double fy) const {
    r.setTransform(0, 1, 1);
    const double x1 = px + xPos * fx * sx, y1 = py + yPos * fy * sy;
    const double x2 = px + (xPos + width) * fx * sx, y2 = py + (yPos + Height) * fy * sy;
    r.drawLine(x1, y1, x2, y1);
    r.drawLine(x2, y1, x2, y2);
    r.drawLine(x2, y2, x1, y2);
    r.drawLine(x1, y2, x1, y1);
}

}  // namespace gw
