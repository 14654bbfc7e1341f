// The program-wide image set drawn by the board and the device types, and the scalable framed
// images (TImageRect) that draw a picture cut 3 x 3 into a rectangle of any size, keeping the
// corners unstretched. Missing files leave their slot null; drawing with a null slot draws nothing.
#pragma once

#include <memory>
#include <string>

#include "ui/render/Image.h"
#include "ui/render/ImageFont.h"

namespace gw {

class Renderer;

class TImageRect {
public:
    std::shared_ptr<Image> image;  // nine frames, row by row: 0 top-left .. 8 bottom-right
    int tilewidth = 0;
    int TileHeight = 0;

    // nullptr for "" (the file system is not touched) or an unreadable file.
    static std::shared_ptr<TImageRect> Load(const std::string& path);
    // Built from an image already in memory (source size w x h); used by Load and by tests.
    static std::shared_ptr<TImageRect> FromImage(const std::shared_ptr<Image>& nineFrames, int tw, int th);
    // Top-left corner at (x, y); w, h unzoomed, multiplied by the renderer's current scale.
    void Draw(Renderer& r, double x, double y, double w, double h) const;
};

struct Pics {
    std::shared_ptr<Image> wire;         // 3 frames 5x5, centred
    std::shared_ptr<Image> mark;         // 1 frame, centred
    std::shared_ptr<Image> swich;        // 8 frames 40x40, centred
    std::shared_ptr<Image> led;          // 4 frames 40x40, centred
    std::shared_ptr<TImageRect> screenborder;
    std::shared_ptr<TImageRect> device;
    std::shared_ptr<Image> connections;  // 5 frames 20x20, centred; frame 4 is the inversion ring
    std::shared_ptr<ImageFont> font24, font14, font9, font10;
    std::shared_ptr<Image> digital;      // 8 frames 100x160, centred
    std::shared_ptr<Image> mode;         // 7 frames 20x20, centred

    // Loads the set from folder + "/" + file name for each slot. Missing files leave slots null.
    static std::shared_ptr<Pics> Load(const std::string& folder);
};

}  // namespace gw
