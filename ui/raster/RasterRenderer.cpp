#include "ui/raster/RasterRenderer.h"

#include <QTransform>

#include "ui/raster/MappedBlit.h"

#include <algorithm>
#include <cmath>

namespace gw {

namespace {

// Beyond this many images the caches are simply dropped and rebuilt on demand: boards use a
// handful of frames in a handful of colours, so this only triggers on pathological colour churn.
constexpr size_t kMaxCached = 4096;

// QPainter's raster engine hands a fill of 96 or more scanlines to its thread pool, which costs
// far more than the fill itself for the thin, tall shapes a board is made of (a vertical grid
// line, a vertical wire). Rectangles are therefore filled in bands of at most this many rows,
// and images whose quad is taller go through our own span loop (MappedBlit).
constexpr int kBandRows = 64;

// Frames are sampled as if moved this far right and down, so that the edges of a sampled quad,
// like those of every quad on the target, lie at positive coordinates, where rounding a half
// goes the same way as on the target (rounding halves away from zero would differ below 0).
constexpr int kSampleOrigin = 1 << 16;

uint32_t packRgb(int r, int g, int b) {
    auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return c(r) << 16 | c(g) << 8 | c(b);
}

QPainter::CompositionMode compositionFor(BlendMode m) {
    switch (m) {
        case BlendMode::Light: return QPainter::CompositionMode_Plus;
        case BlendMode::Shade: return QPainter::CompositionMode_Multiply;
        default: return QPainter::CompositionMode_SourceOver;
    }
}

}  // namespace

RasterRenderer::RasterRenderer() = default;

RasterRenderer::~RasterRenderer() { end(); }

bool RasterRenderer::begin(QImage* target) {
    end();
    if (!target || target->isNull()) return false;
    target_ = target;
    if (!painter_.begin(target_)) {
        target_ = nullptr;
        return false;
    }
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setPen(Qt::NoPen);
    return true;
}

void RasterRenderer::end() {
    if (painter_.isActive()) painter_.end();
    target_ = nullptr;
}

void RasterRenderer::clear() {
    if (!active()) return;
    painter_.save();
    painter_.resetTransform();
    painter_.setOpacity(1);
    painter_.setCompositionMode(QPainter::CompositionMode_Source);
    painter_.fillRect(QRect(0, 0, target_->width(), target_->height()), QColor(cr_, cg_, cb_));
    painter_.restore();
}

QTransform RasterRenderer::placement(double ax, double ay, double sx, double sy) const {
    QTransform t;
    t.translate(ax, ay);
    t.rotate(rot_);
    t.scale(sx, sy);
    return t;
}

void RasterRenderer::place(double ax, double ay, double sx, double sy) {
    usePainterTransform(placement(ax, ay, sx, sy));
    placeBlend();
}

void RasterRenderer::usePainterTransform(const QTransform& t) {
    // QPainter redoes its set-up on every transform it is given, even an equal one; a board sets
    // the same few over and over (pixels, grid lines, unzoomed frames).
    if (painter_.transform() != t) painter_.setTransform(t);
}

int RasterRenderer::opacity256() const {
    // As the painter keeps it: in 1/256, truncated (a NaN alpha draws nothing).
    const double o = alpha_ > 0 ? std::min(alpha_, 1.0) : 0.0;
    return static_cast<int>(o * 256);
}

void RasterRenderer::placeBlend() {
    const bool opaque = blend_ == BlendMode::Mask || blend_ == BlendMode::Solid;
    painter_.setOpacity(opaque ? 1.0 : std::clamp(alpha_, 0.0, 1.0));
    painter_.setCompositionMode(blend_ == BlendMode::Solid ? QPainter::CompositionMode_Source
                                                           : compositionFor(blend_));
}

bool RasterRenderer::offTarget(double ax, double ay, double sx, double sy, double l, double t, double w,
                               double h) const {
    // Wires draw their three frames at one angle, and most frames are unturned: the sine and
    // cosine are worked out once per angle.
    if (rot_ != trigRot_) {
        const double a = rot_ * (M_PI / 180.0);
        trigCos_ = std::cos(a), trigSin_ = std::sin(a), trigRot_ = rot_;
    }
    const double c = trigCos_, sn = trigSin_;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (int i = 0; i < 4; ++i) {
        const double u = (i & 1 ? l + w : l) * sx, v = (i & 2 ? t + h : t) * sy;
        const double X = ax + c * u - sn * v, Y = ay + sn * u + c * v;
        if (i == 0 || X < x0) x0 = X;
        if (i == 0 || X > x1) x1 = X;
        if (i == 0 || Y < y0) y0 = Y;
        if (i == 0 || Y > y1) y1 = Y;
    }
    // Two pixels of slack cover bilinear sampling and rounding; a non-finite corner compares
    // false everywhere and is left to QPainter, as before.
    constexpr double kSlack = 2;
    return x1 < -kSlack || y1 < -kSlack || x0 > target_->width() + kSlack || y0 > target_->height() + kSlack;
}

const QImage* RasterRenderer::source(Key key, const Image* img, const ImageFont* font) {
    key.rgb = packRgb(r_, g_, b_);
    key.mask = blend_ == BlendMode::Mask ? 1 : blend_ == BlendMode::Solid ? 2 : 0;
    if (auto it = cache_.find(key); it != cache_.end()) return &it->second;

    Key baseKey = key;
    baseKey.rgb = 0xFFFFFF;
    baseKey.mask = 0;
    // A wholly transparent frame (the middle of the screen border, stretched over the whole view)
    // changes no pixel in any blend but the solid one, which paints it black.
    if (key.mask != 2 && clear_.count(baseKey) != 0) return nullptr;
    auto bit = base_.find(baseKey);
    if (bit == base_.end()) {
        QImage base;
        if (img) {
            const auto& px = img->framePixels(static_cast<int>(key.sub));
            if (px.empty()) return nullptr;
            base = QImage(px.data(), img->frameWidth(), img->frameHeight(), img->frameWidth() * 4,
                          QImage::Format_RGBA8888)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        } else {
            const Glyph& g = font->glyph(key.sub);
            if (g.w <= 0 || g.h <= 0) return nullptr;
            base = QImage(g.w, g.h, QImage::Format_ARGB32_Premultiplied);
            for (int y = 0; y < g.h; ++y) {
                auto* line = reinterpret_cast<QRgb*>(base.scanLine(y));
                for (int x = 0; x < g.w; ++x) {
                    const int a = g.alpha[static_cast<size_t>(y) * g.w + x];
                    line[x] = qRgba(a, a, a, a);
                }
            }
        }
        if (base_.size() >= kMaxCached) {
            base_.clear();
            clear_.clear();
        }
        bool transparent = true;
        for (int y = 0; y < base.height() && transparent; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(base.constScanLine(y));
            for (int x = 0; x < base.width(); ++x)
                if (qAlpha(line[x]) != 0) {
                    transparent = false;
                    break;
                }
        }
        if (transparent) clear_.insert(baseKey);
        bit = base_.emplace(baseKey, std::move(base)).first;
        if (transparent && key.mask != 2) return nullptr;
    }
    if (key.rgb == 0xFFFFFF && key.mask == 0) return &bit->second;

    // Tint the premultiplied pixels; the mask blend keeps only pixels of alpha >= 0.5 and makes
    // them opaque, the solid blend copies colour with full opacity.
    QImage out = bit->second.copy();
    const int tr = r_, tg = g_, tb = b_;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            int a = qAlpha(p), r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (key.mask != 0 && a > 0) {  // back to straight colour
                r = r * 255 / a;
                g = g * 255 / a;
                b = b * 255 / a;
                if (key.mask == 1 && a < 128) r = g = b = a = 0;
                else a = 255;
            } else if (key.mask != 0) {
                if (key.mask == 1) { line[x] = 0; continue; }
                a = 255;  // solid: transparent pixels are copied as black
            }
            line[x] = qRgba((r * std::clamp(tr, 0, 255) + 127) / 255, (g * std::clamp(tg, 0, 255) + 127) / 255,
                            (b * std::clamp(tb, 0, 255) + 127) / 255, a);
        }
    }
    if (cache_.size() >= kMaxCached) cache_.clear();
    return &cache_.emplace(key, std::move(out)).first->second;
}

