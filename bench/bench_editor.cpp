// The whole editor with a large board open: frame rate while the mouse moves.
//
//   bench_editor [DEVICES] [SECONDS]     (defaults 1000000 and 6; run from bin/ under Xvfb)
//
// Builds a random board of DEVICES devices (the simulation benchmark's generator), saves it to a
// temporary file and opens it in the real editor the way a user would (File > Open), in a
// 1280 x 800 window at zoom 1. Then the mouse pointer moves over the canvas (the X server gets a
// pointer warp every 8 ms, so the canvas receives real motion events, each of which updates the
// board and runs one simulation step, as between frames) for SECONDS seconds. Printed:
//   - the frame-rate readout of the editor, sampled every 100 ms after a one-second warm-up:
//     minimum, median and the share of samples at 60 (the readout shows whole numbers);
//   - frames drawn and board updates per second;
//   - then, with the pointer still, the cost of the parts of one frame measured alone: a board
//     update with its simulation step (no drawing) and a drawing of the canvas (no update);
//   - and where the drawing of one frame goes, by kind of drawing operation (the frame drawn into
//     an image through a renderer that times each call it passes on).
// GW_BENCH_GRAB=file.png also saves a picture of the window with the board open.
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/App.h"
#include "app/Canvas.h"
#include "generators.h"
#include "io/BoardFile.h"
#include "ui/raster/RasterRenderer.h"
#include "ui/render/Pics.h"

namespace {

// Passes every operation on to a raster renderer and adds up the time spent in each kind.
class SplitTimer : public gw::Renderer {
public:
    enum Kind { kClear, kRect, kPlot, kLine, kText, kWireBody, kWireEnd, kImage, kImageRect, kKinds };
    static const char* name(int k) {
        static const char* n[] = {"clear", "rectangles", "pixels", "lines", "text", "wire bodies", "wire ends",
                                  "other images", "stretched images"};
        return n[k];
    }
    explicit SplitTimer(gw::RasterRenderer& in) : in_(in) {}
    double ms[kKinds] = {};
    long long calls[kKinds] = {};

    void clear() override { run(kClear, [&] { in_.clear(); }); }
    void drawImage(const gw::Image* img, double x, double y, int frame) override {
        const gw::Image* wire = pics().wire.get();
        run(img == wire && wire ? (frame == 1 ? kWireBody : kWireEnd) : kImage,
            [&] { in_.drawImage(img, x, y, frame); });
    }
    void drawImageRect(const gw::Image* img, double x, double y, double w, double h, int frame) override {
        run(kImageRect, [&] { in_.drawImageRect(img, x, y, w, h, frame); });
    }
    void drawLine(double x1, double y1, double x2, double y2) override {
        run(kLine, [&] { in_.drawLine(x1, y1, x2, y2); });
    }
    void drawRect(double x, double y, double w, double h) override { run(kRect, [&] { in_.drawRect(x, y, w, h); }); }
    void plot(double x, double y) override { run(kPlot, [&] { in_.plot(x, y); }); }
    void drawText(const std::string& t, double x, double y) override { run(kText, [&] { in_.drawText(t, x, y); }); }

private:
    template <class F>
    void run(int kind, F&& f) {
        in_.setColor(r_, g_, b_);
        in_.setAlpha(alpha_);
        in_.setBlend(blend_);
        in_.setTransform(rot_, sx_, sy_);
        in_.setImageFont(font_);
        in_.setClearColor(cr_, cg_, cb_);
        QElapsedTimer t;
        t.start();
        f();
        ms[kind] += t.nsecsElapsed() / 1e6;
        ++calls[kind];
    }
    gw::RasterRenderer& in_;
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // lines reach a pipe as they are printed
    gw::requestSurfaceFormat();
    QApplication qapp(argc, argv);
    const size_t devices = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 6.0;

    QTemporaryDir tmp;
    const std::string path = QDir(tmp.path()).filePath("big.gwb").toStdString();
    QElapsedTimer t;
    t.start();
    {
        auto board = gwbench::makeRandomBoard(devices);
        std::string err;
        if (!gw::writeToFile(*board, path, &err)) {
            std::fprintf(stderr, "cannot write the board: %s\n", err.c_str());
            return 1;
        }
    }
    std::printf("board of %zu devices built and saved in %.1f s\n", devices, t.elapsed() / 1000.0);

