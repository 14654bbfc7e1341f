#include "ui/render/Image.h"

#include <png.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace gw {

namespace {
std::atomic<uint64_t> nextImageId{1};
}

class ImageBuilder {
public:
    static std::shared_ptr<Image> cut(int w, int h, const std::vector<uint8_t>& rgba, int cw, int ch,
                                      int first, int count) {
        if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0 || count <= 0 || first < 0 ||
            rgba.size() < static_cast<size_t>(w) * h * 4)
            return nullptr;
        // Frames are copies, so bound what a caller's cell size and count can make us allocate.
        if (first > (1 << 24) || count > (1 << 16) ||
            static_cast<uint64_t>(cw) * ch * count > 64ull * 1024 * 1024)
            return nullptr;
        auto img = std::make_shared<Image>();
        img->frameW_ = cw;
        img->frameH_ = ch;
        img->id_ = nextImageId++;
        const int perRow = w / cw;
        img->frames_.resize(count);
        for (int f = 0; f < count; ++f) {
            auto& px = img->frames_[f];
            px.assign(static_cast<size_t>(cw) * ch * 4, 0);
            const int cell = first + f;
            if (perRow <= 0) continue;
            const int cx = (cell % perRow) * cw, cy = (cell / perRow) * ch;
            for (int y = 0; y < ch; ++y) {
                if (cy + y >= h) break;
                for (int x = 0; x < cw; ++x) {
                    if (cx + x >= w) break;
                    const uint8_t* s = &rgba[(static_cast<size_t>(cy + y) * w + cx + x) * 4];
                    uint8_t* d = &px[(static_cast<size_t>(y) * cw + x) * 4];
                    d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; d[3] = s[3];
                }
            }
        }
        return img;
    }
};

std::shared_ptr<Image> Image::fromPixels(int w, int h, std::vector<uint8_t> rgba, int cw, int ch, int first,
                                         int count) {
    return ImageBuilder::cut(w, h, rgba, cw, ch, first, count);
}

namespace {

// Pictures larger than this are refused rather than allocated: no picture of the program comes
// near it, and a corrupt header must not make us reserve gigabytes.
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

// Reads the whole file as straight RGBA8. `hadAlpha` tells whether the file carries alpha (an
// alpha channel or a transparency chunk); libpng's simplified reader does its own error recovery.
bool decodePng(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba, bool& hadAlpha,
               bool headerOnly) {
    if (path.empty()) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    if (image.width == 0 || image.height == 0 || image.width > 65535 || image.height > 65535 ||
        static_cast<uint64_t>(image.width) * image.height > kMaxPixels) {
        png_image_free(&image);
        return false;
    }
    w = static_cast<int>(image.width);
    h = static_cast<int>(image.height);
    hadAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    if (headerOnly) {
        png_image_free(&image);
        return true;
    }
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        rgba.clear();
        return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<Image> Image::load(const std::string& path, int cw, int ch, int first, int count) {
    int w = 0, h = 0;
    bool hadAlpha = false;
    std::vector<uint8_t> rgba;
    if (!decodePng(path, w, h, rgba, hadAlpha, false)) return nullptr;
    // Pictures without alpha use black as the mask colour: black pixels become transparent.
    if (!hadAlpha) {
        for (size_t i = 0; i + 3 < rgba.size(); i += 4)
            if (rgba[i] == 0 && rgba[i + 1] == 0 && rgba[i + 2] == 0) rgba[i + 3] = 0;
    }
    if (cw <= 0) cw = w;
    if (ch <= 0) ch = h;
    return ImageBuilder::cut(w, h, rgba, cw, ch, first, count);
}

bool Image::probeSize(const std::string& path, int& w, int& h) {
    std::vector<uint8_t> none;
    bool hadAlpha = false;
    int pw = 0, ph = 0;
    if (!decodePng(path, pw, ph, none, hadAlpha, true)) return false;
    w = pw;
    h = ph;
    return true;
}

const std::vector<uint8_t>& Image::framePixels(int frame) const {
    static const std::vector<uint8_t> none;
    if (frame < 0 || frame >= frameCount()) return none;
    return frames_[frame];
}

}  // namespace gw