void RasterRenderer::drawImage(const Image* img, double x, double y, int frame) {
    if (!active() || !img || frame < 0 || frame >= img->frameCount()) return;
    Key k;
    k.id = img->id();
    k.sub = static_cast<uint32_t>(frame);
    if (offTarget(x, y, sx_, sy_, -img->handleX(), -img->handleY(), img->frameWidth(), img->frameHeight())) return;
    const QImage* src = source(k, img, nullptr);
    if (!src) return;
    drawPlaced(*src, placement(x, y, sx_, sy_), QPointF(-img->handleX(), -img->handleY()));
}

void RasterRenderer::drawImageRect(const Image* img, double x, double y, double w, double h, int frame) {
    if (!active() || !img || frame < 0 || frame >= img->frameCount()) return;
    if (img->frameWidth() <= 0 || img->frameHeight() <= 0) return;
    Key k;
    k.id = img->id();
    k.sub = static_cast<uint32_t>(frame);
    const QImage* src = source(k, img, nullptr);
    if (!src) return;
    const double fx = w / img->frameWidth(), fy = h / img->frameHeight();
    if (fx == 0 || fy == 0) return;
    if (offTarget(x, y, sx_ * fx, sy_ * fy, -img->handleX(), -img->handleY(), img->frameWidth(), img->frameHeight()))
        return;
    drawPlaced(*src, placement(x, y, sx_ * fx, sy_ * fy), QPointF(-img->handleX(), -img->handleY()));
}

