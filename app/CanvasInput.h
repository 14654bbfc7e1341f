// Input shared by both canvas kinds: mouse, wheel and Control key events go to the application as
// the canvas sees them. Buttons are numbered 1 left, 2 right, 3 middle; the wheel is reported in
// whole notches (high-resolution wheels accumulate until a notch is complete).
#pragma once

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/App.h"

namespace gw {

template <class Base>
class CanvasInput : public Base {
public:
    template <class... A>
    explicit CanvasInput(TApp& app, A&&... a) : Base(std::forward<A>(a)...), app_(app) {
        this->setMouseTracking(true);
        this->setFocusPolicy(Qt::StrongFocus);
        this->setAcceptDrops(false);  // drops go to the main window
    }

protected:
    // Canvas pixels are device pixels, so the board is drawn and hit at the same scale on any screen.
    int px(double v) const { return static_cast<int>(v * this->devicePixelRatioF()); }
    static int buttonNumber(Qt::MouseButton b) {
        switch (b) {
            case Qt::LeftButton: return 1;
            case Qt::RightButton: return 2;
            case Qt::MiddleButton: return 3;
            default: return 0;
        }
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        app_.onCanvasMouseMove(px(e->position().x()), px(e->position().y()));
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (int b = buttonNumber(e->button()))
            app_.onCanvasMouseButton(b, true, px(e->position().x()), px(e->position().y()));
    }
    // The second press of a double click arrives as a double-click event; it is a press all the same.
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (int b = buttonNumber(e->button()))
            app_.onCanvasMouseButton(b, false, px(e->position().x()), px(e->position().y()));
    }
    void wheelEvent(QWheelEvent* e) override {
        wheelRest_ += e->angleDelta().y();
        const int notches = wheelRest_ / 120;
        wheelRest_ -= notches * 120;
        if (notches != 0) app_.onCanvasWheel(notches);
        e->accept();
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Control) app_.onCanvasControlKey(true);
        else Base::keyPressEvent(e);
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Control) app_.onCanvasControlKey(false);
        else Base::keyReleaseEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override {
        app_.onCanvasFocusLost();
        Base::focusOutEvent(e);
    }

    TApp& app_;
    int wheelRest_ = 0;
};

}  // namespace gw
