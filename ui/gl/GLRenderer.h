// The OpenGL renderer of the canvas. Every image frame, glyph, rectangle, line and pixel becomes a
// textured quad in one vertex batch; the batch is submitted with one draw call per texture page
// whenever the page or the blend mode changes, or at flush(). One shader multiplies the texel by
// colour and alpha. Textures hold premultiplied pixels packed into 2048 x 2048 atlas pages with
// replicated borders, mipmapped and linearly filtered; each page keeps a white patch so filled
// rectangles, lines and pixels join the batch of the page in use.
//
// Blend modes go through glBlendFuncSeparate with (GL_ZERO, GL_ONE) for alpha, so drawing never
// changes the target's alpha. Geometry matches the raster backend (see RasterRenderer.h).
//
// Usage: make a 3.3 core context current, initialize() once, then per frame beginFrame() with
// the target framebuffer's size, draw, endFrame(). It works inside QOpenGLWidget::paintGL and
// in an offscreen framebuffer object. release() frees the GL objects (context current).
#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>

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
    void flush() override;

    // Counters since the last beginFrame (for benchmarks and tests).
    int drawCalls() const { return drawCalls_; }
    int quads() const { return quadsTotal_; }
    int pageCount() const { return static_cast<int>(pages_.size()); }

private:
    struct Vertex {
        float x, y, u, v;
        uint8_t r, g, b, a;
    };
    struct Entry {
        int page = -1;
        float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
        int w = 0, h = 0;
    };
    struct Page {
        unsigned tex = 0;
        int size = 0;
        int cx = 0, cy = 0, shelf = 0;  // shelf packer cursor
        bool dirty = false;             // mipmaps need rebuilding
        float wu = 0, wv = 0;           // centre of the white patch
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

    const Entry* imageEntry(const Image* img, int frame);
    const Entry* glyphEntry(const ImageFont* font, uint32_t cp);
    const Entry* upload(const Key& key, int w, int h, const uint8_t* premul);
    int newPage(int size);
    // Makes the batch use `page` and the current blend mode, submitting what is pending first.
    void use(int page);
    // A quad of local size (w, h), local origin (-hx, -hy) before scaling, anchored at (ax, ay).
    void quad(const Entry& e, double ax, double ay, double hx, double hy, double w, double h, double sx, double sy);
    void whiteQuad(const double xs[4], const double ys[4]);
    void pushVertex(float x, float y, float u, float v);
    void setBlendState();

    QOpenGLShaderProgram* program_ = nullptr;
    QOpenGLBuffer vbo_{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer ibo_{QOpenGLBuffer::IndexBuffer};
    QOpenGLVertexArrayObject vao_;
    int indexCapacity_ = 0;  // quads the index buffer covers
    int locView_ = -1, locMode_ = -1;
    std::string error_;

    std::vector<Page> pages_;
    std::unordered_map<Key, Entry, KeyHash> entries_;
    std::vector<Vertex> batch_;
    int batchPage_ = -1;
    BlendMode batchBlend_ = BlendMode::Alpha;
    uint8_t cr8_ = 255, cg8_ = 255, cb8_ = 255, ca8_ = 255;  // colour of the vertices being built
    int viewW_ = 1, viewH_ = 1;
    int drawCalls_ = 0, quadsTotal_ = 0;
};

}  // namespace gw
