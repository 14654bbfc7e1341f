// One frame of the board: background and grid, nets, devices in three passes, captions, the
// current mode's feedback, this frame's marks and the screen border, each layer over the last.
//
// Things wholly outside the view are skipped, but only where that changes no pixel: each device
// type's drawing extent is measured once (by drawing it into a renderer that only collects a
// bounding box) and scaled per frame, with a margin for truncated text positions, glyph overhang
// and filtering. The skipping happens only inside Draw, which knows the view; the layer
// operations called on their own draw everything.
//
// Finding what is in view costs what the view shows, not what the board holds: the board's
// rectangle queries (devicesInRect, netsInRect) give the candidates in list order, for the view
// widened by the farthest any device type in use draws from its reference point (titles and pin
// captions may stick out of the body) and by the reach of a wire's caps and junction marks; the
// exact per-object test above then picks what is drawn, so the drawing is the same as testing
// every object. The types in use are collected as devices are appended; a list that shrank,
// moved or changed at its ends is scanned again.
//
// A skipped device or net must still lose its one-frame hover or highlight, as drawing it would
// have done, also when it is no candidate. Hovered devices are noted as the flag is set
// (HoverNotes.h) and found again here; highlights are set by the modes on the net under the mouse,
// so the nets at the mouse's grid point are cleared when they are not drawn.
#include <algorithm>
#include <cmath>
#include <limits>

#include "board/BoardEngine.h"
#include "model/HoverNotes.h"
#include "ui/render/Pics.h"
#include "ui/render/Renderer.h"

namespace gw {

namespace {

struct Extent {
    double l = std::numeric_limits<double>::infinity();
    double t = std::numeric_limits<double>::infinity();
    double r = -std::numeric_limits<double>::infinity();
    double b = -std::numeric_limits<double>::infinity();
    void add(double x0, double y0, double x1, double y1) {
        l = std::min({l, x0, x1});
        r = std::max({r, x0, x1});
        t = std::min({t, y0, y1});
        b = std::max({b, y0, y1});
    }
    bool empty() const { return !(l <= r && t <= b); }
};

// A renderer that draws nothing and only grows a box around everything it is asked to draw.
class BoundsRenderer : public Renderer {
public:
    Extent box;
    void clear() override {}
    void drawImage(const Image* img, double x, double y, int) override {
        if (!img) return;
        addFrame(x, y, img->frameWidth(), img->frameHeight(), img->handleX(), img->handleY(), sx_, sy_);
    }
    void drawImageRect(const Image* img, double x, double y, double w, double h, int) override {
        if (!img || img->frameWidth() <= 0 || img->frameHeight() <= 0) return;
        const double kx = w / img->frameWidth(), ky = h / img->frameHeight();
        addFrame(x, y, w, h, img->handleX() * kx, img->handleY() * ky, sx_, sy_);
    }
    void drawLine(double x1, double y1, double x2, double y2) override { box.add(x1 - 1, y1 - 1, x2 + 1, y2 + 1); }
    void drawRect(double x, double y, double w, double h) override { box.add(x, y, x + w, y + h); }
    void plot(double x, double y) override { box.add(x, y, x + 1, y + 1); }
    void drawText(const std::string& s, double x, double y) override {
        box.add(x, y, x + textWidth(s) * sx_, y + textHeight(s) * sy_);
    }

private:
    // A w x h frame with its handle (hx, hy) at (x, y), scaled, and rotated about the handle.
    void addFrame(double x, double y, double w, double h, double hx, double hy, double sx, double sy) {
        if (rot_ == 0) {
            box.add(x - hx * sx, y - hy * sy, x + (w - hx) * sx, y + (h - hy) * sy);
            return;
        }
        // Any rotation stays within the circle through the farthest corner.
        const double fx = std::max(hx, w - hx) * std::fabs(sx), fy = std::max(hy, h - hy) * std::fabs(sy);
        const double rad = std::sqrt(fx * fx + fy * fy);
        box.add(x - rad, y - rad, x + rad, y + rad);
    }
};

double halfDiagonal(const Image* img) {
    if (!img) return 0;
    const double w = img->frameWidth(), h = img->frameHeight();
    return 0.5 * std::sqrt(w * w + h * h);
}

// Screen-pixel slack around a measured extent: positions truncated toward zero, glyph bitmaps
// reaching past their advance, and smoothing at the edges.
double slack(double sx, double sy) { return 3 + 8 * std::max(std::fabs(sx), std::fabs(sy)); }

// The part of [lo, hi] (an extent scaled by s about p) in screen coordinates.
inline void span(double p, double s, double lo, double hi, double& a, double& b) {
    a = p + s * lo;
    b = p + s * hi;
    if (a > b) std::swap(a, b);
}

}  // namespace

// The measured extent of each device type in use, relative to its reference point at zoom 1, with
// the cell size and image set it was measured with. Types are few, so a short list with the last
// hit remembered is all the lookup needs; the list keeps each type alive, so its address cannot
// be reused by another type while it is listed.
struct TBoardEngine::DrawExtentCache {
    struct Entry {
        DraftPtr draft;
        Extent e;
    };
    const Pics* pics = nullptr;
    double fx = 0, fy = 0;
    std::vector<Entry> entries;
    size_t last = 0;

