// How types, placed devices and nets draw themselves. Every routine sets the transform it needs
// before drawing; colours are multiplied into the caller's colour where a tint applies, so a caller
// that darkens or fades the colour first (ghosts) darkens the whole picture.
#include <cmath>

#include "model/Device.h"
#include "model/Draft.h"
#include "model/HoverNotes.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "model/Wire.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

namespace {
inline int trunc(double v) { return static_cast<int>(v); }
}  // namespace

// --- TDraft ---

void TDraft::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                  const TDevice* device) const {
    _drawArea(r, -trunc(0.5 * width), -trunc(0.5 * Height), width, Height, px, py, sx, sy, fx, fy);
    drawConnections(r, px, py, sx, sy, fx, fy, device);
    _drawTitle(r, px, py, sx, sy, fx, fy, device);
}

void TDraft::_drawArea(Renderer& r, int x, int y, int w, int h, double px, double py, double sx, double sy,
                       double fx, double fy) const {
    r.setTransform(0, sx, sy);
    int cr, cg, cb;
    r.getColor(cr, cg, cb);
    r.setColor(colR * cr / 255, colG * cg / 255, colB * cb / 255);
    if (const auto& body = r.pics().device) body->Draw(r, px + fx * x * sx, py + fy * y * sy, fx * w, fy * h);
    r.setColor(cr, cg, cb);
}

void TDraft::DrawGhost(Renderer& r, double px, double py, double sx, double sy, double fx, double fy) const {
    Draw(r, px, py, sx, sy, fx, fy, nullptr);
}

void TDraft::DrawWireConnection(Renderer& r, double x, double y, double sx, double sy) const {
    r.setTransform(0, sx, sy);
    r.drawImage(r.pics().mark.get(), x, y, 0);
}

namespace {
// Where a pin at (x, y) of a w x h body sits: the connector frame and the caption's placement
// (fractions L, M of its size, offsets O, T in unzoomed pixels).
struct PinPlace {
    int frame = 0;
    double L = 0, M = 0, O = 0, T = 0;
};
inline PinPlace pinPlace(int x, int y, int w, int h) {
    if (x == w / 2 + odd(w)) return {0, 1.0, 0.5, -5, 0};  // right edge
    if (x == -w / 2) return {2, 0.0, 0.5, 5, 0};           // left edge
    if (y == h / 2 + odd(h)) return {1, 0.5, 1.0, 0, -5};  // bottom edge
    if (y == -h / 2) return {3, 0.5, 0.0, 0, 5};           // top edge
    return {};
}
// The caption of a pin whose point is (X, Y), placed by `pp`, in the colour already set.
inline void drawPinCaption(Renderer& r, const std::string& caption, double X, double Y, const PinPlace& pp,
                           double sx, double sy) {
    r.setImageFont(r.pics().font14.get());
    r.drawText(caption, trunc(X - pp.L * r.textWidth(caption) * sx + pp.O * sx),
               trunc(Y - pp.M * r.textHeight(caption) * sy + pp.T * sy));
}
}  // namespace

void TDraft::drawConnections(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                             const TDevice*) const {
    r.setTransform(0, sx, sy);
    r.setColor(0, 0, 0);
    // The same drawing as _drawConnection for every input, then every output, in that order; the
    // connectors go to the renderer together up to the next pin with a caption, which is drawn
    // right after its connector.
    const Image* img = r.pics().connections.get();
    constexpr int kRun = 16;
    ImagePart run[kRun];
    int n = 0;
    const int ins = countInputs(), total = ins + countOutputs();
    for (int i = 0; i < total; ++i) {
        const bool in = i < ins;
        const int k = in ? i : i - ins;
        const int x = in ? getInputXPos(k) : getOutputXPos(k), y = in ? getInputYPos(k) : getOutputYPos(k);
        const std::string& caption = in ? getInputCap(k) : getOutputCap(k);
        const PinPlace pp = pinPlace(x, y, width, Height);
        const double X = px + x * fx * sx, Y = py + y * fy * sy;
        run[n++] = ImagePart{X, Y, sx, sy, 0, 0, pp.frame, false};
        if (caption.empty() && n < kRun && i + 1 < total) continue;
        r.drawImageParts(img, run, n);
        n = 0;
        if (!caption.empty()) drawPinCaption(r, caption, X, Y, pp, sx, sy);
    }
}

