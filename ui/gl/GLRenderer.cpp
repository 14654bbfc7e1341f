#include "ui/gl/GLRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ctime>

namespace gw {

namespace {

constexpr int kPageSize = 2048;
// Replicated border around every atlas entry, and entries start on multiples of 4: then each
// texel of mip levels 1 and 2 covering an entry holds that entry's texels (and its border) only,
// and filtering never mixes in a neighbour.
constexpr int kPad = 4;
constexpr int kAlign = 4;
constexpr int kWhite = 4;
// Texels around a non-zero texel that filtering at mip levels 0 to 2 can carry it to.
constexpr int kReach = 8;
// A batch is handed over when it holds this many vertices (256 KB): written vertices are still in
// the cache when they are copied to the driver, instead of a frame's worth of them (10 MB for
// the largest boards) streaming through memory twice.
constexpr size_t kBatchVertices = 16384;
// Texel coordinates are 16-bit integers.
constexpr int kMaxPage = 32768;

const char* kVertex = R"(#version 330 core
layout(location = 0) in vec2 pos;
layout(location = 1) in vec2 uv;
layout(location = 2) in vec4 col;
uniform vec2 view;
uniform vec2 texel;
out vec2 vUv;
out vec4 vCol;
void main() {
    vUv = uv * texel;
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

double threadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Whether some pixel centre (k + 0.5) lies in [lo, hi] and inside [0, size]; a little wider than
// exact, so rounding can only keep a quad, never drop one that covers a pixel. NaN holds none.
inline bool holdsCentre(float lo, float hi, int size) {
    constexpr float eps = 1.0f / 64;
    float a = lo - eps, b = hi + eps;
    if (a < 0.5f) a = 0.5f;
    if (b > size - 0.5f) b = size - 0.5f;
    if (!(a <= b)) return false;
    // The first centre at or after a; a - 0.5 is not negative, so truncation is floor.
    const float x = a - 0.5f;
    int k = static_cast<int>(x);
    if (static_cast<float>(k) < x) ++k;
    return static_cast<float>(k) + 0.5f <= b;
}

inline bool meets(float al, float at, float ar, float ab, float bl, float bt, float br, float bb) {
    return al <= br && bl <= ar && at <= bb && bt <= ab;
}

// The non-zero texels of a premultiplied w x h picture as fractions of its size, widened by the
// filter's reach and held to the picture.
void nonZeroBox(const uint8_t* pm, int w, int h, float& x0, float& y0, float& x1, float& y1) {
    int l = w, t = h, r = -1, b = -1;
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(pm + static_cast<size_t>(y) * w * 4);
        for (int x = 0; x < w; ++x)
            if (row[x]) {
                l = std::min(l, x);
                r = std::max(r, x);
                t = std::min(t, y);
                b = std::max(b, y);
            }
    }
    if (r < 0) {
        x0 = y0 = 1;
        x1 = y1 = 0;
        return;
    }
    x0 = static_cast<float>(std::max(0, l - kReach)) / w;
    x1 = static_cast<float>(std::min(w, r + 1 + kReach)) / w;
    y0 = static_cast<float>(std::max(0, t - kReach)) / h;
    y1 = static_cast<float>(std::min(h, b + 1 + kReach)) / h;
}

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
    locTexel_ = program_->uniformLocation("texel");
    locTex_ = program_->uniformLocation("tex");
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
    glVertexAttribPointer(1, 2, GL_UNSIGNED_SHORT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, u)));
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, rgba)));
    vao_.release();
    return true;
}

void GLRenderer::release() {
    for (auto& p : pages_)
        if (p.tex) glDeleteTextures(1, &p.tex);
    pages_.clear();
    entries_.clear();
    entryList_.clear();
    imageFrames_.clear();
    forgetLook();
    fontGlyphs_.clear();
    otherGlyphs_.clear();
    normal_.n = light_.n = 0;
    clearGlow();
    batchPage_ = -1;
    dropStamps();
    if (vbo_.isCreated()) vbo_.destroy();
    if (ibo_.isCreated()) ibo_.destroy();
    if (vao_.isCreated()) vao_.destroy();
    delete program_;
    program_ = nullptr;
    indexCapacity_ = 0;
}

void GLRenderer::beginFrame(unsigned fbo, int w, int h) {
    // Whatever a previous frame left pending belongs to its target.
    flush();
    viewW_ = std::max(1, w);
    viewH_ = std::max(1, h);
    viewWf_ = static_cast<float>(viewW_);
    viewHf_ = static_cast<float>(viewH_);
    drawCalls_ = 0;
    quadsTotal_ = 0;
    dropped_ = 0;
    stampsDrawn_ = 0;
    uploadMs_ = issueMs_ = 0;
    cellsX_ = (viewW_ + kCell - 1) / kCell;
    cellsY_ = (viewH_ + kCell - 1) / kCell;
    words_ = (cellsX_ + 63) / 64;
    glow_.assign(static_cast<size_t>(words_) * cellsY_, 0);
    glowTop_ = cellsY_;
    glowBottom_ = -1;
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
    // Entries are padded by four texels on a grid of four: beyond mip level 2 neighbours would
    // bleed into each other.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 2);
    // The white patch for rectangles, lines and pixels, then the packer starts beside it.
    std::vector<uint8_t> white(static_cast<size_t>(kWhite) * kWhite * 4, 255);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWhite, kWhite, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
    p.cx = kWhite + kPad;
    p.shelf = kWhite;
    p.dirty = true;
    pages_.push_back(p);
    return static_cast<int>(pages_.size()) - 1;
}

