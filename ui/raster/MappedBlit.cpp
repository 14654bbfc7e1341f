#include "ui/raster/MappedBlit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && defined(__SSE2__)
#include <immintrin.h>
#define GW_RASTER_AVX2 1
#endif
#include <vector>

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

// Four pixels at once (SSE2, which every x86-64 processor has), channel by channel in 16-bit
// lanes with the same rounding as the one-pixel forms above, so both give the same bytes. A sum
// s + d * (255 - alpha of s) never carries into the next channel for premultiplied colours,
// which is all this code composes, so adding bytes is adding words.
#if defined(__SSE2__)
namespace simd {
inline __m128i byteMul16(__m128i x, __m128i a) {
    __m128i t = _mm_mullo_epi16(x, a);
    t = _mm_add_epi16(t, _mm_srli_epi16(t, 8));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_set1_epi16(0x80)), 8);
}
// Each pixel's value v (0..255, in the low byte of its word) in all four of its 16-bit lanes.
inline void spread(__m128i v, __m128i& lo, __m128i& hi) {
    v = _mm_or_si128(v, _mm_slli_epi32(v, 16));
    lo = _mm_unpacklo_epi32(v, v);
    hi = _mm_unpackhi_epi32(v, v);
}
// byteMul of four pixels, each by its own factor.
inline __m128i byteMul4(__m128i x, __m128i a) {
    const __m128i zero = _mm_setzero_si128();
    __m128i alo, ahi;
    spread(a, alo, ahi);
    return _mm_packus_epi16(byteMul16(_mm_unpacklo_epi8(x, zero), alo), byteMul16(_mm_unpackhi_epi8(x, zero), ahi));
}
// byteMul of four pixels by one factor.
inline __m128i byteMulBy(__m128i x, __m128i a16) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_packus_epi16(byteMul16(_mm_unpacklo_epi8(x, zero), a16), byteMul16(_mm_unpackhi_epi8(x, zero), a16));
}
inline __m128i inverseAlpha(__m128i s) { return _mm_srli_epi32(_mm_xor_si128(s, _mm_set1_epi32(-1)), 24); }

#if defined(GW_RASTER_AVX2)
// Eight pixels at once where the processor can (checked once at start-up): source-over at full
// coverage, the same lanes and rounding as the four-pixel form (unpacking and packing keep the
// pixels of each 128-bit half in order). Answers how many pixels it composed (a multiple of 8).
// (Set while static objects are made, so the processor is asked for its features first.)
const bool hasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);

__attribute__((target("avx2"))) inline __m256i byteMul16x(__m256i x, __m256i a) {
    __m256i t = _mm256_mullo_epi16(x, a);
    t = _mm256_add_epi16(t, _mm256_srli_epi16(t, 8));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_set1_epi16(0x80)), 8);
}

__attribute__((target("avx2"))) int overAvx2(uint32_t* d, const uint32_t* s, int n) {
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xff000000u)), zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi32(-1);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(sv, alphaMask), alphaMask)) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), sv);
            continue;
        }
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(sv, zero)) == -1) continue;
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        __m256i ia = _mm256_srli_epi32(_mm256_xor_si256(sv, ones), 24);
        ia = _mm256_or_si256(ia, _mm256_slli_epi32(ia, 16));
        const __m256i lo = byteMul16x(_mm256_unpacklo_epi8(dv, zero), _mm256_unpacklo_epi32(ia, ia));
        const __m256i hi = byteMul16x(_mm256_unpackhi_epi8(dv, zero), _mm256_unpackhi_epi32(ia, ia));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_add_epi8(sv, _mm256_packus_epi16(lo, hi)));
    }
    return i;
}
#endif
}  // namespace simd
#endif

// n copies of v.
inline void fillPixels(uint32_t* p, int n, uint32_t v) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i v4 = _mm_set1_epi32(static_cast<int>(v));
    for (; i + 4 <= n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v4);