    gw::AppOptions o;
    o.splashMinMs = 0;
    o.forceRaster = qgetenv("GW_RENDERER") == "raster";
    o.forceOpenGL = qgetenv("GW_RENDERER") == "gl";
    auto app = gw::TApp::Create(o);
    app->Window->showNormal();
    app->Window->resize(1280, 800);
    t.restart();
    app->menOpen(path);
    std::printf("opened in %.1f s: %zu devices, %zu nets; renderer %s\n", t.elapsed() / 1000.0,
                app->board->deviceList.size(), app->board->wireComplexList.size(),
                app->usesOpenGL() ? "OpenGL" : "raster");
    QTest::qWait(500);
    QWidget* canvas = app->canvas->widget();
    std::printf("canvas %d x %d, view at zoom %.2f\n", canvas->width(), canvas->height(), app->xScale);
    if (const QByteArray grab = qgetenv("GW_BENCH_GRAB"); !grab.isEmpty()) {
        // A picture of the whole window as it shows the board (GW_BENCH_GRAB=file.png).
        const bool saved = app->Window->grab().save(QString::fromLocal8Bit(grab));
        std::printf("window picture %s %s\n", saved ? "saved to" : "could not be saved to", grab.constData());
    }

    // The pointer circles over the canvas.
    const QPoint centre = canvas->mapToGlobal(QPoint(canvas->width() / 2, canvas->height() / 2));
    const int radius = std::max(10, std::min(canvas->width(), canvas->height()) / 3);
    QElapsedTimer clock;
    clock.start();
    QTimer mover;
    mover.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mover, &QTimer::timeout, [&] {
        const double a = clock.elapsed() / 400.0;
        QCursor::setPos(centre + QPoint(static_cast<int>(radius * std::cos(a)), static_cast<int>(radius * std::sin(a))));
    });
    mover.start(8);

    QTest::qWait(1000);  // warm-up: the first steps compile the circuit
    std::vector<double> readout;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { readout.push_back(static_cast<int>(app->FPS)); });
    const long long f0 = app->frameCount(), u0 = app->updateCount();
    QElapsedTimer span;
    span.start();
    sampler.start(100);
    QTest::qWait(static_cast<int>(seconds * 1000));
    sampler.stop();
    const double secs = span.elapsed() / 1000.0;
    mover.stop();
    const long long frames = app->frameCount() - f0, updates = app->updateCount() - u0;

    const double at60 = readout.empty() ? 0
                                        : 100.0 * std::count_if(readout.begin(), readout.end(),
                                                                [](double v) { return v >= 60; }) /
                                              readout.size();
    std::printf("while the mouse moved (%.1f s): readout min %.0f FPS, median %.0f FPS, %.0f%% of samples at 60\n",
                secs, readout.empty() ? 0.0 : *std::min_element(readout.begin(), readout.end()),
                median(readout), at60);
    std::printf("frames drawn %.1f per second, board updates %.1f per second\n", frames / secs, updates / secs);

    // The parts of one frame, measured alone with the pointer still.
    app->timer->stop();
    std::vector<double> upd, draw, image, show;
    QImage offscreen(canvas->width(), canvas->height(), QImage::Format_ARGB32_Premultiplied);
    gw::RasterRenderer rr;
    for (int i = 0; i < 60; ++i) {
        QElapsedTimer p;
        p.start();
        app->redrawCanvas(0);
        upd.push_back(p.nsecsElapsed() / 1e6);
        p.restart();
        app->canvas->present();
        draw.push_back(p.nsecsElapsed() / 1e6);
        p.restart();
        if (rr.begin(&offscreen)) {
            app->paintFrame(rr, offscreen.width(), offscreen.height());
            rr.end();
        }
        image.push_back(p.nsecsElapsed() / 1e6);
        p.restart();
        canvas->repaint();  // the frame already drawn, put on screen again
        show.push_back(p.nsecsElapsed() / 1e6);
    }
    std::printf("one board update with its step: median %.2f ms; one drawing of the canvas: median %.2f ms\n",
                median(upd), median(draw));
    std::printf("the same frame drawn into an image by the raster renderer (no window): median %.2f ms\n",
                median(image));
    std::printf("putting a drawn frame on screen again (canvas repaint without drawing): median %.2f ms\n",
                median(show));

    // Where one frame's drawing goes, summed over a few frames drawn into the image.
    {
        constexpr int kFrames = 10;
        gw::RasterRenderer inner;
        inner.setPics(app->pics());
        SplitTimer split(inner);
        QElapsedTimer whole;
        double total = 0;
        for (int i = 0; i < kFrames; ++i) {
            if (!inner.begin(&offscreen)) break;
            whole.restart();
            app->paintFrame(split, offscreen.width(), offscreen.height());
            total += whole.nsecsElapsed() / 1e6;
            inner.end();
        }
        double inOps = 0;
        std::printf("one frame drawn into an image, by operation (mean of %d frames; %.2f ms in all):\n", kFrames,
                    total / kFrames);
        for (int k = 0; k < SplitTimer::kKinds; ++k) {
            inOps += split.ms[k];
            if (split.calls[k] == 0) continue;
            std::printf("  %-17s %8.2f ms  %8lld calls\n", SplitTimer::name(k), split.ms[k] / kFrames,
                        split.calls[k] / kFrames);
        }
        std::printf("  %-17s %8.2f ms\n", "outside the calls", (total - inOps) / kFrames);
    }
    app->board->setChanged(0);  // nothing to ask about on closing
    app->Destroy();
    return 0;
}
