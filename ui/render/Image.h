// A decoded picture cut into equal frames, the unit every renderer backend draws.
// Pixels are straight (non-premultiplied) RGBA8, rows top to bottom. Frames are cut from the
// picture row by row; frame i is cell i. The handle is the point of a frame placed at the drawing
// position: the top-left corner, or the frame's centre once setCentred(true) is called.
// Backends cache their own copy (texture, tinted QImage) keyed by id(), which is unique per image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gw {

class Image {
public:
    Image() = default;
    // A picture of w x h pixels (RGBA8, w*h*4 bytes) cut into cells of cw x ch, starting at cell
    // `first`, `count` cells. Cells that do not fit the picture are transparent.
    static std::shared_ptr<Image> fromPixels(int w, int h, std::vector<uint8_t> rgba, int cw, int ch,
                                             int first = 0, int count = 1);
    // Loads a PNG file with libpng. A picture without alpha gets black (0,0,0) made transparent
    // (the mask colour). Answers nullptr when the file is missing or not a readable PNG.
    static std::shared_ptr<Image> load(const std::string& path, int cw = 0, int ch = 0, int first = 0,
                                       int count = 1);
    // Width and height of a PNG file without keeping its pixels; false when unreadable.
    static bool probeSize(const std::string& path, int& w, int& h);

    int frameWidth() const { return frameW_; }
    int frameHeight() const { return frameH_; }
    int frameCount() const { return static_cast<int>(frames_.size()); }
    bool centred() const { return centred_; }
    void setCentred(bool c) { centred_ = c; }
    // Handle offset inside a frame, in frame pixels.
    double handleX() const { return centred_ ? frameW_ * 0.5 : 0.0; }
    double handleY() const { return centred_ ? frameH_ * 0.5 : 0.0; }
    // RGBA8 pixels of one frame (frameWidth*frameHeight*4 bytes); empty for a bad index.
    const std::vector<uint8_t>& framePixels(int frame) const;
    uint64_t id() const { return id_; }

private:
    int frameW_ = 0, frameH_ = 0;
    bool centred_ = false;
    std::vector<std::vector<uint8_t>> frames_;
    uint64_t id_ = 0;
    friend class ImageBuilder;
};

}  // namespace gw