int GLRenderer::upload(const Key& key, int w, int h, const uint8_t* premul) {
    const int pw = w + 2 * kPad, ph = h + 2 * kPad;
    const int need = std::max(pw, ph) + kWhite + kPad + kAlign;
    if (need > kMaxPage) {
        entries_.emplace(key, -1);
        return -1;
    }
    auto align = [](int v) { return (v + kAlign - 1) / kAlign * kAlign; };
    auto fits = [&](Page& p) {
        p.cx = align(p.cx);
        if (p.cx + pw > p.size) {
            p.cy = align(p.cy + p.shelf);
            p.cx = 0;
            p.shelf = 0;
        }
        return p.cx + pw <= p.size && p.cy + ph <= p.size;
    };
    int page = -1;
    // Try the last page's shelves; start a new page (or one of its own for a huge picture).
    if (!pages_.empty() && fits(pages_.back())) page = static_cast<int>(pages_.size()) - 1;
    if (page < 0) {
        int size = kPageSize;
        while (size < need) size *= 2;
        page = newPage(size);
        fits(pages_[page]);
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
    e.u0 = static_cast<uint16_t>(p.cx + kPad);
    e.v0 = static_cast<uint16_t>(p.cy + kPad);
    e.u1 = static_cast<uint16_t>(p.cx + kPad + w);
    e.v1 = static_cast<uint16_t>(p.cy + kPad + h);
    nonZeroBox(premul, w, h, e.nzx0, e.nzy0, e.nzx1, e.nzy1);
    p.cx += pw;
    p.shelf = std::max(p.shelf, ph);
    entryList_.push_back(e);
    const int index = static_cast<int>(entryList_.size()) - 1;
    entries_.emplace(key, index);
    return index;
}

int GLRenderer::imageEntry(const Image* img, int frame) {
    forgetLook();
    const uint64_t id = img->id();
    std::vector<int>* frames = nullptr;
    if (id < (1u << 16)) {
        if (imageFrames_.size() <= id) imageFrames_.resize(id + 1);
        frames = &imageFrames_[id];
        if (static_cast<size_t>(frame) < frames->size() && (*frames)[frame] != -2) return (*frames)[frame];
    }
    const Key key{id, static_cast<uint32_t>(frame), 0};
    int index;
    if (auto it = entries_.find(key); it != entries_.end()) {
        index = it->second;
    } else {
        const auto& px = img->framePixels(frame);
        const int w = img->frameWidth(), h = img->frameHeight();
        if (px.empty() || w <= 0 || h <= 0) {
            index = -1;
            entries_.emplace(key, -1);
        } else {
            std::vector<uint8_t> pm(px.size());
            for (size_t i = 0; i + 3 < px.size(); i += 4) {
                const unsigned a = px[i + 3];
                pm[i] = static_cast<uint8_t>((px[i] * a + 127) / 255);
                pm[i + 1] = static_cast<uint8_t>((px[i + 1] * a + 127) / 255);
                pm[i + 2] = static_cast<uint8_t>((px[i + 2] * a + 127) / 255);
                pm[i + 3] = static_cast<uint8_t>(a);
            }
            index = upload(key, w, h, pm.data());
        }
    }
    if (frames) {
        if (frames->size() <= static_cast<size_t>(frame)) frames->resize(frame + 1, -2);
        (*frames)[frame] = index;
    }
    return index;
}

int GLRenderer::glyphEntry(const ImageFont* font, uint32_t cp, const Glyph& g) {
    const Key key{font->id(), cp, 1};
    if (auto it = entries_.find(key); it != entries_.end()) return it->second;
    if (g.w <= 0 || g.h <= 0) return -1;
    std::vector<uint8_t> pm(static_cast<size_t>(g.w) * g.h * 4);
    for (size_t i = 0; i < g.alpha.size() && i * 4 < pm.size(); ++i) std::fill_n(&pm[i * 4], 4, g.alpha[i]);
    return upload(key, g.w, g.h, pm.data());
}

const GLRenderer::GlyphSlot& GLRenderer::glyphSlot(const ImageFont* font, uint32_t cp) {
    GlyphSlot* slot;
    const uint64_t id = font->id();
    if (cp < 256 && id < (1u << 16)) {
        if (fontGlyphs_.size() <= id) fontGlyphs_.resize(id + 1);
        auto& table = fontGlyphs_[id];
        if (table.empty()) table.resize(256);
        slot = &table[cp];
    } else {
        slot = &otherGlyphs_[Key{id, cp, 1}];
    }
    if (slot->entry == -2) {
        const Glyph& g = font->glyph(cp);
        slot->advance = g.advance;
        slot->left = g.left;
        slot->top = g.top;
        slot->entry = glyphEntry(font, cp, g);
    }
    return *slot;
}

void GLRenderer::setBlendState(BlendMode mode) {
    glEnable(GL_BLEND);
    switch (mode) {
        case BlendMode::Alpha: glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); break;
        case BlendMode::Light: glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE); break;
        case BlendMode::Shade: glBlendFuncSeparate(GL_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); break;
        case BlendMode::Mask:
        case BlendMode::Solid: glBlendFuncSeparate(GL_ONE, GL_ZERO, GL_ZERO, GL_ONE); break;
    }
    program_->setUniformValue(locMode_, mode == BlendMode::Mask ? 1 : mode == BlendMode::Solid ? 2 : 0);
}