void TDraft::_drawConnection(Renderer& r, const std::string& caption, int x, int y, double px, double py,
                             double sx, double sy, double fx, double fy, const TDevice*) const {
    const PinPlace pp = pinPlace(x, y, width, Height);
    r.setTransform(0, sx, sy);
    const double X = px + x * fx * sx, Y = py + y * fy * sy;
    r.drawImage(r.pics().connections.get(), X, Y, pp.frame);
    if (!caption.empty()) drawPinCaption(r, caption, X, Y, pp, sx, sy);
}

void TDraft::_drawTitle(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                        const TDevice*) const {
    const std::string name = GetName();
    r.setImageFont(r.pics().font24.get());
    r.setColor(0, 0, 0);
    r.setTransform(0, sx, sy);
    if (name.empty()) return;
    r.drawText(name, trunc(px - 0.5 * r.textWidth(name) * sx + 0.5 * odd(width) * fx * sx),
               trunc(py - 0.5 * r.textHeight(name) * sy + 0.5 * odd(Height) * fy * sy));
}

std::vector<HoverNote>& hoverNotes() {
    static std::vector<HoverNote> notes;
    return notes;
}

void TDraft::mouseOverFunc(TDevice& device) const {
    device.hover = 1;
    auto& notes = hoverNotes();
    if (notes.size() >= 256) notes.erase(notes.begin());
    notes.push_back(HoverNote{&device, device.xPos, device.yPos});
}

// --- TDevice ---

void TDevice::Draw(Renderer& r, double ox, double oy, double sx, double sy, double fx, double fy) {
    draft->Draw(r, ox + fx * sx * xPos, oy + fy * sy * yPos, sx, sy, fx, fy, this);
    hover = 0;
}

void TDevice::drawWireConnections(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                                  double fy) const {
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!inputs[i]) continue;
        if (inputs[i]->State == 1) r.setColor(0, 0, 180); else r.setColor(0, 0, 0);
        const int k = static_cast<int>(i);
        draft->DrawWireConnection(r, ox + fx * sx * (xPos + draft->getInputXPos(k)),
                                  oy + fy * sy * (yPos + draft->getInputYPos(k)), sx, sy);
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (!outputs[i]) continue;
        if (outputs[i]->State == 1) r.setColor(0, 0, 180); else r.setColor(0, 0, 0);
        const int k = static_cast<int>(i);
        draft->DrawWireConnection(r, ox + fx * sx * (xPos + draft->getOutputXPos(k)),
                                  oy + fy * sy * (yPos + draft->getOutputYPos(k)), sx, sy);
    }
}

void TDevice::drawInvertedInputs(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                                 double fy) const {
    r.setTransform(0, sx, sy);
    for (size_t i = 0; i < invertedInputs.size(); ++i) {
        if (!invertedInputs[i]) continue;
        const int k = static_cast<int>(i);
        r.drawImage(r.pics().connections.get(), ox + (xPos + draft->getInputXPos(k)) * fx * sx,
                    oy + (yPos + draft->getInputYPos(k)) * fy * sy, 4);
    }
}

void TDevice::drawInvertedOutputs(Renderer& r, double ox, double oy, double sx, double sy, double fx,
                                  double fy) const {
    r.setTransform(0, sx, sy);
    for (size_t i = 0; i < invertedOutputs.size(); ++i) {
        if (!invertedOutputs[i]) continue;
        const int k = static_cast<int>(i);
        r.drawImage(r.pics().connections.get(), ox + (xPos + draft->getOutputXPos(k)) * fx * sx,
                    oy + (yPos + draft->getOutputYPos(k)) * fy * sy, 4);
    }
}

// --- TWireComplex ---

void TWireComplex::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                        int ownColour) {
    if (ownColour == 0) {
        if (highlightIt) {
            highlightIt = 0;
            if (State == 1) r.setColor(50, 50, 200); else r.setColor(50, 50, 50);
        } else {
            if (State == 1) r.setColor(0, 0, 180); else r.setColor(0, 0, 0);
        }
    }
    for (const TLine& l : lineList)
        DrawWire(r, px + fx * sx * l.sx, py + fy * sy * l.sy, px + fx * sx * l.ex, py + fy * sy * l.ey, sx, sy);
    if (updateKnots) recalcKnots();
    if (!hasKnots) return;
    const Image* mark = r.pics().mark.get();
    for (const TKnot& k : knots()) {
        r.setTransform(0, sx, sy);
        r.drawImage(mark, px + sx * fx * k.xPos, py + sy * fy * k.yPos, 0);
    }
}

