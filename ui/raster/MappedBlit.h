// Drawing a small image through an affine map into a large 32-bit target without QPainter: the
// raster renderer's path for image frames whose drawn quad is tall or reaches past the target
// (a wire body stretched along a segment many thousand times its length, a device frame stretched
// over a tall body). QPainter spends time on such draws that grows with the quad rather than with
// the pixels it changes (it hands tall fills to its thread pool and takes a slow path for quads
// larger than the target); this path walks only the target rows and columns the quad covers.
//
// It follows QPainter's own rules for a smooth, non-antialiased image draw so that both paths
// draw the same picture: a pixel is drawn when its centre lies inside the quad (an edge through a
// centre counts for the bottom and the right side only), its colour is sampled bilinearly at the
// centre with edge pixels repeated outside the image (16.16 fixed point, 8-bit weights), and it
// is composed with the target by source-over or plus, scaled by the painter's opacity in 1/256.
// Sampling differs from QPainter's by rounding only (a level or two of 255, see the tests).
#pragma once

#include <QImage>
#include <QTransform>

#include <cstdint>
#include <vector>

namespace gw::raster {

enum class MappedOp { Over, Plus };

// Whether blendMapped can draw `src` into `target`: both ARGB32_Premultiplied (the target may
// also be RGB32), the target not empty.
bool canBlendMapped(const QImage& target, const QImage& src);

// Draws `src` into `target` as QPainter::drawImage(at, src) draws it with `transform` set and
// smooth sampling on. `opacity256` is QPainter's opacity as 0..256. A map that cannot be
// inverted, or a quad with a corner that is not finite, draws nothing.
void blendMapped(QImage& target, const QImage& src, const QTransform& transform, QPointF at, int opacity256,
                 MappedOp op);

// A frame sampled once under one map, ready to be composed at any whole-pixel offset: the
// colours blendMapped would compose, for the rows and columns that hold any (premultiplied, row
// by row). Boards draw the same few frames under the same few maps again and again (every
// unit wire of a zoom level, every body of one size); sampling them once leaves only the
// composing per draw.
struct SampledQuad {
    std::vector<uint32_t> px;
    int x0 = 0, y0 = 0, w = 0, h = 0;  // where the first pixel lands, and the size
};

// Samples `src` as blendMapped(target, src, transform, at, ...) would for an unbounded target.
// Answers false (and leaves `out` empty) when the quad's bounding box holds more than
// `maxPixels` pixels, a corner is not finite, or `src` is not ARGB32_Premultiplied.
bool sampleMapped(const QImage& src, const QTransform& transform, QPointF at, int maxPixels, SampledQuad& out);

// Composes a sampled quad moved by (dx, dy) whole pixels into `target` (ARGB32_Premultiplied or
// RGB32), clipped to it, as blendMapped composes: the same colours in the same way.
void composeSampled(QImage& target, const SampledQuad& q, int dx, int dy, int opacity256, MappedOp op);

// Composes `src` (ARGB32_Premultiplied) unscaled with its top-left pixel at (x, y) of `target`,
// clipped to it: what QPainter does for an image under a mere move (it rounds the move to
// whole pixels and samples nothing), in the same bytes.
void composeImage(QImage& target, const QImage& src, int x, int y, int opacity256, MappedOp op);

// Composes one premultiplied colour source-over onto the pixels of `r` (clipped to the target,
// ARGB32_Premultiplied or RGB32), rounding as the span loop does.
void fillOver(QImage& target, const QRect& r, uint32_t colour);

// The coverage in 1/255 that an opacity in 1/256 stands for.
int coverageOf(int opacity256);

}  // namespace gw::raster
