#include "ui/render/Renderer.h"

#include "ui/render/Pics.h"

namespace gw {

const Pics& Renderer::pics() const {
    static const Pics empty;
    return pics_ ? *pics_ : empty;
}

}  // namespace gw
