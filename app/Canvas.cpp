#include "app/Canvas.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QSurfaceFormat>
#include <QWidget>
#include <cstdio>

#include "app/CanvasInput.h"
#include "ui/raster/RasterRenderer.h"

namespace gw {

Canvas* createGLCanvas(TApp& app, QWidget* parent);  // GLCanvas.cpp

void requestSurfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(3, 3);
    f.setProfile(QSurfaceFormat::CoreProfile);
    f.setSwapInterval(0);
    f.setAlphaBufferSize(8);
    QSurfaceFormat::setDefaultFormat(f);
}

bool openGLUsable(std::string* why) {
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") {
        if (why) *why = "the \"" + platform.toStdString() + "\" display cannot show OpenGL";
        return false;
    }
    // Qt crashes when an OpenGL widget cannot get a context, so one is made and used here first.
    QOpenGLContext ctx;
    if (!ctx.create()) {
        if (why) *why = "no OpenGL context can be created";
        return false;
    }
    const QSurfaceFormat got = ctx.format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33) {
        if (why) *why = "OpenGL " + std::to_string(got.majorVersion()) + "." + std::to_string(got.minorVersion()) +
                        " is older than 3.3";
        return false;
    }
    QOffscreenSurface surface;
    surface.setFormat(got);
    surface.create();
    if (!surface.isValid() || !ctx.makeCurrent(&surface)) {
        if (why) *why = "the OpenGL context cannot be made current";
        return false;
    }
    ctx.doneCurrent();
    return true;
}

namespace {

// A plain widget showing the frame the raster renderer drew into an image.
class RasterCanvas : public CanvasInput<QWidget>, public Canvas {
public:
    RasterCanvas(TApp& app, QWidget* parent) : CanvasInput<QWidget>(app, parent) {
        setObjectName("canvas");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QWidget* widget() override { return this; }
    bool isOpenGL() const override { return false; }
    QImage grabFrame() override { return frame_.copy(); }

    void present() override {
        const int w = std::max(1, width()), h = std::max(1, height());
        if (frame_.size() != QSize(w, h)) frame_ = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
        if (renderer_.begin(&frame_)) {
            app_.paintFrame(renderer_, w, h);
            renderer_.end();
        }
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (frame_.isNull()) p.fillRect(rect(), Qt::white);
        else p.drawImage(0, 0, frame_);
    }

private:
    QImage frame_;
    RasterRenderer renderer_;
};

}  // namespace

Canvas* createCanvas(TApp& app, QWidget* parent, bool forceRaster) {
    if (!forceRaster) {
        std::string why;
        if (openGLUsable(&why)) return createGLCanvas(app, parent);
        static bool said = false;
        if (!said) {
            said = true;
            std::fprintf(stderr, "Gatewright: %s; drawing with the raster renderer instead.\n", why.c_str());
        }
    }
    return new RasterCanvas(app, parent);
}

}  // namespace gw