    // The device types on the board: the farthest any of them draws from its reference point
    // (unzoomed pixels), and what the device list looked like when it was last scanned.
    double reach = 0;
    size_t scanned = 0;
    const void* listData = nullptr;
    const TDevice* listFirst = nullptr;
    const TDevice* listLast = nullptr;

    // Scratch lists of one frame.
    std::vector<TDevice*> candidates, drawn;
    std::vector<TWireComplex*> nets;

    // The stamps of one device pass (see DrawDevices): a type's picture at one pair of pixel
    // fractions of its reference point, and the renderer's number for it (-1: draw afresh).
    struct StampKey {
        const TDraft* draft;
        double fracX, fracY;
        int stamp;
    };
    static constexpr size_t kMaxStamps = 32;
    std::vector<StampKey> stamps;
    size_t lastStamp = 0;
    const StampKey* findStamp(const TDraft* d, double fracX, double fracY) {
        auto same = [&](const StampKey& k) { return k.draft == d && k.fracX == fracX && k.fracY == fracY; };
        if (lastStamp < stamps.size() && same(stamps[lastStamp])) return &stamps[lastStamp];
        for (size_t i = 0; i < stamps.size(); ++i)
            if (same(stamps[i])) {
                lastStamp = i;
                return &stamps[i];
            }
        return nullptr;
    }

    // Forgets every extent when the image set or the cell size differs from the last frame's.
    void prepare(Renderer& r, double cellX, double cellY) {
        if (&r.pics() != pics || cellX != fx || cellY != fy) {
            entries.clear();
            last = 0;
            pics = &r.pics();
            fx = cellX;
            fy = cellY;
            scanned = 0;
            reach = 0;
        }
    }

    // Brings `reach` up to date: appended devices are measured; anything else makes a new scan.
    void scanTypes(Renderer& r, const std::vector<DevicePtr>& list) {
        const bool appended = list.data() == listData && scanned <= list.size() && scanned > 0 &&
                              list.front().get() == listFirst && list[scanned - 1].get() == listLast;
        if (!appended) {
            scanned = 0;
            reach = 0;
        }
        for (; scanned < list.size(); ++scanned) {
            const Extent& e = of(r, list[scanned]->draft);
            if (!e.empty()) reach = std::max({reach, std::fabs(e.l), std::fabs(e.r), std::fabs(e.t), std::fabs(e.b)});
        }
        listData = list.data();
        listFirst = list.empty() ? nullptr : list.front().get();
        listLast = list.empty() ? nullptr : list.back().get();
    }

