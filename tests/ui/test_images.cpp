// PNG loading (frames, handles, the black mask, bad files), the loaded image set, and the image
// fonts (UTF-8, metrics, the fixed test font).
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ui/render/ImageFont.h"
#include "ui/render/Pics.h"

using namespace gw;
namespace fs = std::filesystem;

namespace {

fs::path tempDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("gw_images_" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// Writes a w x h PNG where pixel (x, y) has colour f(x, y); with or without an alpha channel.
template <class F>
std::string writePng(const std::string& name, int w, int h, bool alpha, F f) {
    const std::string path = (tempDir() / name).string();
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * (alpha ? 4 : 3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto c = f(x, y);
            uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * (alpha ? 4 : 3)];
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
            if (alpha) p[3] = c[3];
        }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    EXPECT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, px.data(), 0, nullptr));
    return path;
}

const uint8_t* pixel(const Image& img, int frame, int x, int y) {
    return &img.framePixels(frame)[(static_cast<size_t>(y) * img.frameWidth() + x) * 4];
}

TEST(ImageLoad, CutsFramesRowByRow) {
    // 3 x 2 cells of 4 x 4; cell index encoded in red. Frames 1..4 must be cells 1..4.
    auto path = writePng("cells.png", 12, 8, true, [](int x, int y) {
        const int cell = (y / 4) * 3 + x / 4;
        return std::array<uint8_t, 4>{static_cast<uint8_t>(cell * 10), static_cast<uint8_t>(x % 4), 0, 255};
    });
    auto img = Image::load(path, 4, 4, 1, 4);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->frameCount(), 4);
    EXPECT_EQ(img->frameWidth(), 4);
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(pixel(*img, f, 0, 0)[0], (f + 1) * 10) << "frame " << f;
        EXPECT_EQ(pixel(*img, f, 3, 3)[1], 3);
    }
    // Cells past the picture are transparent rather than read out of bounds.
    auto over = Image::load(path, 4, 4, 5, 3);
    ASSERT_TRUE(over);
    EXPECT_EQ(pixel(*over, 0, 0, 0)[0], 50);
    EXPECT_EQ(pixel(*over, 1, 2, 2)[3], 0);
    EXPECT_EQ(pixel(*over, 2, 2, 2)[3], 0);
    // Without a cell size the whole picture is one frame.
    auto whole = Image::load(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->frameWidth(), 12);
    EXPECT_EQ(whole->frameHeight(), 8);
    EXPECT_FALSE(whole->centred());
    EXPECT_EQ(whole->handleX(), 0);
}

TEST(ImageLoad, BlackIsTheMaskOnlyWithoutAlpha) {
    auto dark = [](int x, int) {
        return std::array<uint8_t, 4>{0, 0, static_cast<uint8_t>(x == 1 ? 1 : 0), 255};
    };
    auto rgb = Image::load(writePng("rgb.png", 2, 1, false, dark));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(pixel(*rgb, 0, 0, 0)[3], 0);    // pure black: masked
    EXPECT_EQ(pixel(*rgb, 0, 1, 0)[3], 255);  // almost black: kept
    auto rgba = Image::load(writePng("rgba.png", 2, 1, true, dark));
    ASSERT_TRUE(rgba);
    EXPECT_EQ(pixel(*rgba, 0, 0, 0)[3], 255);  // the file's own alpha rules
}

TEST(ImageLoad, RefusesBadInput) {
    const fs::path d = tempDir();
    {
        std::ofstream(d / "text.png") << "not a picture at all";
        std::ofstream(d / "empty.png");
    }
    // A real PNG cut short in the middle of its pixel data.
    const std::string good = writePng("good.png", 64, 64, true, [](int x, int y) {
        return std::array<uint8_t, 4>{static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), 7, 255};
    });
    const auto size = fs::file_size(good);
    fs::copy_file(good, d / "cut.png", fs::copy_options::overwrite_existing);
    fs::resize_file(d / "cut.png", size / 2);

    for (const char* name : {"text.png", "empty.png", "cut.png", "missing.png"}) {
        EXPECT_EQ(Image::load((d / name).string()), nullptr) << name;
        EXPECT_EQ(TImageRect::Load((d / name).string()), nullptr) << name;
    }
    EXPECT_EQ(Image::load(""), nullptr);
    int w = -1, h = -1;
    EXPECT_FALSE(Image::probeSize((d / "text.png").string(), w, h));
    EXPECT_TRUE(Image::probeSize(good, w, h));
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
    // Absurd cell requests are refused instead of allocating without bound.
    EXPECT_EQ(Image::load(good, 4, 4, 0, 100000000), nullptr);
    EXPECT_EQ(Image::load(good, 4, 4, -1, 1), nullptr);
}

TEST(ImageLoad, FramedImageFromFile) {
    // 61 x 62 loads as 20 x 20 tiles; tile 4 (the middle) starts at source pixel (20, 20).
    auto path = writePng("frame.png", 61, 62, true, [](int x, int y) {
        return std::array<uint8_t, 4>{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0, 255};
    });
    auto fr = TImageRect::Load(path);
    ASSERT_TRUE(fr);
    EXPECT_EQ(fr->tilewidth, 20);
    EXPECT_EQ(fr->TileHeight, 20);
    EXPECT_EQ(pixel(*fr->image, 4, 0, 0)[0], 20);
    EXPECT_EQ(pixel(*fr->image, 4, 0, 0)[1], 20);
    EXPECT_EQ(pixel(*fr->image, 8, 19, 19)[0], 59);
    // Too small for a 3 x 3 cut.
    EXPECT_EQ(TImageRect::Load(writePng("tiny.png", 2, 9, true, [](int, int) {
                  return std::array<uint8_t, 4>{1, 1, 1, 255};
              })),
              nullptr);
}

