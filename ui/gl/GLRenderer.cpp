#include "ui/gl/GLRenderer.h"

#include <algorithm>
#include <cmath>

namespace gw {

namespace {

constexpr int kPageSize = 2048;
constexpr int kPad = 2;  // replicated border around every atlas entry, for filtering and mip level 1
constexpr int kWhite = 4;

const char* kVertex = R"(#version 330 core
layout(location = 0) in vec2 pos;
layout(location = 1) in vec2 uv;
layout(location = 2) in vec4 col;
uniform vec2 view;
out vec2 vUv;
out vec4 vCol;
void main() {
    vUv = uv;
    vCol = col;
    gl_Position = vec4(pos.x / view.x * 2.0 - 1.0, 1.0 - pos.y / view.y * 2.0, 0.0, 1.0);
}
)";

// Textures are premultiplied. Mode 0 (alpha, light, shade): texel x colour x alpha, premultiplied
// out. Mode 1 (mask): texels below half opacity are dropped, the rest written opaque. Mode 2
// (solid): the straight colour is written opaque.
const char* kFragment = R"(#version 330 core
in vec2 vUv;
in vec4 vCol;
uniform sampler2D tex;
uniform int mode;
out vec4 frag;
void main() {
    vec4 t = texture(tex, vUv);
    if (mode == 0) {
        frag = t * vec4(vCol.rgb * vCol.a, vCol.a);
    } else {
        if (mode == 1 && t.a < 0.5) discard;
        vec3 c = t.a > 0.0 ? t.rgb / t.a : vec3(0.0);
        frag = vec4(c * vCol.rgb, 1.0);
    }
}
)";

uint8_t to8(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

GLRenderer::GLRenderer() = default;

GLRenderer::~GLRenderer() {
    // GL objects can only be freed with their context current; the owner calls release() from
    // there (QOpenGLWidget's aboutToBeDestroyed). Here only the CPU side goes.
    delete program_;
}

bool GLRenderer::initialize() {
    if (program_) return true;
    initializeOpenGLFunctions();
    auto* prog = new QOpenGLShaderProgram();
    if (!prog->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertex) ||
        !prog->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragment) || !prog->link()) {
        error_ = "shader: " + prog->log().toStdString();
        delete prog;
        return false;
    }
    program_ = prog;
    locView_ = program_->uniformLocation("view");
    locMode_ = program_->uniformLocation("mode");
    vao_.create();
    vao_.bind();
    vbo_.create();
    vbo_.setUsagePattern(QOpenGLBuffer::StreamDraw);
    vbo_.bind();
    ibo_.create();
    ibo_.bind();
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, r)));
    vao_.release();
    batch_.reserve(4096 * 4);
    return true;
}

void GLRenderer::release() {
    for (auto& p : pages_)
        if (p.tex) glDeleteTextures(1, &p.tex);
    pages_.clear();
    entries_.clear();
    batch_.clear();
    batchPage_ = -1;
    if (vbo_.isCreated()) vbo_.destroy();
    if (ibo_.isCreated()) ibo_.destroy();
    if (vao_.isCreated()) vao_.destroy();
    delete program_;
    program_ = nullptr;
    indexCapacity_ = 0;
}

void GLRenderer::beginFrame(unsigned fbo, int w, int h) {
    viewW_ = std::max(1, w);
    viewH_ = std::max(1, h);
    drawCalls_ = 0;
    quadsTotal_ = 0;
    if (!program_) return;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, viewW_, viewH_);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
}

int GLRenderer::newPage(int size) {
    Page p;
    p.size = size;
    glGenTextures(1, &p.tex);
    glBindTexture(GL_TEXTURE_2D, p.tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Entries are padded by two texels: beyond mip level 2 neighbours would bleed into each other.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 2);
    // The white patch for rectangles, lines and pixels, then the packer starts beside it.
    std::vector<uint8_t> white(static_cast<size_t>(kWhite) * kWhite * 4, 255);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWhite, kWhite, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
    p.wu = (kWhite * 0.5f) / size;
    p.wv = (kWhite * 0.5f) / size;
    p.cx = kWhite + kPad;
    p.shelf = kWhite;
    p.dirty = true;
    pages_.push_back(p);
    return static_cast<int>(pages_.size()) - 1;
}