    // Whether a net or a device is drawn wholly outside the view of the frame being drawn
    // (never outside Draw); m is the screen-pixel slack.
    static bool netOutside(const TBoardEngine& board, const TWireComplex& w, double xMove, double yMove,
                           double xScale, double yScale, double fx, double fy, double m);
    bool deviceOutside(Renderer& r, const TBoardEngine& board, const TDevice& d, double xMove, double yMove,
                       double xScale, double yScale, double fx, double fy, double m);
    // Compared by address: a shared pointer is made only for a type met the first time.
    const Extent& of(Renderer& r, const DeviceDraft& d) {
        const TDraft* t = d.get();
        if (last < entries.size() && entries[last].draft.get() == t) return entries[last].e;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].draft.get() == t) {
                last = i;
                return entries[i].e;
            }
        entries.push_back(Entry{d.ptr(), measure(r, *d, fx, fy)});
        last = entries.size() - 1;
        return entries[last].e;
    }

    // Everything a device of the type draws: its own picture (a device changes which frames are
    // drawn, never how big they are), and the wired-pin marks and inversion rings on its pins.
    static Extent measure(Renderer& r, const TDraft& d, double fx, double fy) {
        BoundsRenderer br;
        br.setPics(std::shared_ptr<const Pics>(std::shared_ptr<const Pics>(), &r.pics()));
        d.Draw(br, 0, 0, 1, 1, fx, fy, nullptr);
        Extent e = br.box;
        const double pin = std::max(halfDiagonal(r.pics().mark.get()), halfDiagonal(r.pics().connections.get()));
        for (int i = 0, n = d.countInputs(); i < n; ++i) {
            const double x = d.getInputXPos(i) * fx, y = d.getInputYPos(i) * fy;
            e.add(x - pin, y - pin, x + pin, y + pin);
        }
        for (int i = 0, n = d.countOutputs(); i < n; ++i) {
            const double x = d.getOutputXPos(i) * fx, y = d.getOutputYPos(i) * fy;
            e.add(x - pin, y - pin, x + pin, y + pin);
        }
        return e;
    }
};

// --- colours ---

void TBoardEngine::SetOwnColor(Renderer& r, int index) {
    switch (index) {
        case colorGreen: r.setColor(0, 255, 0); break;
        case colorRed: r.setColor(255, 0, 0); break;
        case colorYellow: r.setColor(255, 255, 0); break;
        case colorBlack: r.setColor(0, 0, 0); break;
        case colorBlue: r.setColor(0, 0, 255); break;
        case colorWhite: r.setColor(255, 255, 255); break;
        case colorGrey: r.setColor(120, 120, 120); break;
        default: break;  // not a colour of ours: the current one stays
    }
}

// --- the frame ---

void TBoardEngine::Draw(Renderer& r, double xMove, double yMove, double xScale, double yScale, double viewWidth,
                        double viewHeight) {
    DrawBackground(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight);

    // The layers skip what lies outside this view while the frame is drawn.
    const bool viewKnown = std::isfinite(viewWidth) && std::isfinite(viewHeight) && std::isfinite(xMove) &&
                           std::isfinite(yMove) && std::isfinite(xScale) && std::isfinite(yScale);
    if (viewKnown) {
        cullW_ = viewWidth;
        cullH_ = viewHeight;
    }
    DrawWires(r, xMove, yMove, xScale, yScale, 20, 20);
    DrawDevices(r, xMove, yMove, xScale, yScale, 20, 20);
    DrawCaptions(r, xMove, yMove, xScale, yScale, 20, 20);
    cullW_ = cullH_ = -1;

    switch (currentMode) {
        case modeDefault: drawDefaultMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeDevice: drawDeviceMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeWire: drawWireMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeCaption: drawCaptionMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeInvert: drawInvertMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeRemove: drawRemoveMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeIC: drawICMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        case modeMove: drawMoveMode(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight); break;
        default: break;
    }

    // Marks of every Update since the last frame, then gone.
    const Image* mark = r.pics().mark.get();
    const size_t n = std::min({mark_x.size(), mark_y.size(), mark_color.size()});
    for (size_t i = 0; i < n; ++i) {
        r.setTransform(0, xScale, yScale);
        r.setAlpha(1);
        SetOwnColor(r, mark_color[i]);
        r.drawImage(mark, xMove + mark_x[i] * xScale * 20, yMove + mark_y[i] * yScale * 20, 0);
    }
    mark_x.clear();
    mark_y.clear();
    mark_color.clear();

    drawBorder(r, xMove, yMove, xScale, yScale, viewWidth, viewHeight);
}