void GLRenderer::submit(Batch& b, BlendMode mode) {
    const int quads = static_cast<int>(b.n / 4);
    b.n = 0;
    if (!program_ || quads == 0 || batchPage_ < 0) return;
    if (dryRun_) {
        ++drawCalls_;
        quadsTotal_ += quads;
        return;
    }
    const double t0 = timing_ ? threadCpuMs() : 0;
    Page& p = pages_[batchPage_];
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, p.tex);
    if (p.dirty) {
        glGenerateMipmap(GL_TEXTURE_2D);
        p.dirty = false;
    }
    program_->bind();
    program_->setUniformValue(locView_, static_cast<float>(viewW_), static_cast<float>(viewH_));
    program_->setUniformValue(locTexel_, 1.0f / p.size, 1.0f / p.size);
    program_->setUniformValue(locTex_, 0);
    setBlendState(mode);
    vao_.bind();
    vbo_.bind();
    const double t1 = timing_ ? threadCpuMs() : 0;
    // Orphan the buffer each submission so the driver never waits for the previous draw.
    vbo_.allocate(b.v.get(), static_cast<int>(static_cast<size_t>(quads) * 4 * sizeof(Vertex)));
    const double t2 = timing_ ? threadCpuMs() : 0;
    ibo_.bind();
    if (quads > indexCapacity_) {
        int cap = std::max(4096, indexCapacity_);
        while (cap < quads) cap *= 2;
        std::vector<uint32_t> idx(static_cast<size_t>(cap) * 6);
        for (uint32_t q = 0; q < static_cast<uint32_t>(cap); ++q) {
            const uint32_t v = q * 4;
            uint32_t* d = &idx[static_cast<size_t>(q) * 6];
            d[0] = v; d[1] = v + 1; d[2] = v + 2; d[3] = v; d[4] = v + 2; d[5] = v + 3;
        }
        ibo_.allocate(idx.data(), static_cast<int>(idx.size() * sizeof(uint32_t)));
        indexCapacity_ = cap;
    }
    glDrawElements(GL_TRIANGLES, quads * 6, GL_UNSIGNED_INT, nullptr);
    vao_.release();
    ++drawCalls_;
    quadsTotal_ += quads;
    if (timing_) {
        const double t3 = threadCpuMs();
        uploadMs_ += t2 - t1;
        issueMs_ += (t1 - t0) + (t3 - t2);
    }
}

void GLRenderer::flush() {
    // Normal quads first: those that came after a pending light quad never share a pixel with it.
    submit(normal_, batchBlend_);
    submit(light_, BlendMode::Light);
    clearGlow();
}

