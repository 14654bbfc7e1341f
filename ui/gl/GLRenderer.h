// The OpenGL renderer of the canvas. Every image frame, glyph, rectangle, line and pixel becomes a
// textured quad in a vertex batch; one shader multiplies the texel by colour and alpha. Textures
// hold premultiplied pixels packed into 2048 x 2048 atlas pages with replicated borders,
// mipmapped and linearly filtered; each page keeps a white patch so filled rectangles, lines and
// pixels join the batch of the page in use.
//
// Blend modes go through glBlendFuncSeparate with (GL_ZERO, GL_ONE) for alpha, so drawing never
// changes the target's alpha. Geometry matches the raster backend (see RasterRenderer.h).
//
// What makes a frame cheap:
// - Vertices are 16 bytes (position as floats, texel coordinates as 16-bit integers fixed when
//   a picture is uploaded, colour as four bytes); unrotated quads skip the rotation.
// - Quads that cannot cover a pixel centre (zero-sized, smaller than a pixel between two
//   centres, or outside the target) are dropped: the rasteriser would produce no fragment.
// - Light-blended quads (the glow of lit lamps) go into a second batch drawn after the pending
//   normal one, instead of splitting the batch at every lamp. That reorders nothing on screen as
//   long as no normal quad that came later covers a pixel the light quad can change: the batch
//   marks, in a bitmap of 8 x 8 pixel cells, the cells holding those pixels (the non-zero texels
//   of the frame, widened by the filter's reach), and a normal quad meeting a marked cell
//   submits both batches first. Pixels are therefore blended in exactly the order they were
//   drawn in.
// - The common quad (unrotated, same page and blend mode as the batch) takes a short path:
//   corners straight from the anchor, one bitmap look-up while glow is pending, the packed colour
//   kept until colour or alpha change, vertices written into room the batch already has.
// - Batches are handed over every 4,096 quads, so the vertices are still in the cache when the
//   driver copies them.
// A batch is submitted when the page or a non-light blend mode changes, at such a meeting, when
// it is full, and at flush().
//
// Usage: make a 3.3 core context current, initialize() once, then per frame beginFrame() with
// the target framebuffer's size, draw, endFrame(). It works inside QOpenGLWidget::paintGL and
// in an offscreen framebuffer object. release() frees the GL objects (context current).
#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/render/Renderer.h"

namespace gw {

class GLRenderer : public Renderer, protected QOpenGLFunctions {
public:
    GLRenderer();
    ~GLRenderer() override;

    // Builds the shader and buffers in the current context; false (with error()) on failure.
    bool initialize();
    bool initialized() const { return program_ != nullptr; }
    const std::string& error() const { return error_; }
    void release();

    // Binds `fbo` (0 for the default framebuffer) and sets a viewport of w x h pixels.
    void beginFrame(unsigned fbo, int w, int h);
    void endFrame() { flush(); }

    void clear() override;
    void drawImage(const Image* img, double x, double y, int frame) override;
    void drawImageRect(const Image* img, double x, double y, double w, double h, int frame) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    void drawRect(double x, double y, double w, double h) override;
    void plot(double x, double y) override;
    void drawText(const std::string& utf8, double x, double y) override;
    // The parts go the way the single calls go, without a call, a scale change and the argument
    // checks per part.
    void drawImageParts(const Image* img, const ImagePart* parts, int n) override;
    void flush() override;
    void beginStamp(double x, double y) override;
    int endStamp() override;
    void drawStamp(int stamp, double x, double y) override;
    void dropStamps() override;
    int stampsDrawn() const { return stampsDrawn_; }  // drawStamp calls since beginFrame

    // Plain mode: every quad drawn, through the general path (corners rotated even at angle 0,
    // colour packed afresh), and the batch split at every blend change, in call order. The
    // picture must be the same either way; tests compare the two.
    void setPlainMode(bool plain) { plain_ = plain; }
    // Measures the thread CPU time spent inside the GL calls of submission (for benchmarks).
    void setTiming(bool on) { timing_ = on; }
    // Batches are built and counted as usual but never handed to OpenGL: the frame's own CPU
    // cost without the driver's (for profiling; nothing is drawn).
    void setDryRun(bool on) { dryRun_ = on; }