bool TBoardEngine::outsideView(double l, double t, double r, double b) const {
    if (cullW_ < 0 || cullH_ < 0) return false;
    return r < 0 || b < 0 || l > cullW_ || t > cullH_;
}

void TBoardEngine::DrawBackground(Renderer& r, double xMove, double yMove, double xScale, double yScale,
                                  double viewWidth, double viewHeight) {
    r.setTransform(0, 1, 1);
    r.setClearColor(backgroundR, backgroundG, backgroundB);
    r.clear();
    const double sy = yScale * 20, sx = xScale * 20;
    // Lines closer than a pixel would merge into a flat tone at unbounded cost (and a zero, negative
    // or non-finite step or view would never end the loops), so the grid is left out then.
    const bool drawable = std::isfinite(sx) && std::isfinite(sy) && sx >= 1 && sy >= 1 && std::isfinite(xMove) &&
                          std::isfinite(yMove) && std::isfinite(viewWidth) && std::isfinite(viewHeight);
    if (!drawable) return;
    if (bNetOn == 1) {
        r.setColor(netR, netG, netB);
        r.setAlpha(0.5);
        for (double y = std::fmod(yMove, sy) - sy; y < viewHeight; y += sy) r.drawRect(0, y, viewWidth, 1);
        for (double x = std::fmod(xMove, sx) - sx; x < viewWidth; x += sx) r.drawRect(x, 0, 1, viewHeight);
    }
    if (bGridOn == 1) {
        r.setColor(0, 0, 0);
        r.setAlpha(0.4);
        const double x0 = std::fmod(xMove, sx) - sx;
        for (double y = std::fmod(yMove, sy) - sy; y < viewHeight; y += sy)
            for (double x = x0; x < viewWidth; x += sx) r.plot(x, y);
    }
}

namespace {

// The closed grid rectangle holding every grid point whose screen position (origin + cell * g)
// lies within `margin` pixels of [0, size]; false when the mapping cannot be inverted.
bool gridSpan(double origin, double cell, double size, double margin, int& lo, int& hi) {
    if (!std::isfinite(cell) || cell == 0 || !std::isfinite(origin) || !std::isfinite(margin)) return false;
    double a = (-margin - origin) / cell, b = (size + margin - origin) / cell;
    if (a > b) std::swap(a, b);
    constexpr double lim = 1 << 30;  // beyond any board, and far from int overflow
    lo = static_cast<int>(std::clamp(std::floor(a) - 1, -lim, lim));
    hi = static_cast<int>(std::clamp(std::ceil(b) + 1, -lim, lim));
    return true;
}

double wireMargin(Renderer& r, double xScale, double yScale) {
    return slack(xScale, yScale) + std::max(std::fabs(xScale), std::fabs(yScale)) *
                                       std::max(halfDiagonal(r.pics().wire.get()), halfDiagonal(r.pics().mark.get()));
}

}  // namespace

bool TBoardEngine::DrawExtentCache::netOutside(const TBoardEngine& board, const TWireComplex& w, double xMove,
                                               double yMove, double xScale, double yScale, double fx, double fy,
                                               double m) {
    if (board.cullW_ < 0 || w.lineList.empty()) return false;
    int gl = w.lineList[0].sx, gr = gl, gt = w.lineList[0].sy, gb = gt;
    for (const TLine& l : w.lineList) {
        gl = std::min({gl, l.sx, l.ex});
        gr = std::max({gr, l.sx, l.ex});
        gt = std::min({gt, l.sy, l.ey});
        gb = std::max({gb, l.sy, l.ey});
    }
    double a, b, c, d;
    span(xMove, fx * xScale, gl, gr, a, b);
    span(yMove, fy * yScale, gt, gb, c, d);
    return board.outsideView(a - m, c - m, b + m, d + m);
}

