// The OpenGL canvas of the main window: the GL widget of ui/gl with the canvas input on top. Only
// created after openGLUsable() said a context can be had.
#include <cstdio>

#include "app/Canvas.h"
#include "app/CanvasInput.h"
#include "ui/gl/GLCanvas.h"

namespace gw {

namespace {

class AppGLCanvas : public CanvasInput<GLCanvas>, public Canvas {
public:
    AppGLCanvas(TApp& app, QWidget* parent) : CanvasInput<GLCanvas>(app, parent) {
        setObjectName("canvas");
        setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
        setPaint([this](GLRenderer& r, int w, int h) {
            if (!r.error().empty() && !said_) {
                said_ = true;
                std::fprintf(stderr, "Gatewright: the OpenGL renderer cannot draw: %s\n", r.error().c_str());
            }
            app_.paintFrame(r, w, h);
        });
    }
    QWidget* widget() override { return this; }
    bool isOpenGL() const override { return true; }
    QImage grabFrame() override { return grabFramebuffer(); }
    // paintGL runs inside repaint(), so the frame shows the board as this tick left it.
    void present() override { repaint(); }

private:
    bool said_ = false;
};

}  // namespace

Canvas* createGLCanvas(TApp& app, QWidget* parent) { return new AppGLCanvas(app, parent); }

}  // namespace gw
