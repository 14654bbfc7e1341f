#include "ui/gl/GLCanvas.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace gw {

GLCanvas::GLCanvas(QWidget* parent) : QOpenGLWidget(parent) {}

GLCanvas::~GLCanvas() {
    // GL objects must go while our context is current.
    if (context()) {
        // The base class destroys the context after our members are gone; the release hook
        // connected in initializeGL must not run then.
        disconnect(context(), nullptr, this, nullptr);
        makeCurrent();
        renderer_.release();
        doneCurrent();
    }
}

void GLCanvas::setDefaultFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(3, 3);
    f.setProfile(QSurfaceFormat::CoreProfile);
    f.setSwapInterval(0);
    f.setAlphaBufferSize(8);
    QSurfaceFormat::setDefaultFormat(f);
}

bool GLCanvas::glAvailable() {
    if (QGuiApplication::platformName() == QLatin1String("offscreen") ||
        QGuiApplication::platformName() == QLatin1String("minimal"))
        return false;
    QOpenGLContext ctx;
    if (!ctx.create()) return false;
    const QSurfaceFormat f = ctx.format();
    if (f.majorVersion() * 10 + f.minorVersion() < 33) return false;
    QOffscreenSurface surface;
    surface.setFormat(ctx.format());
    surface.create();
    if (!surface.isValid() || !ctx.makeCurrent(&surface)) return false;
    ctx.doneCurrent();
    return true;
}

void GLCanvas::initializeGL() {
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        renderer_.release();
        doneCurrent();
    });
    renderer_.initialize();
}

void GLCanvas::paintGL() {
    if (!renderer_.initialized()) return;
    const int w = static_cast<int>(width() * devicePixelRatioF());
    const int h = static_cast<int>(height() * devicePixelRatioF());
    renderer_.beginFrame(defaultFramebufferObject(), w, h);
    renderer_.resetState();
    if (paint_) paint_(renderer_, w, h);
    renderer_.endFrame();
}

}  // namespace gw