void TBoardEngine::DrawWires(Renderer& r, double xMove, double yMove, double xScale, double yScale, double fx,
                             double fy) {
    r.setColor(0, 0, 0);
    r.setAlpha(1);
    const double m = wireMargin(r, xScale, yScale);
    int l, t, rr, b;
    if (cullW_ >= 0 && gridSpan(xMove, fx * xScale, cullW_, m, l, rr) && gridSpan(yMove, fy * yScale, cullH_, m, t, b)) {
        if (!drawExtents_) drawExtents_ = std::make_shared<DrawExtentCache>();
        std::vector<TWireComplex*>& nets = drawExtents_->nets;
        netsInRect(l, t, rr, b, nets);
        for (TWireComplex* w : nets) {
            if (DrawExtentCache::netOutside(*this, *w, xMove, yMove, xScale, yScale, fx, fy, m)) {
                w->highlightIt = 0;  // drawing would have used up this frame's highlight
                continue;
            }
            w->Draw(r, xMove, yMove, xScale, yScale, fx, fy, 0);
        }
        // A net under the mouse may carry a highlight although it lies outside the view.
        netsInRect(tx, ty, tx, ty, nets);
        for (TWireComplex* w : nets)
            if (DrawExtentCache::netOutside(*this, *w, xMove, yMove, xScale, yScale, fx, fy, m)) w->highlightIt = 0;
        return;
    }
    for (size_t i = 0; i < wireComplexList.size(); ++i) {
        TWireComplex& w = *wireComplexList[i];
        if (DrawExtentCache::netOutside(*this, w, xMove, yMove, xScale, yScale, fx, fy, m)) {
            w.highlightIt = 0;
            continue;
        }
        w.Draw(r, xMove, yMove, xScale, yScale, fx, fy, 0);
    }
}

bool TBoardEngine::DrawExtentCache::deviceOutside(Renderer& r, const TBoardEngine& board, const TDevice& d,
                                                  double xMove, double yMove, double xScale, double yScale, double fx,
                                                  double fy, double m) {
    if (board.cullW_ < 0) return false;
    const Extent& e = of(r, d.draft);
    if (e.empty()) return false;
    double a, b, c, dd;
    span(xMove + fx * xScale * d.xPos, xScale, e.l, e.r, a, b);
    span(yMove + fy * yScale * d.yPos, yScale, e.t, e.b, c, dd);
    return board.outsideView(a - m, c - m, b + m, dd + m);
}

