// The main window: a QMainWindow that reports its moves, resizes, close requests and dropped files
// to the application instead of acting on them itself.
#pragma once

#include <QMainWindow>

namespace gw {

class TApp;

class TMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainWindow(TApp& app);

protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    TApp& app_;
};

}  // namespace gw
