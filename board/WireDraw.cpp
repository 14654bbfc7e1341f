// The wire mode's feedback: the preview of the wire being drawn and the mode cursor.
#include "board/BoardEngine.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

void TBoardEngine::drawWireMode(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                double /*viewWidth*/, double /*viewHeight*/) {
    r.setTransform(0, xScale, yScale);
    if (modeWire_state == 1) {
        const double x1 = xMove + xScale * fieldXSize * modeWire_sx;
        const double y1 = yMove + yScale * fieldYSize * modeWire_sy;
        SetOwnColor(r, modeWire_buildable ? colorGreen : colorRed);
        r.setAlpha(0.5);
        TWireComplex::DrawWire(r, x1, y1, xMove + xScale * fieldXSize * tx,
                               yMove + yScale * fieldYSize * ty, xScale, yScale);
        // A faint line to the exact mouse position shows where the pointer is between grid points.
        SetOwnColor(r, colorBlack);
        r.setAlpha(0.25);
        TWireComplex::DrawWire(r, x1, y1, xMove + xScale * mx, yMove + yScale * my, xScale, yScale);
    }
    r.setTransform(0, 1, 1);
    SetOwnColor(r, colorBlack);
    r.setAlpha(1);
    r.drawImage(r.pics().mode.get(), static_cast<int>(xMove + xScale * mx),
                static_cast<int>(yMove + yScale * my), 1);
}

}  // namespace gw