    // Counters since the last beginFrame (for benchmarks and tests).
    int drawCalls() const { return drawCalls_; }
    int quads() const { return quadsTotal_; }
    int droppedQuads() const { return dropped_; }
    int pageCount() const { return static_cast<int>(pages_.size()); }
    // With setTiming: thread CPU milliseconds in glBufferData (vertex upload) and in the draw
    // calls with their state changes. Under a software driver the draw calls include its vertex
    // processing and triangle setup, which a graphics card does itself.
    double uploadMs() const { return uploadMs_; }
    double issueMs() const { return issueMs_; }

private:
    struct Vertex {
        float x, y;
        uint16_t u, v;  // texel coordinates in the page
        uint32_t rgba;
    };
    static_assert(sizeof(Vertex) == 16);
    struct Entry {
        int page = -1;
        uint16_t u0 = 0, v0 = 0, u1 = 0, v1 = 0;
        int w = 0, h = 0;
        // Fractions of the frame (0..1) holding every texel that is not fully transparent and
        // black, widened by the reach of filtering; empty (lo > hi) when there is none.
        float nzx0 = 0, nzy0 = 0, nzx1 = 1, nzy1 = 1;
    };
    struct Page {
        unsigned tex = 0;
        int size = 0;
        int cx = 0, cy = 0, shelf = 0;  // shelf packer cursor
        bool dirty = false;             // mipmaps need rebuilding
    };
    struct Key {
        uint64_t id;
        uint32_t sub;
        uint8_t kind;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return static_cast<size_t>((k.id * 0x9E3779B97F4A7C15ull) ^ (static_cast<uint64_t>(k.sub) << 8) ^ k.kind);
        }
    };
    // A glyph as the batch needs it: its atlas entry (-1: nothing to draw) and pen metrics.
    struct GlyphSlot {
        int entry = -2;  // -2: not looked up yet
        int advance = 0, left = 0, top = 0;
    };
    struct Batch {
        std::unique_ptr<Vertex[]> v;
        size_t n = 0, cap = 0;  // vertices in use, room
        Vertex* push4() {
            if (n + 4 > cap) [[unlikely]] grow();
            Vertex* p = v.get() + n;
            n += 4;
            return p;
        }
        Vertex* push(size_t k) {
            while (n + k > cap) [[unlikely]] grow();
            Vertex* p = v.get() + n;
            n += k;
            return p;
        }
        void grow();
    };
    struct Box {
        float l, t, r, b;
    };
    // A recorded quad: its anchor relative to the stamp's origin and its corners relative to the
    // anchor, kept apart so that a replay adds them the way the first drawing did.
    struct StampQuad {
        double ax, ay;
        double x0, y0, x1, y1;
        uint32_t rgba;
        int page;
        uint16_t u0, v0, u1, v1;
    };
    struct Stamp {
        size_t first = 0, count = 0;  // in stampQuads_
        BlendMode blend = BlendMode::Alpha;
        int page = -1;  // the page of every quad, or -1 when they lie on several
        double boxL = 0, boxT = 0, boxR = 0, boxB = 0;  // around the quads, relative to the origin
        // The state the recorded drawing left.
        int r = 0, g = 0, b = 0;
        double alpha = 1, rot = 0, sx = 1, sy = 1;
        BlendMode endBlend = BlendMode::Alpha;
        const ImageFont* font = nullptr;
    };
    void recordQuad(int page, const Entry& e, double ax, double ay, double x0, double y0, double x1, double y1) {
        // One blend mode throughout, and not the glow's (its quads are kept apart and tracked).
        if (blend_ != recBlend_ || blend_ == BlendMode::Light) recordOk_ = false;
        stampQuads_.push_back(StampQuad{ax - recX_, ay - recY_, x0, y0, x1, y1, packedColour(), page, e.u0, e.v0,
                                        e.u1, e.v1});
    }
    void spoilRecording() { recordOk_ = false; }

