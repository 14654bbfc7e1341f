// Small widgets the two tool windows share: a sunken colour panel that reports mouse presses, and
// a tool window that reports its close request and its resizes instead of handling them itself.
#pragma once

#include <QCloseEvent>
#include <QColor>
#include <QFrame>
#include <QMouseEvent>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>
#include <functional>

namespace gw {

class ColorPanel : public QFrame {
public:
    std::function<void()> onPress;

    explicit ColorPanel(QWidget* parent) : QFrame(parent) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setAutoFillBackground(true);
        setColor(255, 255, 255);
    }
    void setColor(int r, int g, int b) {
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(r, g, b));
        setPalette(p);
    }
    QColor color() const { return palette().color(QPalette::Window); }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && onPress) onPress();
    }
};

class ToolWindow : public QWidget {
public:
    std::function<void()> onClose;
    std::function<void()> onResize;

    explicit ToolWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {}

protected:
    void closeEvent(QCloseEvent* e) override {
        // The window is only hidden; the tool lives on and keeps its state for the next opening.
        e->ignore();
        if (onClose) onClose();
    }
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        if (onResize) onResize();
    }
};

// Places `w` (of client size cw x ch) centred over `parent`, or on its screen without one.
inline void centreToolWindow(QWidget* w, QWidget* parent, int cw, int ch) {
    w->resize(cw, ch);
    const QRect area = parent && parent->isVisible() ? parent->geometry()
                                                     : (w->screen() ? w->screen()->availableGeometry() : QRect());
    if (area.isValid()) w->move(area.center() - QPoint(cw / 2, ch / 2));
}

}  // namespace gw
