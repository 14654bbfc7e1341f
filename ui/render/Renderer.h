// The immediate-mode 2D renderer every drawing routine goes through. The base class holds the
// drawing state (colour, alpha, blend mode, rotation, scale, image font, clear colour) between
// calls; backends (OpenGL on the canvas, raster on a QImage, the recording renderer of the tests)
// implement the operations. Coordinates are pixels, origin top-left, y down.
//
// Images are drawn about their handle: the frame is scaled by the current scale and rotated by the
// current rotation (degrees, clockwise on screen since y points down) about the handle, which is put
// at (x, y). Colour multiplies every image pixel and is the colour of text, lines and rectangles;
// alpha multiplies opacity. A null image or font draws nothing.
#pragma once

#include <memory>
#include <string>

#include "ui/render/Image.h"
#include "ui/render/ImageFont.h"

namespace gw {

enum class BlendMode { Mask, Solid, Alpha, Light, Shade };

// One frame of a picture drawn in several parts (a framed body's nine tiles, a wire's caps and
// body): frame `frame` with its handle at (x, y) at scale (sx, sy), stretched first to w x h as
// drawImageRect does when `stretch` is set. Plain data (lists of parts are filled in place).
struct ImagePart {
    double x, y;
    double sx, sy;
    double w, h;
    int frame;
    bool stretch;
};

struct Pics;

class Renderer {
public:
    virtual ~Renderer() = default;

    // --- state ---
    void setColor(int r, int g, int b) { r_ = r; g_ = g; b_ = b; }
    void getColor(int& r, int& g, int& b) const { r = r_; g = g_; b = b_; }
    int colorR() const { return r_; }
    int colorG() const { return g_; }
    int colorB() const { return b_; }
    void setAlpha(double a) { alpha_ = a; }
    double getAlpha() const { return alpha_; }
    void setBlend(BlendMode m) { blend_ = m; }
    BlendMode getBlend() const { return blend_; }
    void setTransform(double rot, double sx, double sy) { rot_ = rot; sx_ = sx; sy_ = sy; }
    void setScale(double sx, double sy) { sx_ = sx; sy_ = sy; }
    void setRotation(double deg) { rot_ = deg; }
    void getScale(double& sx, double& sy) const { sx = sx_; sy = sy_; }
    double scaleX() const { return sx_; }
    double scaleY() const { return sy_; }
    double getRotation() const { return rot_; }
    void setImageFont(const ImageFont* f) { font_ = f; }
    const ImageFont* getImageFont() const { return font_; }
    void setClearColor(int r, int g, int b) { cr_ = r; cg_ = g; cb_ = b; }
    void getClearColor(int& r, int& g, int& b) const { r = cr_; g = cg_; b = cb_; }

    // The image set the program's drawing routines use (loaded once by Pics::Load). Never null:
    // a renderer without one answers an empty set whose slots are all null.
    const Pics& pics() const { return pics_ ? *pics_ : emptyPics(); }
    void setPics(std::shared_ptr<const Pics> p) { pics_ = std::move(p); }

    // --- operations ---
    virtual void clear() = 0;
    // The frame with its handle at (x, y), rotated and scaled by the transform, tinted by colour/alpha.
    virtual void drawImage(const Image* img, double x, double y, int frame) = 0;
    // The frame scaled to w x h (unscaled size), then by the current scale, placed by its handle.
    virtual void drawImageRect(const Image* img, double x, double y, double w, double h, int frame) = 0;
    // One pixel wide at scale 1, last pixel included.
    virtual void drawLine(double x1, double y1, double x2, double y2) = 0;
    virtual void drawRect(double x, double y, double w, double h) = 0;
    virtual void plot(double x, double y) = 0;
    // The text's top-left corner at (x, y), scaled by the current scale, in the current colour/alpha.
    virtual void drawText(const std::string& utf8, double x, double y) = 0;
    // Draws the parts in order, each as drawImage (or drawImageRect) would at its own scale and
    // the current rotation, colour, alpha and blend mode; the scale is left as it was. The same
    // calls one by one, which is what this base does; a backend may add all parts in one go.
    virtual void drawImageParts(const Image* img, const ImagePart* parts, int n);
    // Ends a frame: backends that batch submit what is pending.
    virtual void flush() {}

    // Stamps: one picture drawn at many places (every gate of a type looks the same). beginStamp
    // starts recording what is drawn, with (x, y) as the picture's origin; it is drawn as well.
    // endStamp ends the recording and answers the stamp's number, or -1 when it cannot be drawn
    // again (this renderer keeps no stamps, or something drawn was of a kind it does not record).
    // drawStamp draws the picture again with its origin at (x, y) and leaves colour, alpha, blend,
    // transform and font as the recorded drawing left them. A caller repeats a picture only where
    // drawing it afresh would give the same pixels: at the same fractions of a pixel, so that
    // positions its drawing rounds to whole pixels move with it. Stamps live until dropStamps.
    virtual void beginStamp(double /*x*/, double /*y*/) {}
    virtual int endStamp() { return -1; }
    virtual void drawStamp(int /*stamp*/, double /*x*/, double /*y*/) {}
    virtual void dropStamps() {}

    // Text metrics in unscaled pixels of the current image font (0 without a font).
    double textWidth(const std::string& utf8) const { return font_ ? font_->textWidth(utf8) : 0; }
    double textHeight(const std::string& utf8) const { return font_ ? font_->textHeight(utf8) : 0; }

    // Restores the state a frame starts from: white, alpha 1, alpha blending, identity transform.
    void resetState() {
        setColor(255, 255, 255);
        alpha_ = 1;
        blend_ = BlendMode::Alpha;
        setTransform(0, 1, 1);
    }

protected:
    static const Pics& emptyPics();

    int r_ = 255, g_ = 255, b_ = 255;
    double alpha_ = 1;
    BlendMode blend_ = BlendMode::Alpha;
    double rot_ = 0, sx_ = 1, sy_ = 1;
    const ImageFont* font_ = nullptr;
    int cr_ = 0, cg_ = 0, cb_ = 0;
    std::shared_ptr<const Pics> pics_;
};

}  // namespace gw
