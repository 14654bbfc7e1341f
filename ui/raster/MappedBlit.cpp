#include "ui/raster/MappedBlit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace gw::raster {

namespace {

constexpr int kFixed = 65536;  // 16.16 fixed point, as the sampling positions are kept
constexpr int kHalf = 32768;

// a * x + b * y per channel with 8-bit weights that sum to 256 (truncating).
inline uint32_t mix256(uint32_t x, uint32_t a, uint32_t y, uint32_t b) {
    uint32_t t = (x & 0xff00ff) * a + (y & 0xff00ff) * b;
    t = (t >> 8) & 0xff00ff;
    uint32_t u = ((x >> 8) & 0xff00ff) * a + ((y >> 8) & 0xff00ff) * b;
    return (u & 0xff00ff00) | t;
}

// x * a / 255 per channel, rounded.
inline uint32_t byteMul(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    uint32_t u = ((x >> 8) & 0xff00ff) * a;
    u = (u + ((u >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return u | t;
}

// x * a / 255 + y * b / 255 per channel, rounded, with a + b = 255.
inline uint32_t mix255(uint32_t x, uint32_t a, uint32_t y, uint32_t b) {
    uint32_t t = (x & 0xff00ff) * a + (y & 0xff00ff) * b;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    uint32_t u = ((x >> 8) & 0xff00ff) * a + ((y >> 8) & 0xff00ff) * b;
    u = (u + ((u >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return u | t;
}

inline uint32_t addSaturated(uint32_t d, uint32_t s) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t v = std::min<uint32_t>(255, ((d >> shift) & 0xff) + ((s >> shift) & 0xff));
        out |= v << shift;
    }
    return out;
}

// Index pair for bilinear sampling along one axis, edge pixels repeated outside [0, n).
inline void bounds(int n, int& v1, int& v2) {
    if (v1 < 0) v2 = v1 = 0;
    else if (v1 >= n - 1) v2 = v1 = n - 1;
    else v2 = v1 + 1;
}

// Composes n sampled pixels onto the target row; the branches on the mode stay out of the loop.
// Inlined: a turned wire composes a few pixels per row over hundreds of rows.
[[gnu::always_inline]] inline void composeSpan(uint32_t* d, const uint32_t* s, int n, int coverage, MappedOp op) {
    if (op == MappedOp::Over && coverage == 255) {
        // byteMul(x, 0) is 0 and byteMul(x, 255) is x, so opaque and empty pixels need no branch.
        for (int i = 0; i < n; ++i) d[i] = s[i] + byteMul(d[i], (~s[i]) >> 24);
    } else if (op == MappedOp::Over) {
        for (int i = 0; i < n; ++i) {
            const uint32_t v = byteMul(s[i], static_cast<uint32_t>(coverage));
            d[i] = v + byteMul(d[i], (~v) >> 24);
        }
    } else if (coverage == 255) {
        for (int i = 0; i < n; ++i) d[i] = addSaturated(d[i], s[i]);
    } else {
        for (int i = 0; i < n; ++i)
            d[i] = mix255(addSaturated(d[i], s[i]), static_cast<uint32_t>(coverage), d[i], 255u - coverage);
    }
}

}  // namespace

bool canBlendMapped(const QImage& target, const QImage& src) {
    return !target.isNull() && !src.isNull() && src.format() == QImage::Format_ARGB32_Premultiplied &&
           (target.format() == QImage::Format_ARGB32_Premultiplied || target.format() == QImage::Format_RGB32);
}

void blendMapped(QImage& target, const QImage& src, const QTransform& transform, QPointF at, int opacity256,
                 MappedOp op) {
    if (!canBlendMapped(target, src)) return;
    const int W = src.width(), H = src.height(), TW = target.width(), TH = target.height();
    const int coverage = (255 * std::clamp(opacity256, 0, 256)) >> 8;
    if (coverage == 0) return;

    // The quad, mapped corner by corner as the painter maps the rectangle it fills.
    const QPointF P[4] = {transform.map(at), transform.map(at + QPointF(W, 0)), transform.map(at + QPointF(W, H)),
                          transform.map(at + QPointF(0, H))};
    double minY = P[0].y(), maxY = P[0].y();
    for (const QPointF& p : P) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return;
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }

    // Source pixel positions to target pixels. A quarter turn (a vertical wire) samples the
    // image transposed through a map that only scales, a row pair per span instead of four
    // pixels per pixel; the quad it fills stays the turned one above.
    QTransform m = transform;
    m.translate(at.x(), at.y());
    const QImage* S = &src;
    QImage turned;
    if (m.type() == QTransform::TxRotate && m.m11() == 0 && m.m22() == 0) {
        turned = QImage(H, W, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < W; ++y) {
            auto* out = reinterpret_cast<uint32_t*>(turned.scanLine(y));
            for (int x = 0; x < H; ++x) out[x] = reinterpret_cast<const uint32_t*>(src.constScanLine(x))[y];
        }
        m = QTransform(m.m21(), 0, 0, m.m12(), m.dx(), m.dy());
        S = &turned;
    }
    const int SW = S->width(), SH = S->height();
    // Target pixel centres to source positions, with the painter's 1/65536 nudge so that
    // positions on exact pixel boundaries round the same way.
    QTransform delta;
    delta.translate(1.0 / kFixed, 1.0 / kFixed);
    bool invertible = false;
    const QTransform inv = (delta * m).inverted(&invertible);
    if (!invertible) return;
    const double m11 = inv.m11(), m12 = inv.m12(), m21 = inv.m21(), m22 = inv.m22(), dx = inv.dx(), dy = inv.dy();
    // The per-pixel step stays in fixed point, as the painter steps it along a span.
    if (std::fabs(m11) * kFixed > 1e9 || std::fabs(m12) * kFixed > 1e9) return;
    const int fdx = static_cast<int>(m11 * kFixed), fdy = static_cast<int>(m12 * kFixed);
    const bool simpleScale = fdy == 0 && std::abs(fdx) <= kFixed;

    // A quad that is only scaled is filled as the painter fills a scaled rectangle: its mapped
    // edges rounded to whole pixels (the same rule as the centre test below, but the edges are
    // computed the painter's way so that ties at half pixels fall alike).
    const bool rectangle = transform.type() <= QTransform::TxScale;
    int rx0 = 0, rx1 = 0;
    int y0, y1;
    const bool quarterTurn = S != &src;
    if (quarterTurn) {
        // Axis-aligned after all: the centre rule below gives the same columns on every row.
        double minX = P[0].x(), maxX = P[0].x();
        for (const QPointF& p : P) {
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
        }
        rx0 = std::max(0, static_cast<int>(std::floor(minX - 0.5)) + 1);
        rx1 = std::min(TW - 1, static_cast<int>(std::floor(maxX - 0.5)));
        if (rx0 > rx1) return;
    }
    if (rectangle) {
        const QRectF r = transform.mapRect(QRectF(at, QSizeF(W, H)));
        int x0 = qRound(r.x()), x1 = qRound(r.right()), ty0 = qRound(r.y()), ty1 = qRound(r.bottom());
        if (x1 < x0) std::swap(x0, x1);
        if (ty1 < ty0) std::swap(ty0, ty1);
        rx0 = std::max(0, x0);
        rx1 = std::min(TW - 1, x1 - 1);
        y0 = std::max(0, ty0);
        y1 = std::min(TH - 1, ty1 - 1);
        if (rx0 > rx1) return;
    } else {
        // Rows whose centre lies in (minY, maxY].
        y0 = std::max(0, static_cast<int>(std::floor(minY - 0.5)) + 1);
        y1 = std::min(TH - 1, static_cast<int>(std::floor(maxY - 0.5)));
    }
    // Raw rows: QImage's row accessors are calls into the library, too dear per pixel.
    uchar* targetBits = target.bits();
    const qsizetype targetStride = target.bytesPerLine();
    const uchar* srcBits = S->constBits();
    const qsizetype srcStride = S->bytesPerLine();
    auto srcRow = [&](int r) { return reinterpret_cast<const uint32_t*>(srcBits + r * srcStride); };
    // Sampled a chunk at a time into a buffer, then composed, as the painter does.
    constexpr int kChunk = 256;
    uint32_t buf[kChunk];
    // An image only scaled (or turned a quarter) samples the same columns on every row, so
    // rows whose source rows and weight agree are the same pixels: a frame stretched tall (a
    // vertical wire) repeats each sampled row over many target rows.
    const bool sameColumns = simpleScale && (rectangle || quarterTurn) && m21 == 0;
    for (int y = y0; y <= y1; ++y) {
        const double cy = y + 0.5;
        // Where the row's centre line meets the quad's edges (each edge counts for rows whose
        // centre is below its upper end and at most at its lower end).
        double xl = 0, xr = 0;
        bool any = false;
        for (int e = 0; e < 4 && !rectangle && !quarterTurn; ++e) {
            const QPointF& a = P[e];
            const QPointF& b = P[(e + 1) & 3];
            if (a.y() == b.y()) continue;
            const double lo = std::min(a.y(), b.y()), hi = std::max(a.y(), b.y());
            if (!(cy > lo && cy <= hi)) continue;
            const double x = a.x() + (cy - a.y()) * (b.x() - a.x()) / (b.y() - a.y());
            if (!any) xl = xr = x;
            else {
                xl = std::min(xl, x);
                xr = std::max(xr, x);
            }
            any = true;
        }
        int xa = rx0, xb = rx1;
        if (!rectangle && !quarterTurn) {
            if (!any) continue;
            // Pixels whose centre lies in (xl, xr].
            const double fl = std::floor(xl - 0.5), fr = std::floor(xr - 0.5);
            if (fr < 0 || fl >= TW - 1) continue;
            xa = std::max(0, static_cast<int>(fl) + 1);
            xb = std::min(TW - 1, static_cast<int>(fr));
            if (xa > xb) continue;
        }

        const double cx = xa + 0.5;
        int fx = static_cast<int>((m21 * cy + m11 * cx + dx) * kFixed) - kHalf;
        int fy = static_cast<int>((m22 * cy + m12 * cx + dy) * kFixed) - kHalf;
        auto* d = reinterpret_cast<uint32_t*>(targetBits + y * targetStride) + xa;
        const int rowKey = fy >> 8;  // the source rows and their weight, as sampled below
        if (simpleScale) {
            // One source row pair for the whole span: rows first, then columns, as the painter
            // samples an image that is only scaled.
            int r1 = fy >> 16, r2;
            bounds(SH, r1, r2);
            const uint32_t* s1 = srcRow(r1);
            const uint32_t* s2 = srcRow(r2);
            const uint32_t disty = (fy & 0xffff) >> 8, idisty = 256 - disty;
            auto column = [&](int c, uint32_t& rb, uint32_t& ag) {
                c = std::clamp(c, 0, SW - 1);
                const uint32_t t = s1[c], b = s2[c];
                rb = (((t & 0xff00ff) * idisty + (b & 0xff00ff) * disty) >> 8) & 0xff00ff;
                ag = ((((t >> 8) & 0xff00ff) * idisty + ((b >> 8) & 0xff00ff) * disty) >> 8) & 0xff00ff;
            };
            int cached = INT32_MIN;
            uint32_t rbA = 0, agA = 0, rbB = 0, agB = 0;
            for (int x = xa; x <= xb; x += kChunk, d += kChunk) {
                const int n = std::min(kChunk, xb - x + 1);
                if (std::abs(fdx) >= kFixed / 4) {
                    // A new column every few pixels: plain steps.
                    for (int i = 0; i < n; ++i, fx += fdx) {
                        const int c = fx >> 16;
                        if (c == cached + 1) {
                            rbA = rbB;
                            agA = agB;
                            column(c + 1, rbB, agB);
                        } else if (c != cached) {
                            column(c, rbA, agA);
                            column(c + 1, rbB, agB);
                        }
                        cached = c;
                        const uint32_t distx = (static_cast<uint32_t>(fx) & 0xffff) >> 8, idistx = 256 - distx;
                        const uint32_t rb = (rbA * idistx + rbB * distx) & 0xff00ff00;
                        const uint32_t ag = (agA * idistx + agB * distx) & 0xff00ff00;
                        buf[i] = (rb >> 8) | ag;
                    }
                    composeSpan(d, buf, n, coverage, op);
                    continue;
                }
                for (int i = 0; i < n;) {
                    const int c = fx >> 16;
                    if (c == cached + 1) {  // the next column over (an image not stretched here)
                        rbA = rbB;
                        agA = agB;
                        column(c + 1, rbB, agB);
                        cached = c;
                    } else if (c != cached) {
                        column(c, rbA, agA);
                        column(c + 1, rbB, agB);
                        cached = c;
                    }
                    // The pixels up to the next source column share one column pair (many, for
                    // a stretched image), and their loop has no branch.
                    int run = n - i;
                    if (fdx > 0) {
                        const int64_t left = (int64_t{c} + 1) * kFixed - fx;
                        run = static_cast<int>(std::min<int64_t>(run, (left + fdx - 1) / fdx));
                    } else if (fdx < 0) {
                        const int64_t left = int64_t{fx} - int64_t{c} * kFixed;
                        run = static_cast<int>(std::min<int64_t>(run, left / -int64_t{fdx} + 1));
                    }
                    run = std::max(run, 1);
                    for (int k = 0; k < run; ++k, fx += fdx) {
                        const uint32_t distx = (static_cast<uint32_t>(fx) & 0xffff) >> 8, idistx = 256 - distx;
                        const uint32_t rb = (rbA * idistx + rbB * distx) & 0xff00ff00;
                        const uint32_t ag = (agA * idistx + agB * distx) & 0xff00ff00;
                        buf[i + k] = (rb >> 8) | ag;
                    }
                    i += run;
                }
                composeSpan(d, buf, n, coverage, op);
            }
            if (sameColumns && xb - xa < kChunk && y < y1) {
                // The last row with the same samples: the source row moves one way down the
                // target, so a doubling search and a halving one find it from a few rows.
                const double cx0 = xa + 0.5;
                auto keyAt = [&](int yy) {
                    return (static_cast<int>((m22 * (yy + 0.5) + m12 * cx0 + dy) * kFixed) - kHalf) >> 8;
                };
                int same = y, step = 1;
                while (same + step <= y1 && keyAt(same + step) == rowKey) {
                    same += step;
                    step *= 2;
                }
                int beyond = std::min(same + step, y1 + 1);
                while (beyond - same > 1) {
                    const int mid = same + (beyond - same) / 2;
                    if (keyAt(mid) == rowKey) same = mid;
                    else beyond = mid;
                }
                const int n = xb - xa + 1;
                for (int yy = y + 1; yy <= same; ++yy)
                    composeSpan(reinterpret_cast<uint32_t*>(targetBits + yy * targetStride) + xa, buf, n, coverage, op);
                y = same;
            }
        } else {
            for (int x = xa; x <= xb; x += kChunk, d += kChunk) {
                const int n = std::min(kChunk, xb - x + 1);
                for (int i = 0; i < n; ++i, fx += fdx, fy += fdy) {
                    int c1 = fx >> 16, c2, r1 = fy >> 16, r2;
                    bounds(SW, c1, c2);
                    bounds(SH, r1, r2);
                    const uint32_t* s1 = srcRow(r1);
                    const uint32_t* s2 = srcRow(r2);
                    const uint32_t distx = (fx & 0xffff) >> 8, disty = (fy & 0xffff) >> 8;
                    const uint32_t top = mix256(s1[c1], 256 - distx, s1[c2], distx);
                    const uint32_t bottom = mix256(s2[c1], 256 - distx, s2[c2], distx);
                    buf[i] = mix256(top, 256 - disty, bottom, disty);
                }
                composeSpan(d, buf, n, coverage, op);
            }
        }
    }
}

}  // namespace gw::raster