void GLRenderer::clear() {
    if (!program_) return;
    if (recording_) spoilRecording();
    flush();
    if (dryRun_) return;
    glClearColor(std::clamp(cr_, 0, 255) / 255.f, std::clamp(cg_, 0, 255) / 255.f, std::clamp(cb_, 0, 255) / 255.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

uint32_t GLRenderer::repackColour() {
    lastR_ = r_, lastG_ = g_, lastB_ = b_, lastA_ = alpha_;
    const double a = std::clamp(alpha_, 0.0, 1.0) * 255 + 0.5;
    lastPacked_ = static_cast<uint32_t>(to8(r_)) | static_cast<uint32_t>(to8(g_)) << 8 |
                  static_cast<uint32_t>(to8(b_)) << 16 | static_cast<uint32_t>(static_cast<int>(a)) << 24;
    return lastPacked_;
}

void GLRenderer::clearGlow() {
    if (glowTop_ <= glowBottom_)
        std::fill(glow_.begin() + static_cast<ptrdiff_t>(glowTop_) * words_,
                  glow_.begin() + static_cast<ptrdiff_t>(glowBottom_ + 1) * words_, 0);
    glowTop_ = cellsY_;
    glowBottom_ = -1;
}

[[gnu::always_inline]] inline bool GLRenderer::cellSpan(const Box& b, int& x0, int& y0, int& x1, int& y1) const {
    // Boxes are closed: one that touches the target's edge counts as inside. NaN fails here.
    if (!(b.r >= 0 && b.b >= 0 && b.l <= viewW_ && b.t <= viewH_) || glow_.empty()) return false;
    // Held to the target before the conversion: far-off coordinates cannot overflow an int, and
    // truncation of a value that is not negative is its floor.
    x0 = b.l > 0 ? static_cast<int>(b.l) / kCell : 0;
    y0 = b.t > 0 ? static_cast<int>(b.t) / kCell : 0;
    x1 = b.r < viewW_ ? static_cast<int>(b.r) / kCell : cellsX_ - 1;
    y1 = b.b < viewH_ ? static_cast<int>(b.b) / kCell : cellsY_ - 1;
    return true;
}

namespace {
// Bits a..b (0 <= a <= b <= 63) of a word.
inline uint64_t bitRange(int a, int b) { return (~0ull << a) & (~0ull >> (63 - b)); }
}  // namespace

[[gnu::always_inline]] inline bool GLRenderer::meetsLight(const Box& b) const {
    int x0, y0, x1, y1;
    if (!cellSpan(b, x0, y0, x1, y1)) return false;
    y0 = std::max(y0, glowTop_);
    y1 = std::min(y1, glowBottom_);
    const int w0 = x0 >> 6, w1 = x1 >> 6;
    if (w0 == w1) [[likely]] {
        // The common case: a quad of a few cells, all in one word of each row.
        const uint64_t m = bitRange(x0 & 63, x1 & 63);
        const uint64_t* p = glow_.data() + static_cast<size_t>(w0);
        uint64_t any = 0;
        for (int y = y0; y <= y1; ++y) any |= p[static_cast<size_t>(y) * words_];
        return (any & m) != 0;
    }
    return meetsLightWide(x0, y0, x1, y1);
}

[[gnu::always_inline]] inline bool GLRenderer::meetsLightInside(float l, float t, float r, float b) const {
    // Widened by a pixel as meetsLight widens it. A quad that passed covers() but is not inside
    // the target (a small one near an edge) goes the general way.
    if (!((l >= 0) & (t >= 0) & (r <= viewWf_) & (b <= viewHf_)) || glow_.empty()) [[unlikely]]
        return meetsLight(Box{l - 1, t - 1, r + 1, b + 1});
    // l - 1 >= -1 truncates to 0 or -1; r + 1 <= size + 1 lands at most one cell past the last.
    static_assert(kCell == 8);  // the shifts below divide by it (every value is not negative)
    const int x0 = std::max(0, static_cast<int>(l - 1)) >> 3, x1 = std::min(cellsX_ - 1, static_cast<int>(r + 1) >> 3);
    const int y0 = std::max(glowTop_, std::max(0, static_cast<int>(t - 1)) >> 3);
    const int y1 = std::min(glowBottom_, static_cast<int>(b + 1) >> 3);
    const int w0 = x0 >> 6, w1 = x1 >> 6;
    if (w0 != w1) [[unlikely]]
        return meetsLightWide(x0, y0, x1, y1);
    const uint64_t m = bitRange(x0 & 63, x1 & 63);
    const uint64_t* p = glow_.data() + static_cast<size_t>(w0);
    uint64_t any = 0;
    for (int y = y0; y <= y1; ++y) any |= p[static_cast<size_t>(y) * words_];
    return (any & m) != 0;
}

bool GLRenderer::meetsLightWide(int x0, int y0, int x1, int y1) const {
    const int w0 = x0 >> 6, w1 = x1 >> 6;
    for (int y = y0; y <= y1; ++y) {
        const uint64_t* row = &glow_[static_cast<size_t>(y) * words_];
        for (int w = w0; w <= w1; ++w)
            if (row[w] & bitRange(w == w0 ? x0 & 63 : 0, w == w1 ? x1 & 63 : 63)) return true;
    }
    return false;
}

void GLRenderer::markLight(const Box& b) {
    int x0, y0, x1, y1;
    if (!cellSpan(b, x0, y0, x1, y1)) return;
    glowTop_ = std::min(glowTop_, y0);
    glowBottom_ = std::max(glowBottom_, y1);
    const int w0 = x0 >> 6, w1 = x1 >> 6;
    for (int y = y0; y <= y1; ++y) {
        uint64_t* row = &glow_[static_cast<size_t>(y) * words_];
        for (int w = w0; w <= w1; ++w) row[w] |= bitRange(w == w0 ? x0 & 63 : 0, w == w1 ? x1 & 63 : 63);
    }
}

void GLRenderer::Batch::grow() {
    // Vertices are plain data: the new room needs no clearing, it is written before it is read.
    const size_t c = std::max<size_t>(cap * 2, 4096);
    std::unique_ptr<Vertex[]> nv(new Vertex[c]);
    if (n) std::copy_n(v.get(), n, nv.get());
    v = std::move(nv);
    cap = c;
}

GLRenderer::Batch& GLRenderer::batchFor(int page, const float cx[4], const float cy[4], float l, float t, float r,
                                        float b, const Entry* e) {
    if (page != batchPage_) {
        flush();
        batchPage_ = page;
    }
    if (blend_ == BlendMode::Light && !plain_) {
        // Where this quad can change pixels: the frame's non-zero texels, placed like the quad.
        float fx0 = 0, fy0 = 0, fx1 = 1, fy1 = 1;
        if (e) fx0 = e->nzx0, fy0 = e->nzy0, fx1 = e->nzx1, fy1 = e->nzy1;
        if (fx0 <= fx1 && fy0 <= fy1) {
            const float ax = cx[1] - cx[0], ay = cy[1] - cy[0], bx = cx[3] - cx[0], by = cy[3] - cy[0];
            float bl = cx[0], bt = cy[0], br = cx[0], bb = cy[0];
            const float fs[2] = {fx0, fx1}, gs[2] = {fy0, fy1};
            bool first = true;
            for (float f : fs)
                for (float g : gs) {
                    const float px = cx[0] + f * ax + g * bx, py = cy[0] + f * ay + g * by;
                    if (first) {
                        bl = br = px;
                        bt = bb = py;
                        first = false;
                    } else {
                        bl = std::min(bl, px);
                        br = std::max(br, px);
                        bt = std::min(bt, py);
                        bb = std::max(bb, py);
                    }
                }
            markLight(Box{bl - 1, bt - 1, br + 1, bb + 1});
        }
        return light_;
    }
    if (blend_ != batchBlend_) {
        flush();
        batchBlend_ = blend_;
    } else if (light_.n && meetsLight(Box{l - 1, t - 1, r + 1, b + 1})) {
        flush();
    }
    return normal_;
}

inline bool GLRenderer::covers(float l, float t, float r, float b) {
    // A quad at least a pixel wide and high inside the target surely holds a pixel centre; the
    // others are looked at closely. NaN corners fail every comparison: such a quad covers nothing.
    // (Evaluated without branches: nearly every quad is the sure kind.)
    const bool surely = (r - l >= 1) & (b - t >= 1) & (l >= 0) & (t >= 0) & (r <= viewWf_) & (b <= viewHf_);
    if (surely || plain_ || (holdsCentre(l, r, viewW_) && holdsCentre(t, b, viewH_))) [[likely]] return true;
    ++dropped_;
    return false;
}

void GLRenderer::addQuad(int page, const float cx[4], const float cy[4], const Entry* e, uint16_t u0, uint16_t v0,
                         uint16_t u1, uint16_t v1) {
    const float l = std::min(std::min(cx[0], cx[1]), std::min(cx[2], cx[3]));
    const float r = std::max(std::max(cx[0], cx[1]), std::max(cx[2], cx[3]));
    const float t = std::min(std::min(cy[0], cy[1]), std::min(cy[2], cy[3]));
    const float b = std::max(std::max(cy[0], cy[1]), std::max(cy[2], cy[3]));
    if (!covers(l, t, r, b)) return;
    Batch* into = &normal_;
    // As in axisQuad: a normal quad continuing the batch only checks the pending glow.
    if ((page == batchPage_) & (blend_ == batchBlend_) & (blend_ != BlendMode::Light) & !plain_) [[likely]] {
        if (light_.n && meetsLightInside(l, t, r, b)) flush();
    } else {
        into = &batchFor(page, cx, cy, l, t, r, b, e);
    }
    if (into->n >= kBatchVertices) [[unlikely]] flush();
    // Plain mode packs the colour afresh for every quad: the reference the kept one is tested by.
    const uint32_t c = plain_ ? repackColour() : packedColour();
    Vertex* v = into->push4();
    v[0] = Vertex{cx[0], cy[0], u0, v0, c};
    v[1] = Vertex{cx[1], cy[1], u1, v0, c};
    v[2] = Vertex{cx[2], cy[2], u1, v1, c};
    v[3] = Vertex{cx[3], cy[3], u0, v1, c};
}

[[gnu::always_inline]] inline void GLRenderer::axisQuad(int page, const Entry* e, uint16_t u0, uint16_t v0, uint16_t u1, uint16_t v1, float x0,
                                 float y0, float x1, float y1, uint32_t c) {
    const float l = std::min(x0, x1), r = std::max(x0, x1), t = std::min(y0, y1), b = std::max(y0, y1);
    if (!covers(l, t, r, b)) return;
    Batch* into = &normal_;
    // The common case, a normal quad continuing the batch: only pending glow can force a
    // submission first (light_ is always empty in plain mode).
    if ((page == batchPage_) & (blend_ == batchBlend_) & (blend_ != BlendMode::Light)) [[likely]] {
        if (light_.n && meetsLightInside(l, t, r, b)) flush();
    } else {
        const float cx[4] = {x0, x1, x1, x0}, cy[4] = {y0, y0, y1, y1};
        into = &batchFor(page, cx, cy, l, t, r, b, e);
    }
    if (into->n >= kBatchVertices) [[unlikely]] flush();
    Vertex* v = into->push4();
    v[0] = Vertex{x0, y0, u0, v0, c};
    v[1] = Vertex{x1, y0, u1, v0, c};
    v[2] = Vertex{x1, y1, u1, v1, c};
    v[3] = Vertex{x0, y1, u0, v1, c};
}

inline void GLRenderer::quad(const Entry& e, double ax, double ay, double hx, double hy, double w, double h, double sx,
                             double sy) {
    // Local corners (-hx, -hy) .. (w - hx, h - hy), scaled, rotated about the anchor.
    const double x0 = -hx * sx, y0 = -hy * sy, x1 = (w - hx) * sx, y1 = (h - hy) * sy;
    if (rot_ == 0 && !plain_) {
        if (recording_) [[unlikely]] recordQuad(e.page, e, ax, ay, x0, y0, x1, y1);
        axisQuad(e.page, &e, e.u0, e.v0, e.u1, e.v1, static_cast<float>(ax + x0), static_cast<float>(ay + y0),
                 static_cast<float>(ax + x1), static_cast<float>(ay + y1), packedColour());
        return;
    }
    if (recording_) spoilRecording();
    double c, s;
    rotation(c, s);
    float cx[4], cy[4];
    const double lx[4] = {x0, x1, x1, x0}, ly[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        cx[i] = static_cast<float>(ax + lx[i] * c - ly[i] * s);
        cy[i] = static_cast<float>(ay + lx[i] * s + ly[i] * c);
    }
    addQuad(e.page, cx, cy, &e, e.u0, e.v0, e.u1, e.v1);
}

void GLRenderer::rotation(double& c, double& s) {
    // A wire draws its three frames at one angle: the sine and cosine are worked out once (afresh
    // for every quad in plain mode).
    if (rot_ != trigRot_ || plain_) {
        const double rad = rot_ * (M_PI / 180.0);
        trigCos_ = std::cos(rad);
        trigSin_ = std::sin(rad);
        trigRot_ = rot_;
    }
    c = trigCos_;
    s = trigSin_;
}

void GLRenderer::whiteQuad(const double xs[4], const double ys[4]) {
    if (pages_.empty()) newPage(kPageSize);
    const float cx[4] = {static_cast<float>(xs[0]), static_cast<float>(xs[1]), static_cast<float>(xs[2]),
                         static_cast<float>(xs[3])};
    const float cy[4] = {static_cast<float>(ys[0]), static_cast<float>(ys[1]), static_cast<float>(ys[2]),
                         static_cast<float>(ys[3])};
    // The middle of the white patch: every mip level samples white there.
    constexpr uint16_t w = kWhite / 2;
    addQuad(batchPage_ >= 0 ? batchPage_ : 0, cx, cy, nullptr, w, w, w, w);
}

inline void GLRenderer::whiteAxisQuad(double x0, double y0, double x1, double y1) {
    if (pages_.empty()) newPage(kPageSize);
    constexpr uint16_t w = kWhite / 2;
    axisQuad(batchPage_ >= 0 ? batchPage_ : 0, nullptr, w, w, w, w, static_cast<float>(x0), static_cast<float>(y0),
             static_cast<float>(x1), static_cast<float>(y1), packedColour());
}

void GLRenderer::drawImageParts(const Image* img, const ImagePart* parts, int n) {
    if (!program_ || !img) return;
    if (plain_) {
        Renderer::drawImageParts(img, parts, n);
        return;
    }
    constexpr int kMaxParts = 16;
    const bool rotated = rot_ != 0;
    double c = 1, s = 0;
    if (rotated) rotation(c, s);
    const double hx = img->handleX(), hy = img->handleY();
    const int frames = img->frameCount();
    // Unrotated parts are gathered first: when all of them lie inside the target on the page and
    // blend mode of the batch, the checks run once for the box around them all.
    const bool gather = !rotated && n <= kMaxParts;
    // The parts' atlas entries by index: looking up a later part may upload its frame, and the
    // entry list may then move (entries are only ever appended).
    size_t es[kMaxParts];
    float qx0[kMaxParts], qy0[kMaxParts], qx1[kMaxParts], qy1[kMaxParts];
    int k = 0;
    float l = std::numeric_limits<float>::infinity(), t = l, r = -l, b = -l, sum = 0;
    bool samePage = true;
    for (int i = 0; i < n; ++i) {
        const ImagePart& p = parts[i];
        if (p.frame < 0 || p.frame >= frames) continue;
        const Entry* e = entryOf(img, p.frame);
        if (!e) continue;
        double sx = p.sx, sy = p.sy;
        if (p.stretch) {
            // Stretched to no width or height (a body's middle when its corners meet), the quad
            // has no area and the rasteriser gives it no fragment.
            if (e->w <= 0 || e->h <= 0 || p.w == 0 || p.h == 0) continue;
            sx = p.sx * (p.w / e->w);
            sy = p.sy * (p.h / e->h);
        }
        // The arithmetic of quad(), step for step, so the corners come out the same.
        const double w = e->w, h = e->h;
        const double x0 = -hx * sx, y0 = -hy * sy, x1 = (w - hx) * sx, y1 = (h - hy) * sy;
        if (recording_) [[unlikely]] {
            if (rotated)
                spoilRecording();
            else
                recordQuad(e->page, *e, p.x, p.y, x0, y0, x1, y1);
        }
        if (gather) {
            const float X0 = static_cast<float>(p.x + x0), Y0 = static_cast<float>(p.y + y0);
            const float X1 = static_cast<float>(p.x + x1), Y1 = static_cast<float>(p.y + y1);
            es[k] = static_cast<size_t>(e - entryList_.data()), qx0[k] = X0, qy0[k] = Y0, qx1[k] = X1, qy1[k] = Y1;
            ++k;
            l = std::min(l, std::min(X0, X1)), r = std::max(r, std::max(X0, X1));
            t = std::min(t, std::min(Y0, Y1)), b = std::max(b, std::max(Y0, Y1));
            sum += (X0 + X1) + (Y0 + Y1);  // NaN or infinite when any corner is
            samePage &= e->page == batchPage_;
            continue;
        }
        if (!rotated) {
            axisQuad(e->page, e, e->u0, e->v0, e->u1, e->v1, static_cast<float>(p.x + x0),
                     static_cast<float>(p.y + y0), static_cast<float>(p.x + x1), static_cast<float>(p.y + y1),
                     packedColour());
            continue;
        }
        float cx[4], cy[4];
        const double lx[4] = {x0, x1, x1, x0}, ly[4] = {y0, y0, y1, y1};
        for (int j = 0; j < 4; ++j) {
            cx[j] = static_cast<float>(p.x + lx[j] * c - ly[j] * s);
            cy[j] = static_cast<float>(p.y + lx[j] * s + ly[j] * c);
        }
        addQuad(e->page, cx, cy, e, e->u0, e->v0, e->u1, e->v1);
    }
    if (k == 0) return;
    const bool together = samePage & std::isfinite(sum) & (l >= 0) & (t >= 0) & (r <= viewWf_) & (b <= viewHf_) &
                          (blend_ == batchBlend_) & (blend_ != BlendMode::Light);
    if (!together) {
        for (int i = 0; i < k; ++i) {
            const Entry& e = entryList_[es[i]];
            axisQuad(e.page, &e, e.u0, e.v0, e.u1, e.v1, qx0[i], qy0[i], qx1[i], qy1[i], packedColour());
        }
        return;
    }
    // None is dropped: a part inside the target too thin to hold a pixel centre gets no fragment
    // from the rasteriser either. Pending glow under any part submits everything before the
    // first one; the parts before the one that meets it do not meet it, so their order against
    // the glow changes nothing. The batch is handed over before it would overflow.
    if (light_.n && meetsLightInside(l, t, r, b)) flush();
    if (normal_.n + 4 * static_cast<size_t>(k) > kBatchVertices) flush();
    const uint32_t col = packedColour();
    Vertex* v = normal_.push(4 * static_cast<size_t>(k));
    for (int i = 0; i < k; ++i, v += 4) {
        const Entry& e = entryList_[es[i]];
        v[0] = Vertex{qx0[i], qy0[i], e.u0, e.v0, col};
        v[1] = Vertex{qx1[i], qy0[i], e.u1, e.v0, col};
        v[2] = Vertex{qx1[i], qy1[i], e.u1, e.v1, col};
        v[3] = Vertex{qx0[i], qy1[i], e.u0, e.v1, col};
    }
}

void GLRenderer::drawImage(const Image* img, double x, double y, int frame) {
    if (!program_ || !img || frame < 0 || frame >= img->frameCount()) return;
    const Entry* e = entryOf(img, frame);
    if (!e) return;
    quad(*e, x, y, img->handleX(), img->handleY(), e->w, e->h, sx_, sy_);
}

void GLRenderer::drawImageRect(const Image* img, double x, double y, double w, double h, int frame) {
    if (!program_ || !img || frame < 0 || frame >= img->frameCount()) return;
    const Entry* e = entryOf(img, frame);
    if (!e || e->w <= 0 || e->h <= 0) return;
    const double fx = w / e->w, fy = h / e->h;
    quad(*e, x, y, img->handleX(), img->handleY(), e->w, e->h, sx_ * fx, sy_ * fy);
}

void GLRenderer::drawRect(double x, double y, double w, double h) {
    if (!program_) return;
    if (recording_) spoilRecording();
    if (rot_ == 0 && !plain_) {
        whiteAxisQuad(x, y, x + w * sx_, y + h * sy_);
        return;
    }
    double c, s;
    rotation(c, s);
    double xs[4], ys[4];
    const double lx[4] = {0, w * sx_, w * sx_, 0}, ly[4] = {0, 0, h * sy_, h * sy_};
    for (int i = 0; i < 4; ++i) {
        xs[i] = x + lx[i] * c - ly[i] * s;
        ys[i] = y + lx[i] * s + ly[i] * c;
    }
    whiteQuad(xs, ys);
}

void GLRenderer::drawLine(double x1, double y1, double x2, double y2) {
    if (!program_) return;
    if (recording_) spoilRecording();
    double c = 1, s = 0;
    if (rot_ != 0) rotation(c, s);
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
    if (recording_) spoilRecording();
    if (!plain_) {
        whiteAxisQuad(x, y, x + 1, y + 1);
        return;
    }
    const double xs[4] = {x, x + 1, x + 1, x}, ys[4] = {y, y, y + 1, y + 1};
    whiteQuad(xs, ys);
}

void GLRenderer::drawText(const std::string& utf8, double x, double y) {
    if (!program_ || !font_) return;
    int pen = 0;
    auto one = [&](uint32_t cp) {
        const GlyphSlot& g = glyphSlot(font_, cp);
        if (g.entry >= 0) {
            const Entry& e = entryList_[g.entry];
            // The glyph's box starts at (pen + left, top) in text space: handle at minus that.
            quad(e, x, y, -(pen + g.left), -g.top, e.w, e.h, sx_, sy_);
        }
        pen += g.advance;
    };
    const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char ch) { return static_cast<uint8_t>(ch) < 0x80; });
    if (ascii) {
        for (char ch : utf8) one(static_cast<uint8_t>(ch));
    } else {
        for (size_t i = 0; i < utf8.size();) one(ImageFont::nextCodepoint(utf8, i));
    }
}

