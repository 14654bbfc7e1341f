#include "ui/render/Renderer.h"

#include "ui/render/Pics.h"

namespace gw {

const Pics& Renderer::emptyPics() {
    static const Pics empty;
    return empty;
}

}  // namespace gw
