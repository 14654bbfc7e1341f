#include "ui/render/Renderer.h"

#include "ui/render/Pics.h"

namespace gw {

const Pics& Renderer::emptyPics() {
    static const Pics empty;
    return empty;
}

void Renderer::drawImageParts(const Image* img, const ImagePart* parts, int n) {
    const double sx = sx_, sy = sy_;
    for (int i = 0; i < n; ++i) {
        const ImagePart& p = parts[i];
        setScale(p.sx, p.sy);
        if (p.stretch)
            drawImageRect(img, p.x, p.y, p.w, p.h, p.frame);
        else
            drawImage(img, p.x, p.y, p.frame);
    }
    setScale(sx, sy);
}

}  // namespace gw
