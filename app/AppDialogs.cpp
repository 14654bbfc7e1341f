#include "app/AppDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>

namespace gw {

namespace {

// Message boxes belong to the active window (a tool window, say) when there is one.
QWidget* owner(QWidget* parent) {
    QWidget* active = QApplication::activeWindow();
    return active ? active : parent;
}

const QString kFilter = QStringLiteral("*.gwb (*.gwb)");

}  // namespace

int QtDialogs::question(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Gatewright"), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner(parent));
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setEscapeButton(QMessageBox::Cancel);
    const int r = box.exec();
    if (r == QMessageBox::Yes) return 1;
    if (r == QMessageBox::No) return 0;
    return -1;
}

void QtDialogs::notice(QWidget* parent, const QString& text, bool serious) {
    QMessageBox box(serious ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("Gatewright"), text,
                    QMessageBox::Ok, owner(parent));
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

QString QtDialogs::openPath(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), kFilter);
}

QString QtDialogs::savePath(QWidget* parent, const QString& initial) {
    return QFileDialog::getSaveFileName(parent, QString(), initial, kFilter);
}

bool QtDialogs::pickColor(QWidget* parent, int& r, int& g, int& b) {
    const QColor c = QColorDialog::getColor(QColor(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)), parent);
    if (!c.isValid()) return false;
    r = c.red();
    g = c.green();
    b = c.blue();
    return true;
}

}  // namespace gw