void RasterRenderer::drawPlaced(const QImage& src, const QTransform& t, QPointF at) {
    // Frames moved, scaled or turned by quarter turns are drawn by our own span loop
    // (MappedBlit): QPainter's set-up per draw costs more than the few hundred pixels of a wire
    // or a pin, and it is slowest with the tall and the stretched ones. Quads at other angles
    // stay with QPainter: our edges there may take a pixel more or less than its polygon edges,
    // and the same frame must not change its outline when it moves across the border of the
    // view. Other blend modes and target formats are QPainter's as well.
    const QTransform::TransformationType type = t.type();
    const bool axisAligned =
        type <= QTransform::TxScale || (type == QTransform::TxRotate && t.m11() == 0 && t.m22() == 0);
    if (axisAligned && (blend_ == BlendMode::Alpha || blend_ == BlendMode::Light) &&
        raster::canBlendMapped(*target_, src)) {
        const int opacity = opacity256();
        const raster::MappedOp op = blend_ == BlendMode::Light ? raster::MappedOp::Plus : raster::MappedOp::Over;
        if (type <= QTransform::TxTranslate) {
            // Moved only: QPainter puts the frame at the nearest whole pixel and samples nothing.
            const double x = t.dx() + at.x(), y = t.dy() + at.y();
            if (std::fabs(x) < 1e9 && std::fabs(y) < 1e9) raster::composeImage(*target_, src, qRound(x), qRound(y), opacity, op);
            return;
        }
        if (const raster::SampledQuad* q = sampled(src, t, at)) {
            raster::composeSampled(*target_, *q, static_cast<int>(std::floor(t.dx())) - kSampleOrigin,
                                   static_cast<int>(std::floor(t.dy())) - kSampleOrigin, opacity, op);
            return;
        }
        // Large quads (a long wire of which the view shows a sliver) are sampled only where
        // they meet the target.
        raster::blendMapped(*target_, src, t, at, opacity, op);
        return;
    }
    usePainterTransform(t);
    placeBlend();
    painter_.drawImage(at, src);
}

