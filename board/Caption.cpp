// TCaption without its drawing: creation, font choice, the cell extent and the pixel hit test.
#include "board/Caption.h"

#include <cmath>

#include "ui/render/Pics.h"

namespace gw {

std::shared_ptr<TCaption> TCaption::Create() {
    auto c = std::make_shared<TCaption>();
    c->generate();
    return c;
}

const ImageFont* TCaption::_getImageFont(const Pics& pics) {
    // A board file may carry any number here; the caption settles on the middle size for good so
    // that what is saved next matches what was drawn.
    if (Size < 0 || Size > 2) Size = 1;
    switch (Size) {
        case 0: return pics.font9.get();
        case 2: return pics.font24.get();
        default: return pics.font14.get();
    }
}

void TCaption::_fitCells(double tw, double th, double fx, double fy) {
    const int w = fx > 0 ? static_cast<int>(std::ceil(tw / fx)) : 1;
    const int h = fy > 0 ? static_cast<int>(std::ceil(th / fy)) : 1;
    width = w > 1 ? w : 1;
    Height = h > 1 ? h : 1;
}

int TCaption::containsPixel(int px, int py) const {
    // 64-bit so that captions far out on the grid cannot overflow the pixel arithmetic.
    const long long left = 20LL * xPos, top = 20LL * yPos;
    const long long right = left + 20LL * width, bottom = top + 20LL * Height;
    return (left <= px && px <= right && top <= py && py <= bottom) ? 1 : 0;
}

}  // namespace gw
