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

}  // namespace gw::raster