#endif
    for (; i < n; ++i) p[i] = v;
}

// Composes n sampled pixels onto the target row; the branches on the mode stay out of the loop.
// Inlined: a turned wire composes a few pixels per row over hundreds of rows.
[[gnu::always_inline]] inline void composeSpan(uint32_t* d, const uint32_t* s, int n, int coverage, MappedOp op) {
    int i = 0;
#if defined(__SSE2__)
    auto ld = [](const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    auto st = [](uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); };
    const __m128i cov16 = _mm_set1_epi16(static_cast<short>(coverage));
    const __m128i inv16 = _mm_set1_epi16(static_cast<short>(255 - coverage));
    if (op == MappedOp::Over && coverage == 255) {
#if defined(GW_RASTER_AVX2)
        if (n >= 8 && simd::hasAvx2) i = simd::overAvx2(d, s, n);
#endif
        // Four opaque pixels replace the target's, four empty ones leave it: most of a wire's or
        // a body's pixels are one or the other.
        const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xff000000u));
        for (; i + 4 <= n; i += 4) {
            const __m128i sv = ld(s + i);
            const __m128i a = _mm_and_si128(sv, alphaMask);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, alphaMask)) == 0xffff) {
                st(d + i, sv);
                continue;
            }
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(sv, _mm_setzero_si128())) == 0xffff) continue;
            st(d + i, _mm_add_epi8(sv, simd::byteMul4(ld(d + i), simd::inverseAlpha(sv))));
        }
    } else if (op == MappedOp::Over) {
        for (; i + 4 <= n; i += 4) {
            const __m128i v = simd::byteMulBy(ld(s + i), cov16);
            st(d + i, _mm_add_epi8(v, simd::byteMul4(ld(d + i), simd::inverseAlpha(v))));
        }
    } else if (coverage == 255) {
        for (; i + 4 <= n; i += 4) st(d + i, _mm_adds_epu8(ld(d + i), ld(s + i)));
    } else {
        // mix255(x, c, d, 255 - c): x * c + d * (255 - c) per channel, rounded as byteMul rounds.
        const __m128i zero = _mm_setzero_si128();
        auto half = [&](__m128i xs, __m128i ds) {
            __m128i t = _mm_add_epi16(_mm_mullo_epi16(xs, cov16), _mm_mullo_epi16(ds, inv16));
            t = _mm_add_epi16(t, _mm_srli_epi16(t, 8));
            return _mm_srli_epi16(_mm_add_epi16(t, _mm_set1_epi16(0x80)), 8);
        };
        for (; i + 4 <= n; i += 4) {
            const __m128i dv = ld(d + i), x = _mm_adds_epu8(dv, ld(s + i));
            st(d + i, _mm_packus_epi16(half(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(dv, zero)),
                                       half(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(dv, zero))));
        }
    }
#endif
    if (op == MappedOp::Over && coverage == 255) {
        // byteMul(x, 0) is 0 and byteMul(x, 255) is x, so opaque and empty pixels need no branch.
        for (; i < n; ++i) d[i] = s[i] + byteMul(d[i], (~s[i]) >> 24);
    } else if (op == MappedOp::Over) {
        for (; i < n; ++i) {
            const uint32_t v = byteMul(s[i], static_cast<uint32_t>(coverage));
            d[i] = v + byteMul(d[i], (~v) >> 24);
        }
    } else if (coverage == 255) {
        for (; i < n; ++i) d[i] = addSaturated(d[i], s[i]);
    } else {
        for (; i < n; ++i)
            d[i] = mix255(addSaturated(d[i], s[i]), static_cast<uint32_t>(coverage), d[i], 255u - coverage);
    }
}

}  // namespace

bool canBlendMapped(const QImage& target, const QImage& src) {
    return !target.isNull() && !src.isNull() && src.format() == QImage::Format_ARGB32_Premultiplied &&
           (target.format() == QImage::Format_ARGB32_Premultiplied || target.format() == QImage::Format_RGB32);
}