void TWireComplex::DrawWire(Renderer& r, double x1, double y1, double x2, double y2, double sx, double sy) {
    const Image* img = r.pics().wire.get();
    r.setScale(sx, sy);
    const double dx = x2 - x1, dy = y2 - y1;
    // Left to right along a row (the common wire) the angle is dy itself, 0 with dy's sign, as
    // atan2 would give it; down and up a column it is 90 and -90 (270 below), exactly as atan2
    // gives them.
    double angle = dy == 0 && dx > 0 ? dy
                   : dx == 0 && dy != 0 ? (dy > 0 ? 90.0 : -90.0)
                                        : std::atan2(dy, dx) * 180.0 / M_PI;
    if (angle < 0) angle += 360;
    if (angle >= 360) angle -= 360;
    const double length = std::sqrt(dx * dx + dy * dy);
    r.setRotation(angle);
    // Start cap, the body stretched between the caps, end cap.
    const double W = img ? img->frameWidth() : 5;
    const ImagePart parts[3] = {
        {x1, y1, sx, sy, 0, 0, 0, false},
        {(x1 + x2) / 2, (y1 + y2) / 2, (length - sx * W) / W, sy, 0, 0, 1, false},
        {x2, y2, sx, sy, 0, 0, 2, false},
    };
    r.drawImageParts(img, parts, 3);
}

// --- Own drawing of the built-in kinds ---

void TSwich::Draw(Renderer& r, double px, double py, double sx, double sy, double, double,
                  const TDevice* device) const {
    r.setTransform(0, sx, sy);
    const int data = device ? device->data : 0, hover = device ? device->hover : 0;
    r.drawImage(r.pics().swich.get(), px, py, data + 2 * hover + 4 * checkAble);
}

void TSwich::DrawGhost(Renderer& r, double px, double py, double sx, double sy, double, double) const {
    r.setTransform(0, sx, sy);
    r.drawImage(r.pics().swich.get(), px, py, 4 * checkAble);
}

void TTicker::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                   const TDevice* device) const {
    TDraft::Draw(r, px, py, sx, sy, fx, fy, device);
    if (Time <= 0) return;
    r.setTransform(0, sx, sy);
    r.setColor(0, 0, 0);
    r.setImageFont(r.pics().font9.get());
    const std::string text = periodText();
    r.drawText(text, trunc(px - 0.5 * r.textWidth(text) * sx), trunc(py + 0.9 * fy * sy - r.textHeight(text) * sy));
}

void TLed::Draw(Renderer& rr, double px, double py, double sx, double sy, double, double,
                const TDevice* device) const {
    const int data = device ? device->data : 0;
    const Image* img = rr.pics().led.get();
    rr.setTransform(0, sx, sy);
    rr.setColor(r, g, b);
    rr.drawImage(img, px, py, data);
    rr.setColor(255, 255, 255);
    rr.setBlend(BlendMode::Light);
    rr.drawImage(img, px, py, data + 2);
    rr.setBlend(BlendMode::Alpha);
}

void TLed::DrawGhost(Renderer& rr, double px, double py, double sx, double sy, double, double) const {
    rr.setTransform(0, sx, sy);
    int cr, cg, cb;
    rr.getColor(cr, cg, cb);
    rr.setColor(r * cr / 255, g * cg / 255, b * cb / 255);
    rr.drawImage(rr.pics().led.get(), px, py, 0);
}

void TDigital::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                    const TDevice* device) const {
    r.setTransform(0, sx, sy);
    r.drawImage(r.pics().digital.get(), px + 0.5 * fx * sx, py, 0);
    if (device) _drawSegments(r, *device, px + 0.5 * fx * sx, py);
    drawConnections(r, px, py, sx, sy, fx, fy, device);
}

void TDigital::_drawSegments(Renderer& r, const TDevice& device, double x, double y) const {
    int c = device.data;
    int cr, cg, cb;
    r.getColor(cr, cg, cb);
    r.setColor(cr * colR / 255, cg * colG / 255, cb * colB / 255);
    for (int n = 6; n >= 0; --n) {
        if ((1 << n) <= c) {
            r.drawImage(r.pics().digital.get(), x, y, n + 1);
            c -= 1 << n;
        }
    }
    r.setColor(cr, cg, cb);
}

void TCounter::Draw(Renderer& r, double px, double py, double sx, double sy, double fx, double fy,
                    const TDevice* device) const {
    _drawArea(r, -trunc(0.5 * width), -trunc(0.5 * Height), width, Height, px, py, sx, sy, fx, fy);
    _drawArea(r, -trunc(0.5 * width), -trunc(0.5 * Height), width, 3, px, py, sx, sy, fx, fy);
    drawConnections(r, px, py, sx, sy, fx, fy, device);
}

}  // namespace gw
