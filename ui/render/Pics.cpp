// Loading the program's image set and drawing scalable framed images.
#include "ui/render/Pics.h"

#include <algorithm>
#include <limits>

#include "ui/render/Renderer.h"

namespace gw {

std::shared_ptr<TImageRect> TImageRect::Load(const std::string& path) {
    if (path.empty()) return nullptr;
    int w = 0, h = 0;
    if (!Image::probeSize(path, w, h)) return nullptr;
    const int tw = w / 3, th = h / 3;
    if (tw <= 0 || th <= 0) return nullptr;
    // Columns and rows beyond three tiles are ignored: the cut takes nine cells row by row.
    auto img = Image::load(path, tw, th, 0, 9);
    if (!img) return nullptr;
    return FromImage(img, tw, th);
}

std::shared_ptr<TImageRect> TImageRect::FromImage(const std::shared_ptr<Image>& nineFrames, int tw, int th) {
    if (!nineFrames || nineFrames->frameCount() < 9 || tw <= 0 || th <= 0) return nullptr;
    auto r = std::make_shared<TImageRect>();
    r->image = nineFrames;
    r->tilewidth = tw;
    r->TileHeight = th;
    return r;
}

void TImageRect::Draw(Renderer& r, double x, double y, double w, double h) const {
    if (!image) return;
    const double tw = tilewidth, th = TileHeight;
    double sx0 = 0, sy0 = 0;
    r.getScale(sx0, sy0);
    const double W = w * sx0, H = h * sy0;
    double sx = sx0, sy = sy0;
    if (W < 2 * tw * sx || H < 2 * th * sy) {
        // Corners would overlap: shrink both axes by the same factor so they keep their aspect.
        // An axis with a zero or negative span cannot be the limiting one (it would divide by 0).
        const double inf = std::numeric_limits<double>::infinity();
        const double ux = 2 * tw * sx > 0 ? W / (2 * tw * sx) : inf;
        const double uy = 2 * th * sy > 0 ? H / (2 * th * sy) : inf;
        const double u = std::min(ux, uy);
        if (u != inf) {
            sx *= u;
            sy *= u;
        }
    }
    // Corners unstretched at the (possibly shrunk) scale, then edges and middle stretched at scale 1.
    const double cw = sx * tw, ch = sy * th;
    const ImagePart parts[9] = {
        {x, y, sx, sy, 0, 0, 0, false},
        {x + W - cw, y, sx, sy, 0, 0, 2, false},
        {x, y + H - ch, sx, sy, 0, 0, 6, false},
        {x + W - cw, y + H - ch, sx, sy, 0, 0, 8, false},
        {x + cw, y, 1, 1, W - 2 * cw, ch, 1, true},
        {x, y + ch, 1, 1, cw, H - 2 * ch, 3, true},
        {x + W - cw, y + ch, 1, 1, cw, H - 2 * ch, 5, true},
        {x + cw, y + H - ch, 1, 1, W - 2 * cw, ch, 7, true},
        {x + cw, y + ch, 1, 1, W - 2 * cw, H - 2 * ch, 4, true},
    };
    r.drawImageParts(image.get(), parts, 9);
}

std::shared_ptr<Pics> Pics::Load(const std::string& folder) {
    auto p = std::make_shared<Pics>();
    const std::string base = folder + "/";
    auto strip = [&](const char* file, int cw, int ch, int count) {
        auto img = Image::load(base + file, cw, ch, 0, count);
        if (img) img->setCentred(true);
        return img;
    };
    p->wire = strip("wire.png", 5, 5, 3);
    p->mark = strip("mark.png", 0, 0, 1);
    p->swich = strip("switch.png", 40, 40, 8);
    p->led = strip("led.png", 40, 40, 4);
    p->screenborder = TImageRect::Load(base + "screenborder.png");
    p->device = TImageRect::Load(base + "device.png");
    p->connections = strip("connections.png", 20, 20, 5);
    const std::string font = base + "font.ttf";
    p->font24 = ImageFont::load(font, 24);
    p->font14 = ImageFont::load(font, 14);
    p->font9 = ImageFont::load(font, 9);
    p->digital = strip("digital.png", 100, 160, 8);
    p->mode = strip("mode.png", 20, 20, 7);
    // The frame-rate readout's size; loaded here too so every font shares one loader.
    p->font10 = ImageFont::load(font, 10);
    return p;
}

}  // namespace gw
