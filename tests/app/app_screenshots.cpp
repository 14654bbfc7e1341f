// Starts the real editor in-process and writes pictures of it, then measures frame pacing:
//   gw-app-screenshots OUTDIR [BOARD]
// writes OUTDIR/splash.png, OUTDIR/main_window.png (with BOARD open), main_window_toolbar.png and
// OUTDIR/palette.png, then
// runs BOARD for five seconds and prints the frame-rate readout and the frames counted.
// Run it from the program folder (build/bin) under a display (Xvfb).
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMainWindow>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/App.h"
#include "app/Canvas.h"
#include "app/DraftTool.h"

int main(int argc, char** argv) {
    gw::requestSurfaceFormat();
    QApplication qapp(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gw-app-screenshots OUTDIR [BOARD]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString boardPath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    gw::AppOptions o;
    o.splashMinMs = 300;
    o.forceRaster = qgetenv("GW_RENDERER") == "raster";
    o.forceOpenGL = qgetenv("GW_RENDERER") == "gl";
    o.onSplash = [&](QWidget* splash) {
        QApplication::processEvents();
        splash->grab().save(out + "/splash.png");
    };
    auto app = gw::TApp::Create(o);
    if (!boardPath.isEmpty()) app->menOpen(boardPath.toStdString());
    QTest::qWait(1500);
    app->Window->grab().save(out + "/main_window.png");
    app->menShowToolbar();
    QTest::qWait(300);
    app->Window->grab().save(out + "/main_window_toolbar.png");
    app->menShowToolbar();

    // The palette, opened as the device command does, with a category chosen.
    QTimer::singleShot(600, [&] {
        app->draftTool->SelectItem(3);
        if (QListWidget* box = app->draftTool->currentBox; box && box->count() > 0) box->setCurrentRow(0);
        QTest::qWait(300);
        app->draftTool->Window->grab().save(out + "/palette.png");
        app->draftTool->Window->reject();
    });
    app->startDraftSelector();

    // Frame pacing: frames counted over five seconds and the readout's value at the end.
    const long long f0 = app->frameCount(), u0 = app->updateCount();
    QElapsedTimer t;
    t.start();
    std::clock_t c0 = std::clock();
    QTest::qWait(5000);
    const double secs = t.elapsed() / 1000.0;
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    std::printf("renderer: %s\n", app->usesOpenGL() ? "OpenGL" : "raster");
    std::printf("devices: %zu, nets: %zu\n", app->board->deviceList.size(), app->board->wireComplexList.size());
    std::printf("frames: %lld in %.2f s = %.1f per second; updates %lld; readout %dFPS\n", app->frameCount() - f0, secs,
                (app->frameCount() - f0) / secs, app->updateCount() - u0, static_cast<int>(app->FPS));
    std::printf("process CPU time per frame: %.2f ms\n", cpuMs / std::max<long long>(1, app->frameCount() - f0));
    app->Destroy();
    return 0;
}