const GLRenderer::Entry* GLRenderer::upload(const Key& key, int w, int h, const uint8_t* premul) {
    const int pw = w + 2 * kPad, ph = h + 2 * kPad;
    int page = -1;
    // Try the last page's shelves; start a new page (or one of its own for a huge picture).
    if (!pages_.empty()) {
        Page& p = pages_.back();
        if (p.cx + pw > p.size) {
            p.cy += p.shelf;
            p.cx = 0;
            p.shelf = 0;
        }
        if (p.cx + pw <= p.size && p.cy + ph <= p.size) page = static_cast<int>(pages_.size()) - 1;
    }
    if (page < 0) {
        int size = kPageSize;
        while (size < std::max(pw, ph) + kWhite + kPad) size *= 2;
        page = newPage(size);
        Page& p = pages_[page];
        if (p.cx + pw > p.size) {
            p.cy += p.shelf;
            p.cx = 0;
            p.shelf = 0;
        }
    }
    Page& p = pages_[page];
    // Replicate the edge texels into the padding so filtering at the edges sees the entry only.
    std::vector<uint8_t> buf(static_cast<size_t>(pw) * ph * 4);
    for (int y = 0; y < ph; ++y) {
        const int sy = std::clamp(y - kPad, 0, h - 1);
        for (int x = 0; x < pw; ++x) {
            const int sx = std::clamp(x - kPad, 0, w - 1);
            std::copy_n(premul + (static_cast<size_t>(sy) * w + sx) * 4, 4, &buf[(static_cast<size_t>(y) * pw + x) * 4]);
        }
    }
    glBindTexture(GL_TEXTURE_2D, p.tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, p.cx, p.cy, pw, ph, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
    p.dirty = true;
    Entry e;
    e.page = page;
    e.w = w;
    e.h = h;
    e.u0 = static_cast<float>(p.cx + kPad) / p.size;
    e.v0 = static_cast<float>(p.cy + kPad) / p.size;
    e.u1 = static_cast<float>(p.cx + kPad + w) / p.size;
    e.v1 = static_cast<float>(p.cy + kPad + h) / p.size;
    p.cx += pw;
    p.shelf = std::max(p.shelf, ph);
    // The texture of the pending batch may have been rebound; use() rebinds before drawing.
    return &entries_.emplace(key, e).first->second;
}

const GLRenderer::Entry* GLRenderer::imageEntry(const Image* img, int frame) {
    const Key key{img->id(), static_cast<uint32_t>(frame), 0};
    if (auto it = entries_.find(key); it != entries_.end()) return &it->second;
    const auto& px = img->framePixels(frame);
    const int w = img->frameWidth(), h = img->frameHeight();
    if (px.empty() || w <= 0 || h <= 0) return nullptr;
    std::vector<uint8_t> pm(px.size());
    for (size_t i = 0; i + 3 < px.size(); i += 4) {
        const unsigned a = px[i + 3];
        pm[i] = static_cast<uint8_t>((px[i] * a + 127) / 255);
        pm[i + 1] = static_cast<uint8_t>((px[i + 1] * a + 127) / 255);
        pm[i + 2] = static_cast<uint8_t>((px[i + 2] * a + 127) / 255);
        pm[i + 3] = static_cast<uint8_t>(a);
    }
    return upload(key, w, h, pm.data());
}

const GLRenderer::Entry* GLRenderer::glyphEntry(const ImageFont* font, uint32_t cp) {
    const Key key{font->id(), cp, 1};
    if (auto it = entries_.find(key); it != entries_.end()) return &it->second;
    const Glyph& g = font->glyph(cp);
    if (g.w <= 0 || g.h <= 0) return nullptr;
    std::vector<uint8_t> pm(static_cast<size_t>(g.w) * g.h * 4);
    for (size_t i = 0; i < g.alpha.size(); ++i) std::fill_n(&pm[i * 4], 4, g.alpha[i]);
    return upload(key, g.w, g.h, pm.data());
}

void GLRenderer::setBlendState() {
    glEnable(GL_BLEND);
    switch (batchBlend_) {
        case BlendMode::Alpha: glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); break;
        case BlendMode::Light: glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE); break;
        case BlendMode::Shade: glBlendFuncSeparate(GL_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); break;
        case BlendMode::Mask:
        case BlendMode::Solid: glBlendFuncSeparate(GL_ONE, GL_ZERO, GL_ZERO, GL_ONE); break;
    }
    program_->setUniformValue(locMode_, batchBlend_ == BlendMode::Mask ? 1 : batchBlend_ == BlendMode::Solid ? 2 : 0);
}

