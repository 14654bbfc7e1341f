// The OpenGL canvas of the main window: a QOpenGLWidget drawing through the GL renderer. Only
// created after openGLUsable() said a context can be had (Qt crashes when an OpenGL widget gets
// none). The renderer's GL objects are freed while the widget's context still exists: in the
// destructor, or earlier if Qt destroys the context first (moving the widget to another window).
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <cstdio>

#include "app/Canvas.h"
#include "app/CanvasInput.h"
#include "ui/gl/GLRenderer.h"

namespace gw {

namespace {

class AppGLCanvas : public CanvasInput<QOpenGLWidget>, public Canvas {
public:
    AppGLCanvas(TApp& app, QWidget* parent) : CanvasInput<QOpenGLWidget>(app, parent) {
        setObjectName("canvas");
        setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
    }
    ~AppGLCanvas() override {
        if (contextConnection_) disconnect(contextConnection_);
        releaseGL();
    }
    QWidget* widget() override { return this; }
    bool isOpenGL() const override { return true; }
    QImage grabFrame() override { return grabFramebuffer(); }
    // paintGL runs inside repaint(), so the frame shows the board as this tick left it.
    void present() override { repaint(); }

protected:
    void initializeGL() override {
        if (contextConnection_) disconnect(contextConnection_);
        contextConnection_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { releaseGL(); });
        if (!renderer_.initialize() && !said_) {
            said_ = true;
            std::fprintf(stderr, "Gatewright: the OpenGL renderer cannot start: %s\n", renderer_.error().c_str());
        }
    }
    void paintGL() override {
        if (!renderer_.initialized()) return;
        const double dpr = devicePixelRatioF();
        const int w = static_cast<int>(width() * dpr), h = static_cast<int>(height() * dpr);
        renderer_.beginFrame(defaultFramebufferObject(), w, h);
        app_.paintFrame(renderer_, w, h);
        renderer_.endFrame();
    }

private:
    void releaseGL() {
        if (!renderer_.initialized() || !context()) return;
        makeCurrent();
        renderer_.release();
        doneCurrent();
    }

    GLRenderer renderer_;
    QMetaObject::Connection contextConnection_;
    bool said_ = false;
};

}  // namespace

Canvas* createGLCanvas(TApp& app, QWidget* parent) { return new AppGLCanvas(app, parent); }

}  // namespace gw