// --- stamps ---

void GLRenderer::beginStamp(double x, double y) {
    // Plain mode is the reference the short paths are checked against: it draws everything afresh.
    recording_ = program_ && !plain_;
    recordOk_ = true;
    recX_ = x;
    recY_ = y;
    recBlend_ = blend_;
    stampStart_ = stampQuads_.size();
}

int GLRenderer::endStamp() {
    if (!recording_) return -1;
    recording_ = false;
    if (!recordOk_ || stampStart_ > stampQuads_.size()) {
        stampQuads_.resize(std::min(stampStart_, stampQuads_.size()));
        return -1;
    }
    Stamp st;
    st.first = stampStart_;
    st.count = stampQuads_.size() - stampStart_;
    st.blend = recBlend_;
    if (st.count) {
        const StampQuad& q0 = stampQuads_[st.first];
        st.page = q0.page;
        st.boxL = st.boxR = q0.ax + q0.x0;
        st.boxT = st.boxB = q0.ay + q0.y0;
        for (size_t i = st.first; i < stampQuads_.size(); ++i) {
            const StampQuad& q = stampQuads_[i];
            if (q.page != st.page) st.page = -1;
            st.boxL = std::min({st.boxL, q.ax + q.x0, q.ax + q.x1});
            st.boxR = std::max({st.boxR, q.ax + q.x0, q.ax + q.x1});
            st.boxT = std::min({st.boxT, q.ay + q.y0, q.ay + q.y1});
            st.boxB = std::max({st.boxB, q.ay + q.y0, q.ay + q.y1});
        }
    }
    st.r = r_, st.g = g_, st.b = b_;
    st.alpha = alpha_, st.rot = rot_, st.sx = sx_, st.sy = sy_;
    st.endBlend = blend_;
    st.font = font_;
    stamps_.push_back(st);
    return static_cast<int>(stamps_.size()) - 1;
}