void GLRenderer::use(int page) {
    if (page != batchPage_ || blend_ != batchBlend_) {
        if (!batch_.empty()) flush();
        batchPage_ = page;
        batchBlend_ = blend_;
    }
    cr8_ = to8(r_);
    cg8_ = to8(g_);
    cb8_ = to8(b_);
    ca8_ = static_cast<uint8_t>(std::lround(std::clamp(alpha_, 0.0, 1.0) * 255));
}

void GLRenderer::flush() {
    if (!program_ || batch_.empty() || batchPage_ < 0) {
        batch_.clear();
        return;
    }
    const int quads = static_cast<int>(batch_.size() / 4);
    Page& p = pages_[batchPage_];
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, p.tex);
    if (p.dirty) {
        glGenerateMipmap(GL_TEXTURE_2D);
        p.dirty = false;
    }
    program_->bind();
    program_->setUniformValue(locView_, static_cast<float>(viewW_), static_cast<float>(viewH_));
    program_->setUniformValue("tex", 0);
    setBlendState();
    vao_.bind();
    vbo_.bind();
    // Orphan the buffer each submission so the driver never waits for the previous draw.
    vbo_.allocate(batch_.data(), static_cast<int>(batch_.size() * sizeof(Vertex)));
    ibo_.bind();
    if (quads > indexCapacity_) {
        int cap = std::max(4096, indexCapacity_);
        while (cap < quads) cap *= 2;
        std::vector<uint32_t> idx(static_cast<size_t>(cap) * 6);
        for (uint32_t q = 0; q < static_cast<uint32_t>(cap); ++q) {
            const uint32_t b = q * 4;
            uint32_t* d = &idx[q * 6];
            d[0] = b; d[1] = b + 1; d[2] = b + 2; d[3] = b; d[4] = b + 2; d[5] = b + 3;
        }
        ibo_.allocate(idx.data(), static_cast<int>(idx.size() * sizeof(uint32_t)));
        indexCapacity_ = cap;
    }
    glDrawElements(GL_TRIANGLES, quads * 6, GL_UNSIGNED_INT, nullptr);
    vao_.release();
    ++drawCalls_;
    quadsTotal_ += quads;
    batch_.clear();
}

