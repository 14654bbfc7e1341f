#include "app/AppTestSupport.h"

#include <QFile>
#include <QMainWindow>
#include <QTest>
#include <cstdio>

#include "app/Canvas.h"

namespace gw::test {

QWidget* canvasOf(TApp& app) { return app.canvas->widget(); }

QPoint screenOf(const TApp& app, int gx, int gy) {
    return QPoint(static_cast<int>(app.xMove + app.xScale * 20 * gx), static_cast<int>(app.yMove + app.yScale * 20 * gy));
}

int ScriptedDialogs::question(QWidget*, const QString& text) {
    questions << text;
    if (answers.empty()) return -1;
    const int a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedDialogs::notice(QWidget*, const QString& text, bool serious) {
    notices << text;
    if (serious) seriousNotices << text;
}

QString ScriptedDialogs::openPath(QWidget*) {
    ++openAsked;
    if (openPaths.empty()) return QString();
    QString p = openPaths.front();
    openPaths.pop_front();
    return p;
}

QString ScriptedDialogs::savePath(QWidget*, const QString& initial) {
    ++saveAsked;
    lastSaveInitial = initial;
    if (savePaths.empty()) return QString();
    QString p = savePaths.front();
    savePaths.pop_front();
    return p;
}

bool ScriptedDialogs::pickColor(QWidget*, int& r, int& g, int& b) {
    ++colorAsked;
    if (colors.empty()) return false;
    const std::optional<QColor> c = colors.front();
    colors.pop_front();
    if (!c) return false;
    r = c->red();
    g = c->green();
    b = c->blue();
    return true;
}

QString Workspace::programFolder() {
    static const QString folder = QDir::currentPath();  // first asked at start, in build/bin
    return folder;
}

Workspace::Workspace() {
    programFolder();
    previous_ = QDir::currentPath();
    for (const char* sub : {"data", "lang", "examples"})
        QFile::link(programFolder() + "/" + sub, dir_.filePath(sub));
    QDir(dir_.path()).mkdir("ics");
    QDir::setCurrent(dir_.path());
}

Workspace::~Workspace() { QDir::setCurrent(previous_); }

std::unique_ptr<TApp> startApp(const std::shared_ptr<ScriptedDialogs>& dialogs, bool forceRaster,
                               const QString& launchDir) {
    AppOptions o;
    o.splashMinMs = 0;
    o.dialogs = dialogs;
    o.forceRaster = forceRaster;
    o.forceOpenGL = !forceRaster;  // the OpenGL canvas, also where OpenGL runs in software (Xvfb)
    o.launchDir = launchDir.toStdString();
    auto app = TApp::Create(o);
    if (!QTest::qWaitForWindowExposed(app->Window)) std::fprintf(stderr, "the main window did not show\n");
    app->Window->activateWindow();
    if (!QTest::qWaitForWindowActive(app->Window)) std::fprintf(stderr, "the main window is not active\n");
    return app;
}

bool waitFrames(TApp& app, int n, int timeoutMs) {
    const long long target = app.frameCount() + n;
    return QTest::qWaitFor([&] { return app.frameCount() >= target; }, timeoutMs);
}

}  // namespace gw::test
