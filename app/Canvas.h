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

// What OpenGL this display offers.
struct OpenGLInfo {
    bool usable = false;    // a 3.3 context can be made and made current
    bool software = false;  // ...but only through a software rasterizer (llvmpipe, softpipe, swrast)
    std::string renderer;   // the GL_RENDERER string
    std::string why;        // why it is not usable
};

// Tries for an OpenGL 3.3 context on this display. The offscreen and minimal platforms cannot host
// an OpenGL widget, so they answer "not usable" without trying.
OpenGLInfo probeOpenGL();
inline bool openGLUsable(std::string* why = nullptr) {
    const OpenGLInfo i = probeOpenGL();
    if (why) *why = i.why;
    return i.usable;
}

// The surface format the OpenGL canvas asks for: 3.3 core, no vsync. Must be called before the
// QApplication exists.
void requestSurfaceFormat();

// Which canvas to make.
enum class CanvasChoice {
    Auto,    // OpenGL on a hardware driver; the raster canvas otherwise (no context, or only a
             // software rasterizer, where the raster renderer draws the same frame for a fraction
             // of the processor time)
    OpenGL,  // OpenGL whenever a context can be had, software or not
    Raster,  // always the raster canvas
};

// The canvas for `app`. When OpenGL was not refused but is not used, standard error says why, once
// per process.
Canvas* createCanvas(TApp& app, QWidget* parent, CanvasChoice choice);

}  // namespace gw
