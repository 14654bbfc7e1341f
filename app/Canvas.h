// The drawing surface of the main window. Two kinds exist: an OpenGL canvas (QOpenGLWidget with
// the GL renderer), used whenever a usable OpenGL context can be made, and a raster canvas (a plain
// widget showing a QImage drawn by the raster renderer) for machines or displays without one.
// Both deliver the same input to the application and draw through TApp::paintFrame.
#pragma once

#include <QImage>
#include <string>

class QWidget;

namespace gw {

class TApp;

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual QWidget* widget() = 0;
    // Draws one frame now (TApp::paintFrame) and puts it on screen, without waiting for vsync.
    virtual void present() = 0;
    // The last frame drawn, as an image (tests and screenshots).
    virtual QImage grabFrame() = 0;
    virtual bool isOpenGL() const = 0;
};

// True when an OpenGL 3.3 context can be made and made current on this display. The offscreen and
// minimal platforms cannot host an OpenGL widget, so they answer false without trying. `why`
// receives the reason when the answer is false.
bool openGLUsable(std::string* why = nullptr);

// The surface format the OpenGL canvas asks for: 3.3 core, no vsync. Must be called before the
// QApplication exists.
void requestSurfaceFormat();

// The canvas for `app`: OpenGL when usable and not refused, otherwise raster (saying so once on
// standard error when OpenGL was wanted but cannot be had).
Canvas* createCanvas(TApp& app, QWidget* parent, bool forceRaster);

}  // namespace gw