void TBoardEngine::DrawDevices(Renderer& r, double xMove, double yMove, double xScale, double yScale, double fx,
                               double fy) {
    const bool cull = cullW_ >= 0;
    if (!drawExtents_) drawExtents_ = std::make_shared<DrawExtentCache>();
    DrawExtentCache& cache = *drawExtents_;
    const double m = slack(xScale, yScale);
    // Which devices reach into the view, decided once for all three passes, in list order.
    std::vector<TDevice*>& drawn = cache.drawn;
    drawn.clear();
    if (cull) {
        cache.prepare(r, fx, fy);
        cache.scanTypes(r, deviceList);
        int l, t, rr, b;
        const double mx = cache.reach * std::fabs(xScale) + m, my = cache.reach * std::fabs(yScale) + m;
        if (gridSpan(xMove, fx * xScale, cullW_, mx, l, rr) && gridSpan(yMove, fy * yScale, cullH_, my, t, b)) {
            devicesInRect(l, t, rr, b, cache.candidates);
        } else {
            cache.candidates.clear();
            for (const DevicePtr& d : deviceList) cache.candidates.push_back(d.get());
        }
        for (TDevice* d : cache.candidates) {
            if (cache.deviceOutside(r, *this, *d, xMove, yMove, xScale, yScale, fx, fy, m))
                d->hover = 0;  // as its drawing would have done
            else
                drawn.push_back(d);
        }
        // Devices hovered since the last frame may lie outside the view: found again by where
        // they stood (only a device still in this board's list is touched).
        for (const HoverNote& n : hoverNotes()) {
            devicesInRect(n.x, n.y, n.x, n.y, cache.candidates);
            for (TDevice* d : cache.candidates)
                if (d == n.device && cache.deviceOutside(r, *this, *d, xMove, yMove, xScale, yScale, fx, fy, m))
                    d->hover = 0;
        }
        hoverNotes().clear();
    } else {
        for (const DevicePtr& d : deviceList) drawn.push_back(d.get());
    }
    // A type whose picture shows nothing of the device is drawn once and repeated as a stamp
    // where that gives the same pixels: at the same fractions of a pixel (text is placed on whole
    // pixels) and wholly right of and below the view's corner (positions there are truncated
    // toward zero, which a shift by whole pixels keeps only on one side of it).
    cache.stamps.clear();
    cache.lastStamp = 0;
    r.dropStamps();
    for (TDevice* d : drawn) {
        r.setColor(255, 255, 255);
        r.setAlpha(1);
        if (cull && d->draft->drawsEveryDeviceAlike()) {
            // Where TDevice::Draw puts the type's picture.
            const double px = xMove + fx * xScale * d->xPos, py = yMove + fy * yScale * d->yPos;
            const Extent& e = cache.of(r, d->draft);
            double a, b, c, dd;
            span(px, xScale, e.l, e.r, a, b);
            span(py, yScale, e.t, e.b, c, dd);
            if (!e.empty() && a - m >= 0 && c - m >= 0) {
                const TDraft* type = d->draft.get();
                const double fracX = px - std::floor(px), fracY = py - std::floor(py);
                if (const auto* k = cache.findStamp(type, fracX, fracY); k && k->stamp >= 0) {
                    r.drawStamp(k->stamp, px, py);
                    d->hover = 0;  // as its drawing does
                    continue;
                } else if (!k && cache.stamps.size() < DrawExtentCache::kMaxStamps) {
                    r.beginStamp(px, py);
                    d->Draw(r, xMove, yMove, xScale, yScale, fx, fy);
                    cache.stamps.push_back({type, fracX, fracY, r.endStamp()});
                    continue;
                }
            }
        }
        d->Draw(r, xMove, yMove, xScale, yScale, fx, fy);
    }
    r.dropStamps();
    r.setAlpha(1);
    for (TDevice* d : drawn) d->drawWireConnections(r, xMove, yMove, xScale, yScale, fx, fy);
    r.setAlpha(1);
    r.setColor(255, 255, 255);
    for (TDevice* d : drawn) {
        d->drawInvertedInputs(r, xMove, yMove, xScale, yScale, fx, fy);
        d->drawInvertedOutputs(r, xMove, yMove, xScale, yScale, fx, fy);
    }
}

void TBoardEngine::DrawCaptions(Renderer& r, double xMove, double yMove, double xScale, double yScale, double fx,
                                double fy) {
    const double m = slack(xScale, yScale) + 3 * std::max(std::fabs(xScale), std::fabs(yScale));  // + shadow
    for (size_t i = 0; i < captionList.size(); ++i) {
        TCaption& c = *captionList[i];
        if (cullW_ >= 0) {
            // Measured as its drawing would measure it, so its cell block stays current off screen.
            r.setImageFont(c._getImageFont(r.pics()));
            const double tw = r.textWidth(c.txt), th = r.textHeight(c.txt);
            c._fitCells(tw, th, fx, fy);
            const double X = xMove + (c.xPos + 0.5 * c.width) * fx * xScale - 0.5 * tw * xScale;
            const double Y = yMove + (c.yPos + 0.5 * c.Height) * fy * yScale - 0.5 * th * yScale;
            double a, b, cc, d;
            span(X, xScale, 0, tw, a, b);
            span(Y, yScale, 0, th, cc, d);
            if (outsideView(a - m, cc - m, b + m, d + m)) continue;
        }
        c.Draw(r, xMove, yMove, xScale, yScale, fx, fy);
    }
}

void TBoardEngine::drawBorder(Renderer& r, double, double, double, double, double viewWidth, double viewHeight) {
    if (bBorderOn != 1) return;
    r.setTransform(0, 1, 1);
    r.setColor(0, 0, 0);
    r.setAlpha(1);
    if (const auto& frame = r.pics().screenborder) frame->Draw(r, 0, 0, viewWidth, viewHeight);
}

}  // namespace gw