void GLRenderer::drawStamp(int stamp, double x, double y) {
    if (!program_ || stamp < 0 || static_cast<size_t>(stamp) >= stamps_.size()) return;
    const Stamp& st = stamps_[static_cast<size_t>(stamp)];
    blend_ = st.blend;
    // The anchor first, then the corner, as the recorded drawing added them.
    const StampQuad* q = stampQuads_.data() + st.first;
    // The common case: the picture lies inside the target (with a pixel to spare for rounding) and
    // continues the batch's page and blend mode. Then, as for parts drawn together, every quad goes
    // in (one inside the target too thin to hold a pixel centre gets no fragment either), pending
    // glow under the box submits everything before the first, and the batch is handed over
    // before it would overflow.
    const double l = x + st.boxL - 1, t = y + st.boxT - 1, r = x + st.boxR + 1, b = y + st.boxB + 1;
    if ((st.page == batchPage_) & (blend_ == batchBlend_) & (blend_ != BlendMode::Light) & (l >= 0) & (t >= 0) &
        (r <= viewW_) & (b <= viewH_) & (4 * st.count <= kBatchVertices)) [[likely]] {
        if (light_.n && meetsLightInside(static_cast<float>(l), static_cast<float>(t), static_cast<float>(r),
                                         static_cast<float>(b)))
            flush();
        if (normal_.n + 4 * st.count > kBatchVertices) flush();
        // A flush keeps the page and blend mode of the batch: the quads still continue it.
        Vertex* v = normal_.push(4 * st.count);
        for (size_t i = 0; i < st.count; ++i, ++q, v += 4) {
            const double ax = x + q->ax, ay = y + q->ay;
            const float x0 = static_cast<float>(ax + q->x0), y0 = static_cast<float>(ay + q->y0);
            const float x1 = static_cast<float>(ax + q->x1), y1 = static_cast<float>(ay + q->y1);
            v[0] = Vertex{x0, y0, q->u0, q->v0, q->rgba};
            v[1] = Vertex{x1, y0, q->u1, q->v0, q->rgba};
            v[2] = Vertex{x1, y1, q->u1, q->v1, q->rgba};
            v[3] = Vertex{x0, y1, q->u0, q->v1, q->rgba};
        }
    } else {
        for (size_t i = 0; i < st.count; ++i, ++q) {
            const double ax = x + q->ax, ay = y + q->ay;
            axisQuad(q->page, nullptr, q->u0, q->v0, q->u1, q->v1, static_cast<float>(ax + q->x0),
                     static_cast<float>(ay + q->y0), static_cast<float>(ax + q->x1),
                     static_cast<float>(ay + q->y1), q->rgba);
        }
    }
    r_ = st.r, g_ = st.g, b_ = st.b;
    alpha_ = st.alpha, rot_ = st.rot, sx_ = st.sx, sy_ = st.sy;
    blend_ = st.endBlend;
    font_ = st.font;
    ++stampsDrawn_;
}

void GLRenderer::dropStamps() {
    recording_ = false;
    stampQuads_.clear();
    stamps_.clear();
}

}  // namespace gw
