// What the window tests share: a private working folder per test (with the program's data/ and
// lang/ linked in, and its own ics/ and cfg.ini), scripted dialogs that answer from queues and
// record what they were asked, and a helper that starts the real editor there.
#pragma once

#include <QColor>
#include <QDir>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

#include "app/App.h"

namespace gw::test {

class ScriptedDialogs : public AppDialogs {
public:
    std::deque<int> answers;            // question: 1 yes, 0 no, -1 cancel (empty: cancel)
    std::deque<QString> openPaths;      // open requester results (empty: cancelled)
    std::deque<QString> savePaths;      // save requester results (empty: cancelled)
    std::deque<std::optional<QColor>> colors;  // picker results (nullopt or empty: cancelled)

    QStringList questions, notices, seriousNotices;
    int openAsked = 0, saveAsked = 0, colorAsked = 0;
    QString lastSaveInitial;

    int question(QWidget*, const QString& text) override;
    void notice(QWidget*, const QString& text, bool serious) override;
    QString openPath(QWidget*) override;
    QString savePath(QWidget*, const QString& initial) override;
    bool pickColor(QWidget*, int& r, int& g, int& b) override;
};

// The editor's canvas widget.
QWidget* canvasOf(TApp& app);
// Screen point (canvas pixels) of grid point (gx, gy) at the current view.
QPoint screenOf(const TApp& app, int gx, int gy);

// A temporary working folder; the process works in it while the object lives.
class Workspace {
public:
    Workspace();
    ~Workspace();
    QString path(const QString& name) const { return dir_.filePath(name); }
    // The folder holding data/, lang/, examples/ (the program folder the test started in).
    static QString programFolder();

private:
    QTemporaryDir dir_;
    QString previous_;
};

// Starts the editor in the current folder with the given dialogs, no splash wait.
std::unique_ptr<TApp> startApp(const std::shared_ptr<ScriptedDialogs>& dialogs, bool forceRaster = false,
                               const QString& launchDir = QString());

// Waits until the frame timer has drawn `n` more frames (false after the timeout).
bool waitFrames(TApp& app, int n, int timeoutMs = 3000);

}  // namespace gw::test