int coverageOf(int opacity256) { return (255 * std::clamp(opacity256, 0, 256)) >> 8; }

namespace {

// Where the span loop writes: rows of 32-bit pixels holding the target pixels
// [x0, x0 + w) x [y0, y0 + h); the pixel (x, y) is at bits + (y - y0) * stride + (x - x0) * 4.
struct Window {
    uchar* bits;
    qsizetype stride;
    int x0, y0, w, h;
};

void blendInto(const Window& win, const QImage& src, const QTransform& transform, QPointF at, int coverage,
               MappedOp op) {
    const int W = src.width(), H = src.height();
    const int X0 = win.x0, Y0 = win.y0, X1 = win.x0 + win.w - 1, Y1 = win.y0 + win.h - 1;
    if (coverage == 0 || win.w <= 0 || win.h <= 0) return;

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
        rx0 = static_cast<int>(std::max<double>(X0, std::floor(minX - 0.5) + 1));
        rx1 = static_cast<int>(std::min<double>(X1, std::floor(maxX - 0.5)));
        if (rx0 > rx1) return;
    }
    if (rectangle) {
        const QRectF r = transform.mapRect(QRectF(at, QSizeF(W, H)));
        int x0 = qRound(r.x()), x1 = qRound(r.right()), ty0 = qRound(r.y()), ty1 = qRound(r.bottom());
        if (x1 < x0) std::swap(x0, x1);
        if (ty1 < ty0) std::swap(ty0, ty1);
        rx0 = std::max(X0, x0);
        rx1 = std::min(X1, x1 - 1);
        y0 = std::max(Y0, ty0);
        y1 = std::min(Y1, ty1 - 1);
        if (rx0 > rx1) return;
    } else {
        // Rows whose centre lies in (minY, maxY].
        y0 = static_cast<int>(std::max<double>(Y0, std::floor(minY - 0.5) + 1));
        y1 = static_cast<int>(std::min<double>(Y1, std::floor(maxY - 0.5)));
    }
    // Raw rows: QImage's row accessors are calls into the library, too dear per pixel.
    uchar* const targetBits = win.bits;
    const qsizetype targetStride = win.stride;
    auto targetAt = [&](int x, int y) {
        return reinterpret_cast<uint32_t*>(targetBits + (y - Y0) * targetStride) + (x - X0);
    };
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
            if (fr < X0 || fl >= X1) continue;
            xa = static_cast<int>(std::max<double>(X0, fl + 1));
            xb = static_cast<int>(std::min<double>(X1, fr));
            if (xa > xb) continue;
        }

        const double cx = xa + 0.5;
        int fx = static_cast<int>((m21 * cy + m11 * cx + dx) * kFixed) - kHalf;
        int fy = static_cast<int>((m22 * cy + m12 * cx + dy) * kFixed) - kHalf;
        uint32_t* d = targetAt(xa, y);
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
            // Both source rows of one colour (a wire's body across its length): every column
            // samples the same, so the span is that one colour (the weights of two equal colours
            // sum back to it exactly).
            bool uniform = true;
            for (int c = 1; c < SW && uniform; ++c) uniform = s1[c] == s1[0] && s2[c] == s2[0];
            if (uniform) {
                uint32_t rb, ag;
                column(0, rb, ag);
                const int n = xb - xa + 1;
                fillPixels(buf, std::min(n, kChunk), rb | ag << 8);
                for (int x = 0; x < n; x += kChunk, d += kChunk) composeSpan(d, buf, std::min(kChunk, n - x), coverage, op);
            }
            int cached = INT32_MIN;
            uint32_t rbA = 0, agA = 0, rbB = 0, agB = 0;
            for (int x = xa; x <= xb && !uniform; x += kChunk, d += kChunk) {
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
                    // The weight is the position's 8 bits below the column: stretched far (a long
                    // wire), the same colour repeats until they change.
                    for (int k = 0; k < run;) {
                        const uint32_t distx = (static_cast<uint32_t>(fx) & 0xffff) >> 8, idistx = 256 - distx;
                        const uint32_t rb = (rbA * idistx + rbB * distx) & 0xff00ff00;
                        const uint32_t ag = (agA * idistx + agB * distx) & 0xff00ff00;
                        const uint32_t v = (rb >> 8) | ag;
                        int same = 1;
                        if (fdx > 0 && fdx < 64) same = static_cast<int>((256 - (fx & 0xff) + fdx - 1) / fdx);
                        else if (fdx < 0 && fdx > -64) same = (fx & 0xff) / -fdx + 1;
                        same = std::min(same, run - k);
                        fillPixels(buf + i + k, same, v);
                        k += same;
                        fx += fdx * same;
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
                    composeSpan(targetAt(xa, yy), buf, n, coverage, op);
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

}  // namespace

void blendMapped(QImage& target, const QImage& src, const QTransform& transform, QPointF at, int opacity256,
                 MappedOp op) {
    if (!canBlendMapped(target, src)) return;
    blendInto(Window{target.bits(), target.bytesPerLine(), 0, 0, target.width(), target.height()}, src, transform,
              at, coverageOf(opacity256), op);
}

bool sampleMapped(const QImage& src, const QTransform& transform, QPointF at, int maxPixels, SampledQuad& out) {
    out = SampledQuad{};
    if (src.isNull() || src.format() != QImage::Format_ARGB32_Premultiplied) return false;
    const QRectF r = transform.mapRect(QRectF(at, QSizeF(src.size())));
    if (!std::isfinite(r.left()) || !std::isfinite(r.top()) || !std::isfinite(r.right()) || !std::isfinite(r.bottom()))
        return false;
    // Every pixel the loop can draw, and a pixel more on each side.
    const double left = std::floor(r.left()) - 1, top = std::floor(r.top()) - 1;
    const double w = std::ceil(r.right()) + 1 - left, h = std::ceil(r.bottom()) + 1 - top;
    if (w * h > maxPixels || std::fabs(left) > 1e6 || std::fabs(top) > 1e6) return false;
    const int x0 = static_cast<int>(left), y0 = static_cast<int>(top), W = static_cast<int>(w), H = static_cast<int>(h);
    std::vector<uint32_t> px(static_cast<size_t>(W) * static_cast<size_t>(H), 0u);
    // Source-over at full coverage onto nothing leaves exactly the sampled colours.
    blendInto(Window{reinterpret_cast<uchar*>(px.data()), static_cast<qsizetype>(W) * 4, x0, y0, W, H}, src, transform,
              at, 255, MappedOp::Over);
    // Pixels left empty change nothing when composed: the rows and columns around the drawn ones
    // are dropped.
    int rx0 = W, rx1 = -1, ry0 = H, ry1 = -1;
    for (int y = 0; y < H; ++y) {
        const uint32_t* row = px.data() + static_cast<size_t>(y) * static_cast<size_t>(W);
        for (int x = 0; x < W; ++x)
            if (row[x] != 0) {
                rx0 = std::min(rx0, x), rx1 = std::max(rx1, x);
                ry0 = std::min(ry0, y), ry1 = std::max(ry1, y);
            }
    }
    if (rx1 < 0) return true;  // nothing to draw
    out.x0 = x0 + rx0, out.y0 = y0 + ry0, out.w = rx1 - rx0 + 1, out.h = ry1 - ry0 + 1;
    out.px.resize(static_cast<size_t>(out.w) * static_cast<size_t>(out.h));
    for (int y = 0; y < out.h; ++y)
        std::copy_n(px.data() + static_cast<size_t>(ry0 + y) * static_cast<size_t>(W) + rx0, out.w,
                    out.px.data() + static_cast<size_t>(y) * static_cast<size_t>(out.w));
    return true;
}

namespace {

// Composes w x h pixels (rows `stride` pixels apart) with their first at (x, y) of `target`,
// clipped to it.
void composeRows(QImage& target, const uint32_t* px, size_t stride, int64_t x, int64_t y, int w, int h,
                 int opacity256, MappedOp op) {
    if (w <= 0 || h <= 0 || target.isNull()) return;
    if (target.format() != QImage::Format_ARGB32_Premultiplied && target.format() != QImage::Format_RGB32) return;
    const int coverage = coverageOf(opacity256);
    if (coverage == 0) return;
    const int64_t xa = std::max<int64_t>(0, x), xb = std::min<int64_t>(target.width(), x + w);
    const int64_t ya = std::max<int64_t>(0, y), yb = std::min<int64_t>(target.height(), y + h);
    if (xa >= xb || ya >= yb) return;
    uchar* bits = target.bits();
    const qsizetype tstride = target.bytesPerLine();
    const int n = static_cast<int>(xb - xa);
    for (int64_t r = ya; r < yb; ++r)
        composeSpan(reinterpret_cast<uint32_t*>(bits + r * tstride) + xa,
                    px + static_cast<size_t>(r - y) * stride + static_cast<size_t>(xa - x), n, coverage, op);
}

}  // namespace

void composeSampled(QImage& target, const SampledQuad& q, int dx, int dy, int opacity256, MappedOp op) {
    composeRows(target, q.px.data(), static_cast<size_t>(q.w), int64_t{q.x0} + dx, int64_t{q.y0} + dy, q.w, q.h,
                opacity256, op);
}

void composeImage(QImage& target, const QImage& src, int x, int y, int opacity256, MappedOp op) {
    if (src.isNull() || src.format() != QImage::Format_ARGB32_Premultiplied) return;
    composeRows(target, reinterpret_cast<const uint32_t*>(src.constBits()), static_cast<size_t>(src.bytesPerLine() / 4),
                x, y, src.width(), src.height(), opacity256, op);
}

void fillOver(QImage& target, const QRect& r, uint32_t colour) {
    const QImage::Format f = target.format();
    if (f != QImage::Format_ARGB32_Premultiplied && f != QImage::Format_RGB32) return;
    const QRect clipped = r.intersected(target.rect());
    if (clipped.isEmpty()) return;
    const uint32_t ia = (~colour) >> 24;
    uchar* row = target.bits() + clipped.top() * target.bytesPerLine();
    const qsizetype stride = target.bytesPerLine();
    const int n = clipped.width(), rows = clipped.height(), x0 = clipped.left();
    if (ia == 0) {
        for (int y = 0; y < rows; ++y, row += stride) std::fill_n(reinterpret_cast<uint32_t*>(row) + x0, n, colour);
        return;
    }
    if (n < 4) {  // a vertical grid line, a grid dot
        for (int y = 0; y < rows; ++y, row += stride) {
            uint32_t* d = reinterpret_cast<uint32_t*>(row) + x0;
            for (int i = 0; i < n; ++i) d[i] = colour + byteMul(d[i], ia);
        }
        return;
    }
#if defined(__SSE2__)
    const __m128i c4 = _mm_set1_epi32(static_cast<int>(colour)), ia16 = _mm_set1_epi16(static_cast<short>(ia));
#endif
    for (int y = 0; y < rows; ++y, row += stride) {
        uint32_t* d = reinterpret_cast<uint32_t*>(row) + x0;
        int i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= n; i += 4) {
            __m128i* p = reinterpret_cast<__m128i*>(d + i);
            _mm_storeu_si128(p, _mm_add_epi8(c4, simd::byteMulBy(_mm_loadu_si128(p), ia16)));
        }
#endif
        for (; i < n; ++i) d[i] = colour + byteMul(d[i], ia);
    }
}

}  // namespace gw::raster