void GLRenderer::clear() {
    if (!program_) return;
    flush();
    glClearColor(std::clamp(cr_, 0, 255) / 255.f, std::clamp(cg_, 0, 255) / 255.f, std::clamp(cb_, 0, 255) / 255.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GLRenderer::pushVertex(float x, float y, float u, float v) {
    batch_.push_back(Vertex{x, y, u, v, cr8_, cg8_, cb8_, ca8_});
}

void GLRenderer::quad(const Entry& e, double ax, double ay, double hx, double hy, double w, double h, double sx,
                      double sy) {
    use(e.page);
    // Local corners (-hx, -hy) .. (w - hx, h - hy), scaled, rotated about the anchor.
    const double rad = rot_ * (M_PI / 180.0);
    const double c = rot_ == 0 ? 1.0 : std::cos(rad), s = rot_ == 0 ? 0.0 : std::sin(rad);
    const double x0 = -hx * sx, y0 = -hy * sy, x1 = (w - hx) * sx, y1 = (h - hy) * sy;
    auto px = [&](double lx, double ly) { return static_cast<float>(ax + lx * c - ly * s); };
    auto py = [&](double lx, double ly) { return static_cast<float>(ay + lx * s + ly * c); };
    pushVertex(px(x0, y0), py(x0, y0), e.u0, e.v0);
    pushVertex(px(x1, y0), py(x1, y0), e.u1, e.v0);
    pushVertex(px(x1, y1), py(x1, y1), e.u1, e.v1);
    pushVertex(px(x0, y1), py(x0, y1), e.u0, e.v1);
}

void GLRenderer::whiteQuad(const double xs[4], const double ys[4]) {
    if (pages_.empty()) newPage(kPageSize);
    use(batchPage_ >= 0 ? batchPage_ : 0);
    const Page& p = pages_[batchPage_];
    for (int i = 0; i < 4; ++i) pushVertex(static_cast<float>(xs[i]), static_cast<float>(ys[i]), p.wu, p.wv);
}

void GLRenderer::drawImage(const Image* img, double x, double y, int frame) {
    if (!program_ || !img || frame < 0 || frame >= img->frameCount()) return;
    const Entry* e = imageEntry(img, frame);
    if (!e) return;
    quad(*e, x, y, img->handleX(), img->handleY(), e->w, e->h, sx_, sy_);
}

void GLRenderer::drawImageRect(const Image* img, double x, double y, double w, double h, int frame) {
    if (!program_ || !img || frame < 0 || frame >= img->frameCount()) return;
    const Entry* e = imageEntry(img, frame);
    if (!e || e->w <= 0 || e->h <= 0) return;
    const double fx = w / e->w, fy = h / e->h;
    quad(*e, x, y, img->handleX(), img->handleY(), e->w, e->h, sx_ * fx, sy_ * fy);
}

void GLRenderer::drawRect(double x, double y, double w, double h) {
    if (!program_) return;
    const double rad = rot_ * (M_PI / 180.0);
    const double c = rot_ == 0 ? 1.0 : std::cos(rad), s = rot_ == 0 ? 0.0 : std::sin(rad);
    const double lx[4] = {0, w * sx_, w * sx_, 0}, ly[4] = {0, 0, h * sy_, h * sy_};
    double xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
        xs[i] = x + lx[i] * c - ly[i] * s;
        ys[i] = y + lx[i] * s + ly[i] * c;
    }
    whiteQuad(xs, ys);
}

void GLRenderer::drawLine(double x1, double y1, double x2, double y2) {
    if (!program_) return;
    const double rad = rot_ * (M_PI / 180.0);
    const double c = rot_ == 0 ? 1.0 : std::cos(rad), s = rot_ == 0 ? 0.0 : std::sin(rad);
    auto map = [&](double lx, double ly, double& ox, double& oy) {
        lx *= sx_;
        ly *= sy_;
        ox = x1 + lx * c - ly * s;
        oy = y1 + lx * s + ly * c;
    };
    double ax, ay, bx, by;
    map(0.5, 0.5, ax, ay);
    map(x2 - x1 + 0.5, y2 - y1 + 0.5, bx, by);
    double dx = bx - ax, dy = by - ay;
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
    const double xs[4] = {ax - ex + nx, bx + ex + nx, bx + ex - nx, ax - ex - nx};
    const double ys[4] = {ay - ey + ny, by + ey + ny, by + ey - ny, ay - ey - ny};
    whiteQuad(xs, ys);
}

void GLRenderer::plot(double x, double y) {
    if (!program_) return;
    const double xs[4] = {x, x + 1, x + 1, x}, ys[4] = {y, y, y + 1, y + 1};
    whiteQuad(xs, ys);
}

void GLRenderer::drawText(const std::string& utf8, double x, double y) {
    if (!program_ || !font_) return;
    int pen = 0;
    for (uint32_t cp : ImageFont::decodeUtf8(utf8)) {
        const Glyph& g = font_->glyph(cp);
        if (g.w > 0 && g.h > 0) {
            if (const Entry* e = glyphEntry(font_, cp))
                // The glyph's box starts at (pen + left, top) in text space: handle at minus that.
                quad(*e, x, y, -(pen + g.left), -g.top, e->w, e->h, sx_, sy_);
        }
        pen += g.advance;
    }
}

}  // namespace gw
