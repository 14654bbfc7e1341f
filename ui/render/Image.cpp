#include "ui/render/Image.h"

#include <atomic>

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

const std::vector<uint8_t>& Image::framePixels(int frame) const {
    static const std::vector<uint8_t> none;
    if (frame < 0 || frame >= frameCount()) return none;
    return frames_[frame];
}

}  // namespace gw
