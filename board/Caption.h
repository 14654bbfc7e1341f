// TCaption: a free text label on the board, anchored at a grid cell and centred over the smallest
// block of whole cells that holds its text. The board's caption list owns captions through
// shared_ptr; Destroy only flags a caption invalid so that the caption tool, which may still hold
// it, notices it was removed.
//
// width/Height are the cell extent as last measured by Draw (at least 1 each once drawn); the hit
// test and the ghost outline use that measure.
#pragma once

#include <memory>
#include <string>

namespace gw {

class Renderer;
class ImageFont;
struct Pics;

class TCaption {
public:
    std::string txt;
    int xPos = 0, yPos = 0;
    int Size = 0;            // 0 small, 1 middle, 2 big
    int width = 0, Height = 0;
    int colR = 0, colG = 0, colB = 0;
    int bShadow = 0;
    int isValid = 1;

    virtual ~TCaption() = default;

    static std::shared_ptr<TCaption> Create();
    virtual void generate() {}

    // Draws the text (and shadow) and re-measures width/Height. (px, py) is the screen position of
    // board point (0, 0), (sx, sy) the zoom, (fx, fy) the unzoomed cell size.
    virtual void Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy);
    // The outline of the caption's cell block in the current colour.
    virtual void drawGhost(Renderer& r, double px, double py, double sx, double sy, double fx,
                           double fy) const;
    // The font for Size from the image set; a Size out of 0..2 is corrected to 1 first. May be null
    // when the set lacks that font.
    const ImageFont* _getImageFont(const Pics& pics);
    // Sets width/Height to the whole cells a text of tw x th pixels needs, at least one each.
    void _fitCells(double tw, double th, double fx, double fy);
    // 1 when board pixel (px, py) lies in the caption's block, borders included.
    int containsPixel(int px, int py) const;
    void Destroy() { isValid = 0; }
};

}  // namespace gw
