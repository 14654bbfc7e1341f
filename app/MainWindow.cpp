#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/App.h"

namespace gw {

TMainWindow::TMainWindow(TApp& app) : QMainWindow(nullptr), app_(app) {
    setObjectName("mainWindow");
    setAcceptDrops(true);
}

void TMainWindow::closeEvent(QCloseEvent* e) {
    // Closing is the application's decision (it may ask about unsaved changes first).
    e->ignore();
    app_.onCloseRequest();
}

void TMainWindow::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    app_.onWindowMovedOrResized();
}

void TMainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    app_.onWindowMovedOrResized();
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* e) {
    // Only the first file counts; a drop without a local file is a drop of "" and does nothing.
    QString path;
    const QList<QUrl> urls = e->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) path = urls.first().toLocalFile();
    e->acceptProposedAction();
    app_.onFileDropped(path);
}

}  // namespace gw