const raster::SampledQuad* RasterRenderer::sampled(const QImage& src, const QTransform& t, QPointF at) {
    // Only the part of the move below a pixel goes into the sampling, so that one sample serves
    // the frame wherever the same map puts it; quads too large to keep are not sampled ahead.
    constexpr int kMaxPixels = 16384;
    constexpr size_t kMaxSampledPixels = size_t{1} << 22;
    const double fx = std::floor(t.dx()), fy = std::floor(t.dy());
    if (!(std::fabs(fx) < 1e9 && std::fabs(fy) < 1e9)) return nullptr;
    // A long wire's body (a different stretch for every wire) is never sampled ahead: it is
    // turned away before it takes room among the kept samples.
    const QRectF box = QTransform(t.m11(), t.m12(), t.m21(), t.m22(), 0, 0).mapRect(QRectF(at, QSizeF(src.size())));
    if (!((box.width() + 3) * (box.height() + 3) <= kMaxPixels)) return nullptr;
    const QTransform local(t.m11(), t.m12(), t.m21(), t.m22(), t.dx() - fx + kSampleOrigin, t.dy() - fy + kSampleOrigin);
    const SampleKey key{src.cacheKey(), {local.m11(), local.m12(), local.m21(), local.m22(), local.dx(), local.dy(),
                                         at.x(), at.y()}};
    if (auto it = sampled_.find(key); it != sampled_.end()) return it->second.w >= 0 ? &it->second : nullptr;
    raster::SampledQuad q;
    if (!raster::sampleMapped(src, local, at, kMaxPixels, q)) q.w = -1;  // remembered as too large
    if (sampled_.size() >= kMaxCached || sampledPixels_ >= kMaxSampledPixels) {
        sampled_.clear();
        sampledPixels_ = 0;
    }
    sampledPixels_ += q.px.size();
    auto& kept = sampled_.emplace(key, std::move(q)).first->second;
    return kept.w >= 0 ? &kept : nullptr;
}

void RasterRenderer::drawRect(double x, double y, double w, double h) {
    if (!active()) return;
    const QTransform t = placement(x, y, sx_, sy_);
    if (t.type() > QTransform::TxScale) {
        placeBlend();
        usePainterTransform(t);
        painter_.fillRect(QRectF(0, 0, w, h), QColor(std::clamp(r_, 0, 255), std::clamp(g_, 0, 255), std::clamp(b_, 0, 255)));
        return;
    }
    fillAligned(t.mapRect(QRectF(0, 0, w, h)));
}

