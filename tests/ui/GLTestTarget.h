// What the GL tests share: the application every Qt GUI object needs (offscreen when there is no
// display) and an offscreen GL context with a framebuffer object and a renderer, or the reason why
// there is none, so a test can skip with it.
#pragma once

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <cstdlib>
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

}  // namespace gw::test
