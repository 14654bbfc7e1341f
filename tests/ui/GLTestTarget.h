// What the GL tests share: the application every Qt GUI object needs (offscreen when there is no
// display) and an offscreen GL context with a framebuffer object and a renderer, or the reason why
// there is none, so a test can skip with it.
#pragma once

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "ui/gl/GLCanvas.h"
#include "ui/gl/GLRenderer.h"

namespace gw::test {

inline QGuiApplication* glTestApp() {
    static int argc = 1;
    static char name[] = "gatewright_gl_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = [] {
        if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        GLCanvas::setDefaultFormat();
        return new QGuiApplication(argc, argv);
    }();
    return a;
}

// An offscreen GL context with a framebuffer object of w x h, or a reason why there is none.
struct GLTarget {
    // The application must exist before any Qt GUI object below is constructed.
    bool appReady = glTestApp() != nullptr;
    QOpenGLContext ctx;
    QOffscreenSurface surface;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    GLRenderer renderer;
    std::string why;

    bool make(int w, int h) {
        if (!GLCanvas::glAvailable()) {
            why = "no OpenGL 3.3 context on platform '" + QGuiApplication::platformName().toStdString() + "'";
            return false;
        }
        if (!ctx.create()) return (why = "context creation failed", false);
        surface.setFormat(ctx.format());
        surface.create();
        if (!ctx.makeCurrent(&surface)) return (why = "makeCurrent failed", false);
        fbo = std::make_unique<QOpenGLFramebufferObject>(w, h);
        if (!fbo->isValid()) return (why = "framebuffer object invalid", false);
        if (!renderer.initialize()) return (why = renderer.error(), false);
        return true;
    }
    ~GLTarget() {
        if (ctx.isValid() && ctx.makeCurrent(&surface)) {
            renderer.release();
            fbo.reset();
            ctx.doneCurrent();
        }
    }
};

struct BothWays {
    int differing = 0, plainCalls = 0, calls = 0, quads = 0, dropped = 0;
};

// Draws a frame twice into the target, in plain order (the general path for every quad, a
// submission at every blend change) and as the renderer batches it, and counts the pixels in which
// the two framebuffers differ. Both pictures are saved (`prefix` + name + _plain/_batched.png)
// when they differ or when the environment variable `saveVar` is set.
inline BothWays drawBothWays(GLTarget& gl, int w, int h, const std::function<void(Renderer&)>& paint,
                             const std::string& prefix, const std::string& name, const char* saveVar) {
    BothWays out;
    GLRenderer& r = gl.renderer;
    QImage pictures[2];
    for (int pass = 0; pass < 2; ++pass) {
        r.setPlainMode(pass == 0);
        r.beginFrame(gl.fbo->handle(), w, h);
        r.resetState();
        paint(r);
        r.endFrame();
        (pass == 0 ? out.plainCalls : out.calls) = r.drawCalls();
        if (pass == 1) {
            out.quads = r.quads();
            out.dropped = r.droppedQuads();
        }
        pictures[pass] = gl.fbo->toImage().convertToFormat(QImage::Format_ARGB32);
    }
    r.setPlainMode(false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (pictures[0].pixel(x, y) != pictures[1].pixel(x, y)) ++out.differing;
    if (out.differing || std::getenv(saveVar)) {
        pictures[0].save(QString::fromStdString(prefix + name + "_plain.png"));
        pictures[1].save(QString::fromStdString(prefix + name + "_batched.png"));
    }
    return out;
}

}  // namespace gw::test
