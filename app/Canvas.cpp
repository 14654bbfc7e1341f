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

OpenGLInfo probeOpenGL() {
    OpenGLInfo info;
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") {
        info.why = "the \"" + platform.toStdString() + "\" display cannot show OpenGL";
        return info;
    }
    // Qt crashes when an OpenGL widget cannot get a context, so one is made and used here first.
    QOpenGLContext ctx;
    if (!ctx.create()) {
        info.why = "no OpenGL context can be created";
        return info;
    }
    const QSurfaceFormat got = ctx.format();
    if (got.majorVersion() * 10 + got.minorVersion() < 33) {
        info.why = "OpenGL " + std::to_string(got.majorVersion()) + "." + std::to_string(got.minorVersion()) +
                   " is older than 3.3";
        return info;
    }
    QOffscreenSurface surface;
    surface.setFormat(got);
    surface.create();
    if (!surface.isValid() || !ctx.makeCurrent(&surface)) {
        info.why = "the OpenGL context cannot be made current";
        return info;
    }
    if (const GLubyte* r = ctx.functions()->glGetString(GL_RENDERER)) info.renderer = reinterpret_cast<const char*>(r);
    ctx.doneCurrent();
    const QString name = QString::fromStdString(info.renderer).toLower();
    info.software = name.contains("llvmpipe") || name.contains("softpipe") || name.contains("swrast") ||
                    name.contains("software rasterizer");
    info.usable = true;
    return info;
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
        // An opaque frame: the board clears it with an opaque colour first, so its pixels are those
        // of a premultiplied one, and the window's backing store (RGB32 on X) takes it by copying
        // rows rather than by blending every pixel.
        if (frame_.size() != QSize(w, h)) frame_ = QImage(w, h, QImage::Format_RGB32);
        if (renderer_.begin(&frame_)) {
            app_.paintFrame(renderer_, w, h);
            renderer_.end();
        }
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        if (frame_.isNull()) p.fillRect(rect(), Qt::white);
        else p.drawImage(0, 0, frame_);
    }

private:
    QImage frame_;
    RasterRenderer renderer_;
};

}  // namespace

Canvas* createCanvas(TApp& app, QWidget* parent, CanvasChoice choice) {
    if (choice != CanvasChoice::Raster) {
        const OpenGLInfo gl = probeOpenGL();
        if (gl.usable && (!gl.software || choice == CanvasChoice::OpenGL)) return createGLCanvas(app, parent);
        static bool said = false;
        if (!said) {
            said = true;
            if (gl.usable)
                std::fprintf(stderr,
                             "Gatewright: OpenGL runs in software here (%s); drawing with the raster renderer, "
                             "which is faster without a graphics processor (GW_RENDERER=gl uses OpenGL).\n",
                             gl.renderer.c_str());
            else
                std::fprintf(stderr, "Gatewright: %s; drawing with the raster renderer instead.\n", gl.why.c_str());
        }
    }
    return new RasterCanvas(app, parent);
}

}  // namespace gw
