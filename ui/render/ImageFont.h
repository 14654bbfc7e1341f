// A TrueType font rasterised with FreeType at one pixel size into anti-aliased glyph images.
// Text width and height come from here, never from a backend, so every backend measures alike.
// Text is UTF-8. Glyph bitmaps are alpha coverage; the renderer draws them in its current colour.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gw {

struct Glyph {
    int advance = 0;          // pen advance in pixels
    int left = 0, top = 0;    // bitmap offset from the pen position; top from the text's top edge
    int w = 0, h = 0;         // bitmap size
    std::vector<uint8_t> alpha;  // w*h coverage bytes
};

class ImageFont {
public:
    ImageFont() = default;
    // Not copied: the code-point table points into this font's own glyph map.
    ImageFont(const ImageFont&) = delete;
    ImageFont& operator=(const ImageFont&) = delete;

    // Rasterises `path` at `pixelSize`; nullptr when the file cannot be read as a font.
    static std::shared_ptr<ImageFont> load(const std::string& path, int pixelSize);
    // A font of fixed-size box glyphs, for tests that must not depend on a font file.
    static std::shared_ptr<ImageFont> makeFixed(int advance, int height);

    int pixelSize() const { return size_; }
    int textWidth(const std::string& utf8) const;
    int textHeight(const std::string& utf8) const;  // the font's line height; 0 for ""
    // The glyph of a code point (a box-free empty glyph for ones the font lacks).
    const Glyph& glyph(uint32_t cp) const;
    uint64_t id() const { return id_; }

    static std::vector<uint32_t> decodeUtf8(const std::string& s);
    // The code point starting at byte i (i < s.size()), moving i past it; malformed bytes give
    // U+FFFD as decodeUtf8 gives them.
    static uint32_t nextCodepoint(const std::string& s, size_t& i);

private:
    int size_ = 0, lineHeight_ = 0, ascent_ = 0;
    int fixedAdvance_ = -1;
    mutable std::map<uint32_t, Glyph> glyphs_;
    mutable const Glyph* ascii_[128] = {};  // glyphs_ entries of the first 128 code points, once made
    std::shared_ptr<void> face_;  // FreeType face kept for glyphs rendered on first use
    uint64_t id_ = 0;
    friend class FontBuilder;
};

}  // namespace gw
