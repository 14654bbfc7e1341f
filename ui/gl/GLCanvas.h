// The canvas widget of the main window when OpenGL is usable: a QOpenGLWidget that owns a
// GLRenderer and calls a paint function with it in paintGL. glAvailable() tells beforehand
// whether a context can be made at all (Qt 6.4 crashes instead of failing when a QOpenGLWidget
// cannot get one, and the "offscreen" platform cannot host it), so the caller can fall back to
// the raster renderer on a plain widget.
#pragma once

#include <QOpenGLWidget>

#include <functional>

#include "ui/gl/GLRenderer.h"

namespace gw {

class GLCanvas : public QOpenGLWidget {
public:
    // Draws one frame: the renderer is ready with the frame begun; width and height are the
    // canvas size in device pixels.
    using PaintFn = std::function<void(GLRenderer&, int width, int height)>;

    explicit GLCanvas(QWidget* parent = nullptr);
    ~GLCanvas() override;

    void setPaint(PaintFn fn) { paint_ = std::move(fn); }
    GLRenderer& renderer() { return renderer_; }
    // Empty while the renderer works; the reason otherwise (shader or context failure).
    const std::string& failure() const { return renderer_.error(); }

    // The 3.3 core format with swap interval 0; set as default before QApplication exists.
    static void setDefaultFormat();
    // True when the platform can host a GL widget and a context can be created.
    static bool glAvailable();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    GLRenderer renderer_;
    PaintFn paint_;
};

}  // namespace gw