    int imageEntry(const Image* img, int frame);
    int glyphEntry(const ImageFont* font, uint32_t cp, const Glyph& g);
    const GlyphSlot& glyphSlot(const ImageFont* font, uint32_t cp);
    int upload(const Key& key, int w, int h, const uint8_t* premul);
    int newPage(int size);
    // The current colour and alpha as a vertex colour, repacked only when they changed.
    uint32_t packedColour() {
        if (r_ == lastR_ && g_ == lastG_ && b_ == lastB_ && alpha_ == lastA_) [[likely]] return lastPacked_;
        return repackColour();
    }
    uint32_t repackColour();
    // The atlas entry of an image frame (null: nothing to draw); the frame must exist.
    const Entry* entryOf(const Image* img, int frame) {
        // Frames of the image last looked up are kept at hand: a frame draws many quads of one
        // image in a row (a body's nine parts, the connectors of every pin).
        if (img->id() != lookId_) [[unlikely]] lookAt(img->id());
        if (static_cast<size_t>(frame) < lookCount_) {
            const int i = lookFrames_[frame];
            if (i >= 0) return &entryList_[i];
            if (i == -1) return nullptr;
        }
        const int i = imageEntry(img, frame);
        return i >= 0 ? &entryList_[i] : nullptr;
    }
    void lookAt(uint64_t id) {
        lookId_ = id;
        const bool known = id < imageFrames_.size();
        lookFrames_ = known ? imageFrames_[id].data() : nullptr;
        lookCount_ = known ? imageFrames_[id].size() : 0;
    }
    // Forgets the frames kept at hand (imageFrames_ is about to change).
    void forgetLook() {
        lookId_ = ~uint64_t{0};
        lookFrames_ = nullptr;
        lookCount_ = 0;
    }
    // The cosine and sine of the current rotation, kept for the next quad at the same angle.
    void rotation(double& c, double& s);
    // A quad of local size (w, h), local origin (-hx, -hy) before scaling, anchored at (ax, ay),
    // rotated by the current rotation.
    void quad(const Entry& e, double ax, double ay, double hx, double hy, double w, double h, double sx, double sy);
    // Adds a quad with corners c[0..3] (clockwise from the texture's top-left) to the batches.
    void addQuad(int page, const float cx[4], const float cy[4], const Entry* e, uint16_t u0, uint16_t v0,
                 uint16_t u1, uint16_t v1);
    // The same for an unrotated quad with corners (x0, y0) top-left and (x1, y1) bottom-right of
    // the texture (x0 > x1 or y0 > y1 when mirrored): the path nearly every quad takes.
    void axisQuad(int page, const Entry* e, uint16_t u0, uint16_t v0, uint16_t u1, uint16_t v1, float x0, float y0,
                  float x1, float y1, uint32_t rgba);
    // Whether a quad with this bounding box (l <= r, t <= b) can cover a pixel centre; counts
    // the ones dropped.
    bool covers(float l, float t, float r, float b);
    // The batch a quad that will be drawn goes into, after submitting what must be drawn before
    // it (page or blend change, pending glow under it); marks the pixels a light quad can change.
    Batch& batchFor(int page, const float cx[4], const float cy[4], float l, float t, float r, float b,
                    const Entry* e);
    void whiteQuad(const double xs[4], const double ys[4]);
    void whiteAxisQuad(double x0, double y0, double x1, double y1);
    // The cells a box touches, held to the target; false when it misses the target.
    bool cellSpan(const Box& b, int& x0, int& y0, int& x1, int& y1) const;
    // Whether a box meets a cell where pending glow can change pixels; marks such cells.
    bool meetsLight(const Box& b) const;
    bool meetsLightWide(int x0, int y0, int x1, int y1) const;  // cells spanning several words
    // meetsLight for the box of a quad that covers() accepted, widened by a pixel; quicker for
    // one inside the target.
    bool meetsLightInside(float l, float t, float r, float b) const;
    void markLight(const Box& b);
    void clearGlow();
    void submit(Batch& b, BlendMode mode);
    void setBlendState(BlendMode mode);

    QOpenGLShaderProgram* program_ = nullptr;
    QOpenGLBuffer vbo_{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer ibo_{QOpenGLBuffer::IndexBuffer};
    QOpenGLVertexArrayObject vao_;
    int indexCapacity_ = 0;  // quads the index buffer covers
    int locView_ = -1, locMode_ = -1, locTexel_ = -1, locTex_ = -1;
    std::string error_;

    std::vector<Page> pages_;
    std::vector<Entry> entryList_;
    std::unordered_map<Key, int, KeyHash> entries_;
    // Direct lookups by image id (frames) and font id (code points below 256).
    std::vector<std::vector<int>> imageFrames_;
    uint64_t lookId_ = ~uint64_t{0};  // see entryOf
    const int* lookFrames_ = nullptr;
    size_t lookCount_ = 0;
    std::vector<std::vector<GlyphSlot>> fontGlyphs_;
    std::unordered_map<Key, GlyphSlot, KeyHash> otherGlyphs_;

    Batch normal_, light_;
    int batchPage_ = -1;
    BlendMode batchBlend_ = BlendMode::Alpha;  // blend mode of normal_
    // Where pending light quads can change pixels: one bit per 8 x 8 pixel cell of the target,
    // rows of words_ 64-bit words; rows glowTop_ to glowBottom_ may hold set bits.
    static constexpr int kCell = 8;
    int cellsX_ = 0, cellsY_ = 0, words_ = 0;
    std::vector<uint64_t> glow_;
    int glowTop_ = 0, glowBottom_ = -1;

    double trigRot_ = 0, trigCos_ = 1, trigSin_ = 0;
    // The colour of the last quad, packed.
    int lastR_ = -1, lastG_ = -1, lastB_ = -1;
    double lastA_ = -1;
    uint32_t lastPacked_ = 0;
    bool plain_ = false;
    bool timing_ = false;
    bool dryRun_ = false;
    int viewW_ = 1, viewH_ = 1;
    float viewWf_ = 1, viewHf_ = 1;
    int drawCalls_ = 0, quadsTotal_ = 0, dropped_ = 0, stampsDrawn_ = 0;
    std::vector<StampQuad> stampQuads_;
    std::vector<Stamp> stamps_;
    bool recording_ = false, recordOk_ = false;
    double recX_ = 0, recY_ = 0;
    size_t stampStart_ = 0;
    BlendMode recBlend_ = BlendMode::Alpha;
    double uploadMs_ = 0, issueMs_ = 0;
};

}  // namespace gw
