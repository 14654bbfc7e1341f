// FreeType rasterisation of the drawing font and the fixed box font of the tests.
#include "ui/render/ImageFont.h"

#include <algorithm>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <atomic>
#include <cmath>

namespace gw {

namespace {

std::atomic<uint64_t> nextFontId{1};

// One library per process is enough; FreeType objects are only touched from the GUI thread.
FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

// 26.6 fixed point to whole pixels, rounding up so the line height never clips descenders.
int ceil26_6(long v) { return static_cast<int>((v + 63) >> 6); }

}  // namespace

class FontBuilder {
public:
    static std::shared_ptr<ImageFont> make() {
        auto f = std::make_shared<ImageFont>();
        f->id_ = nextFontId++;
        return f;
    }
    static void setMetrics(ImageFont& f, int size, int line, int ascent, int fixedAdvance) {
        f.size_ = size;
        f.lineHeight_ = line;
        f.ascent_ = ascent;
        f.fixedAdvance_ = fixedAdvance;
    }
    static void setFace(ImageFont& f, std::shared_ptr<void> face) { f.face_ = std::move(face); }
};

std::shared_ptr<ImageFont> ImageFont::load(const std::string& path, int pixelSize) {
    if (path.empty() || pixelSize <= 0 || pixelSize > 512) return nullptr;
    FT_Library lib = library();
    if (!lib) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0 || !face) return nullptr;
    std::shared_ptr<void> holder(face, [](void* p) { FT_Done_Face(static_cast<FT_Face>(p)); });
    if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
        return nullptr;
    const FT_Size_Metrics& m = face->size->metrics;
    const int ascent = ceil26_6(m.ascender);
    const int descent = ceil26_6(-m.descender);
    auto f = FontBuilder::make();
    FontBuilder::setMetrics(*f, pixelSize, ascent + descent, ascent, -1);
    FontBuilder::setFace(*f, std::move(holder));
    return f;
}

std::shared_ptr<ImageFont> ImageFont::makeFixed(int advance, int height) {
    if (advance <= 0 || height <= 0) return nullptr;
    auto f = FontBuilder::make();
    FontBuilder::setMetrics(*f, height, height, height, advance);
    return f;
}

const Glyph& ImageFont::glyph(uint32_t cp) const {
    if (cp < 128 && ascii_[cp]) return *ascii_[cp];
    auto it = glyphs_.find(cp);
    if (it != glyphs_.end()) return it->second;
    Glyph g;
    if (fixedAdvance_ > 0) {
        // Box glyphs leave a one-pixel gap on the right so neighbouring letters stay apart;
        // spaces and control characters are blank but still advance.
        g.advance = fixedAdvance_;
        if (cp > 32) {
            g.w = fixedAdvance_ > 1 ? fixedAdvance_ - 1 : 1;
            g.h = lineHeight_;
            g.alpha.assign(static_cast<size_t>(g.w) * g.h, 255);
        }
    } else if (face_) {
        FT_Face face = static_cast<FT_Face>(face_.get());
        const FT_UInt index = FT_Get_Char_Index(face, cp);
        // Light hinting keeps stems crisp at 9 and 10 pixels without distorting shapes; the
        // rounded advance keeps text widths whole pixels in every backend.
        if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_RENDER) == 0) {
            FT_GlyphSlot slot = face->glyph;
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            const FT_Bitmap& bm = slot->bitmap;
            if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.width > 0 && bm.rows > 0) {
                g.w = static_cast<int>(bm.width);
                g.h = static_cast<int>(bm.rows);
                g.left = slot->bitmap_left;
                g.top = ascent_ - slot->bitmap_top;
                g.alpha.resize(static_cast<size_t>(g.w) * g.h);
                const int levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
                for (int y = 0; y < g.h; ++y) {
                    const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
                    for (int x = 0; x < g.w; ++x)
                        g.alpha[static_cast<size_t>(y) * g.w + x] =
                            static_cast<uint8_t>(levels == 255 ? row[x] : row[x] * 255 / levels);
                }
            }
        }
    }
    const Glyph& made = glyphs_.emplace(cp, std::move(g)).first->second;
    if (cp < 128) ascii_[cp] = &made;
    return made;
}

int ImageFont::textWidth(const std::string& utf8) const {
    int w = 0;
    // Titles and captions are mostly ASCII: measured without decoding into a list first.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; })) {
        for (char c : utf8) w += glyph(static_cast<uint8_t>(c)).advance;
        return w;
    }
    for (size_t i = 0; i < utf8.size();) w += glyph(nextCodepoint(utf8, i)).advance;
    return w;
}

int ImageFont::textHeight(const std::string& utf8) const { return utf8.empty() ? 0 : lineHeight_; }

uint32_t ImageFont::nextCodepoint(const std::string& s, size_t& i) {
    // Malformed sequences (stray continuation bytes, overlong forms, truncated tails, surrogates)
    // each become U+FFFD so that outside text can never make the decoder read past the end.
    const size_t n = s.size();
    const uint8_t c = static_cast<uint8_t>(s[i]);
    int len = 0;
    uint32_t cp = 0, min = 0;
    if (c < 0x80) { ++i; return c; }
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    else { ++i; return 0xFFFD; }
    int k = 1;
    for (; k < len && i + k < n; ++k) {
        const uint8_t cc = static_cast<uint8_t>(s[i + k]);
        if ((cc & 0xC0) != 0x80) break;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (k < len) { i += k; return 0xFFFD; }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    i += len;
    return cp;
}

std::vector<uint32_t> ImageFont::decodeUtf8(const std::string& s) {
    std::vector<uint32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out.push_back(nextCodepoint(s, i));
    return out;
}

}  // namespace gw
