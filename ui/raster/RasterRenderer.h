// The renderer on a QImage through QPainter: image export, the command-line tool and machines
// without OpenGL. Draws the same pictures as the OpenGL backend: colour tint through a cached
// tinted copy of each frame, additive light through CompositionMode_Plus, smooth (bilinear)
// sampling of scaled and rotated images, no anti-aliasing of rectangles, lines and pixels.
//
// Geometry shared with the OpenGL backend: an image frame, a rectangle and a line are placed at
// their anchor point (the image's handle, the rectangle's top-left corner, the line's start) and
// rotated and scaled about it by the current transform. A line covers the pixels from its start
// to its end inclusive, one pixel wide at scale 1; plot fills the one pixel at (x, y).
#pragma once

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "ui/raster/MappedBlit.h"
#include "ui/render/Renderer.h"

namespace gw {

class RasterRenderer : public Renderer {
public:
    RasterRenderer();
    ~RasterRenderer() override;

    // Starts drawing into `target` (any QImage format QPainter can paint on; ARGB32_Premultiplied
    // is fastest). The image must outlive end(). Answers false when it cannot be painted on.
    bool begin(QImage* target);
    // Finishes the frame; the target then holds the picture.
    void end();
    bool active() const { return painter_.isActive(); }

    void clear() override;
    void drawImage(const Image* img, double x, double y, int frame) override;
    void drawImageRect(const Image* img, double x, double y, double w, double h, int frame) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    void drawRect(double x, double y, double w, double h) override;
    void plot(double x, double y) override;
    void drawText(const std::string& utf8, double x, double y) override;

    // Number of tinted frames and glyphs kept (a bounded cache; exposed for tests).
    size_t cachedCount() const { return cache_.size(); }

private:
    struct Key {
        uint64_t id = 0;      // image or font id
        uint32_t sub = 0;     // frame or code point
        uint32_t rgb = 0;     // tint, 0xFFFFFF for none
        uint8_t kind = 0;     // 0 image frame, 1 glyph
        uint8_t mask = 0;     // alpha thresholded for the mask blend
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            uint64_t h = k.id * 0x9E3779B97F4A7C15ull;
            h ^= (static_cast<uint64_t>(k.sub) << 32 | k.rgb) + 0x7F4A7C15ull + (h << 6) + (h >> 2);
            h ^= static_cast<uint64_t>(k.kind) << 1 | k.mask;
            return static_cast<size_t>(h);
        }
    };

    // The frame or glyph tinted by the current colour (and thresholded in mask mode); nullptr
    // when there is nothing to draw.
    const QImage* source(Key key, const Image* img, const ImageFont* font);
    // The transform that puts a frame's handle at (ax, ay) with the current rotation and scale
    // (sx, sy); place() sets it on the painter with the opacity and composition of the blend mode.
    QTransform placement(double ax, double ay, double sx, double sy) const;
    void place(double ax, double ay, double sx, double sy);
    void placeBlend();
    // The opacity of the alpha and light blends in 1/256.
    int opacity256() const;
    void usePainterTransform(const QTransform& t);
    // Whether the w x h rectangle at (l, t) in the space placed at (ax, ay) with the current
    // rotation and scale (sx, sy) lies wholly outside the target, smoothing's reach included:
    // such a draw changes no pixel and is skipped before QPainter sets anything up.
    bool offTarget(double ax, double ay, double sx, double sy, double l, double t, double w, double h) const;
    // Fills the pixels of a rectangle in target pixels (unrotated) with the current colour.
    void fillAligned(const QRectF& mapped);
    // Draws `src` with its top-left corner at `at` under the transform `t`.
    void drawPlaced(const QImage& src, const QTransform& t, QPointF at);
    // `src` sampled under `t` with its move reduced below a pixel (kept for later draws), or
    // nullptr when the quad is too large to be sampled ahead.
    const raster::SampledQuad* sampled(const QImage& src, const QTransform& t, QPointF at);

    struct SampleKey {
        qint64 image = 0;  // QImage::cacheKey of the tinted frame
        double map[8] = {};  // the map's linear part, its move below a pixel, the frame's corner
        bool operator==(const SampleKey& o) const {
            return image == o.image && std::memcmp(map, o.map, sizeof map) == 0;
        }
    };
    struct SampleKeyHash {
        size_t operator()(const SampleKey& k) const {
            uint64_t h = static_cast<uint64_t>(k.image) * 0x9E3779B97F4A7C15ull;
            for (double d : k.map) {
                uint64_t b;
                std::memcpy(&b, &d, sizeof b);
                h = (h ^ b) * 0x100000001B3ull;
                h ^= h >> 29;
            }
            return static_cast<size_t>(h);
        }
    };

    QImage* target_ = nullptr;
    QPainter painter_;
    std::unordered_map<Key, QImage, KeyHash> base_;   // untinted
    std::unordered_map<Key, QImage, KeyHash> cache_;  // tinted / masked
    std::unordered_set<Key, KeyHash> clear_;          // untinted frames without a visible pixel
    std::unordered_map<SampleKey, raster::SampledQuad, SampleKeyHash> sampled_;
    size_t sampledPixels_ = 0;
    mutable double trigRot_ = 0, trigCos_ = 1, trigSin_ = 0;  // offTarget's last angle
};

}  // namespace gw