void RasterRenderer::fillAligned(const QRectF& mapped) {
    // An unrotated rectangle covers the whole pixels between its mapped edges rounded, as
    // QPainter fills it.
    if (!std::isfinite(mapped.x()) || !std::isfinite(mapped.y()) || !std::isfinite(mapped.right()) ||
        !std::isfinite(mapped.bottom()))
        return;
    // Edges are clamped to just outside the target before rounding (the same pixels, and no
    // overflow for a rectangle far off).
    const int W = target_->width(), H = target_->height();
    const auto edge = [](double v, int size) { return std::clamp(qRound(std::clamp(v, -1.0, size + 1.0)), 0, size); };
    // (A translation maps a rectangle of negative size as it is; its edges are rounded first
    // and then put in order, as QPainter does.)
    int x0 = edge(mapped.x(), W), x1 = edge(mapped.right(), W);
    int y0 = edge(mapped.y(), H), y1 = edge(mapped.bottom(), H);
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    if (x0 == x1 || y0 == y1) return;
    // The colour is composed straight into the pixels, as QPainter composes a colour fill (a
    // grid line or a grid dot costs its pixels, not a painter call): the painter's opacity is
    // folded into the colour's alpha in 16 bits, premultiplied, rounded to 8 bits and composed
    // source-over; an opaque colour replaces the pixels.
    const QImage::Format f = target_->format();
    const bool over = blend_ == BlendMode::Alpha || blend_ == BlendMode::Mask || blend_ == BlendMode::Solid;
    if (over && (f == QImage::Format_ARGB32_Premultiplied || f == QImage::Format_RGB32)) {
        const uint32_t opacity256 = blend_ == BlendMode::Alpha ? static_cast<uint32_t>(this->opacity256()) : 256;
        const uint32_t a16 = (65535u * opacity256) >> 8;
        if (a16 == 0 && blend_ == BlendMode::Alpha) return;
        auto premul16 = [&](int c8) {
            const uint32_t x = static_cast<uint32_t>(std::clamp(c8, 0, 255)) * 257u * a16;
            return (x + (x >> 16) + 0x8000u) >> 16;
        };
        auto to8 = [](uint32_t v16) { return ((v16 + 128u) - ((v16 + 128u) >> 8)) >> 8; };
        const uint32_t colour = to8(a16) << 24 | to8(premul16(r_)) << 16 | to8(premul16(g_)) << 8 | to8(premul16(b_));
        raster::fillOver(*target_, QRect(x0, y0, x1 - x0, y1 - y0), colour);
        return;
    }
    // QPainter fills the rest; in bands of rows, so that it keeps them on this thread.
    placeBlend();
    usePainterTransform(QTransform());
    const QColor c(std::clamp(r_, 0, 255), std::clamp(g_, 0, 255), std::clamp(b_, 0, 255));
    for (int y = y0; y < y1; y += kBandRows) painter_.fillRect(QRect(x0, y, x1 - x0, std::min(kBandRows, y1 - y)), c);
}

void RasterRenderer::drawLine(double x1, double y1, double x2, double y2) {
    if (!active()) return;
    // A quad from pixel centre to pixel centre, extended half a pixel at both ends so that the
    // first and the last pixel are covered; one pixel wide at scale 1.
    place(x1, y1, sx_, sy_);
    const QTransform t = painter_.transform();
    const QPointF a = t.map(QPointF(0.5, 0.5)), b = t.map(QPointF(x2 - x1 + 0.5, y2 - y1 + 0.5));
    usePainterTransform(QTransform());
    double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double len = std::hypot(dx, dy);
    if (len > 0) {
        dx /= len;
        dy /= len;
    } else {
        dx = 1;
        dy = 0;
    }
    const double hw = 0.5 * (std::fabs(sx_) + std::fabs(sy_)) * 0.5;
    const double ex = dx * 0.5, ey = dy * 0.5, nx = -dy * hw, ny = dx * hw;
    const QPointF quad[4] = {QPointF(a.x() - ex + nx, a.y() - ey + ny), QPointF(b.x() + ex + nx, b.y() + ey + ny),
                             QPointF(b.x() + ex - nx, b.y() + ey - ny), QPointF(a.x() - ex - nx, a.y() - ey - ny)};
    painter_.setBrush(QColor(std::clamp(r_, 0, 255), std::clamp(g_, 0, 255), std::clamp(b_, 0, 255)));
    painter_.drawConvexPolygon(quad, 4);
    painter_.setBrush(Qt::NoBrush);
}

void RasterRenderer::plot(double x, double y) {
    if (!active()) return;
    fillAligned(QRectF(x, y, 1, 1));
}

void RasterRenderer::drawText(const std::string& utf8, double x, double y) {
    if (!active() || !font_) return;
    place(x, y, sx_, sy_);
    const QTransform t = painter_.transform();
    int pen = 0;
    Key k;
    k.id = font_->id();
    k.kind = 1;
    for (uint32_t cp : ImageFont::decodeUtf8(utf8)) {
        const Glyph& g = font_->glyph(cp);
        if (g.w > 0 && g.h > 0) {
            k.sub = cp;
            if (const QImage* src = source(k, nullptr, font_)) {
                usePainterTransform(t);
                painter_.drawImage(QPointF(pen + g.left, g.top), *src);
            }
        }
        pen += g.advance;
    }
}

}  // namespace gw