TEST(ImageSet, LoadsEveryPictureWithItsFramesAndHandles) {
    // The generated data/ beside the test binary.
    auto p = Pics::Load("data");
    struct Slot {
        const char* name;
        std::shared_ptr<Image> img;
        int w, h, frames;
    } slots[] = {{"wire", p->wire, 5, 5, 3},         {"mark", p->mark, 9, 9, 1},
                 {"switch", p->swich, 40, 40, 8},    {"led", p->led, 40, 40, 4},
                 {"connections", p->connections, 20, 20, 5}, {"digital", p->digital, 100, 160, 8},
                 {"mode", p->mode, 20, 20, 7}};
    for (const auto& s : slots) {
        ASSERT_TRUE(s.img) << s.name;
        EXPECT_EQ(s.img->frameWidth(), s.w) << s.name;
        EXPECT_EQ(s.img->frameHeight(), s.h) << s.name;
        EXPECT_EQ(s.img->frameCount(), s.frames) << s.name;
        EXPECT_TRUE(s.img->centred()) << s.name;
        // No frame is blank: every picture was drawn into every cell.
        for (int f = 0; f < s.frames; ++f) {
            int opaque = 0;
            const auto& px = s.img->framePixels(f);
            for (size_t i = 3; i < px.size(); i += 4) opaque += px[i] > 0;
            EXPECT_GT(opaque, 0) << s.name << " frame " << f;
        }
    }
    ASSERT_TRUE(p->device && p->screenborder);
    EXPECT_FALSE(p->device->image->centred());
    EXPECT_EQ(p->device->image->frameCount(), 9);
    for (auto [f, size] : {std::pair{p->font24, 24}, {p->font14, 14}, {p->font9, 9}, {p->font10, 10}}) {
        ASSERT_TRUE(f) << size;
        EXPECT_EQ(f->pixelSize(), size);
    }
    // A folder without pictures leaves every slot empty and does not fail.
    auto none = Pics::Load((tempDir() / "nothing").string());
    EXPECT_FALSE(none->wire || none->device || none->font14 || none->mode);
}

TEST(ImageFontTest, DecodesUtf8AndSurvivesGarbage) {
    struct Case {
        std::string in;
        std::vector<uint32_t> out;
    } cases[] = {
        {"Ab", {'A', 'b'}},
        {"Z\xC3\xA4hler", {'Z', 0xE4, 'h', 'l', 'e', 'r'}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xC3", {0xFFFD}},                  // truncated
        {"\x80x", {0xFFFD, 'x'}},            // stray continuation
        {"\xC0\xAF", {0xFFFD}},              // overlong
        {"\xED\xA0\x80", {0xFFFD}},          // surrogate
        {"\xE2\x82" "A", {0xFFFD, 'A'}},     // broken in the middle
        {std::string("a\0b", 3), {'a', 0, 'b'}},
    };
    for (const auto& c : cases) EXPECT_EQ(ImageFont::decodeUtf8(c.in), c.out) << c.in;
}

TEST(ImageFontTest, MetricsOfTheDrawingFont) {
    auto f14 = ImageFont::load("data/font.ttf", 14);
    auto f24 = ImageFont::load("data/font.ttf", 24);
    ASSERT_TRUE(f14 && f24);
    EXPECT_EQ(f14->textWidth(""), 0);
    EXPECT_EQ(f14->textHeight(""), 0);
    // Line height covers ascent and descent: a bit more than the pixel size, never less.
    EXPECT_GE(f14->textHeight("x"), 14);
    EXPECT_LE(f14->textHeight("x"), 20);
    EXPECT_GT(f24->textHeight("x"), f14->textHeight("x"));
    // Widths add up glyph by glyph and grow with the size.
    EXPECT_EQ(f14->textWidth("ab"), f14->textWidth("a") + f14->textWidth("b"));
    EXPECT_GT(f24->textWidth("Zähler"), f14->textWidth("Zähler"));
    EXPECT_GT(f14->textWidth("Ü"), 0);
    // Glyphs are anti-aliased: some coverage between 0 and 255.
    const Glyph& g = f24->glyph('O');
    ASSERT_GT(g.w, 0);
    bool partial = false;
    for (uint8_t a : g.alpha) partial |= a > 0 && a < 255;
    EXPECT_TRUE(partial);
    EXPECT_GE(g.top, 0);
    EXPECT_LE(g.top + g.h, f24->textHeight("O"));
    // Not a font: refused.
    EXPECT_EQ(ImageFont::load("data/mark.png", 14), nullptr);
    EXPECT_EQ(ImageFont::load("data/font.ttf", 0), nullptr);
}

TEST(ImageFontTest, FixedFontForTests) {
    auto f = ImageFont::makeFixed(7, 14);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->textWidth("abc"), 21);
    EXPECT_EQ(f->textWidth("Zä"), 14);  // per code point, not per byte
    EXPECT_EQ(f->textHeight("abc"), 14);
    EXPECT_EQ(f->glyph(' ').w, 0);
    EXPECT_EQ(f->glyph('a').h, 14);
    EXPECT_EQ(ImageFont::makeFixed(0, 5), nullptr);
}

}  // namespace
