// gw-monkey: the editor under random mouse input, for long unattended runs (with the sanitizers on,
// any memory fault or undefined behaviour ends the run with a report).
//
//   gw-monkey [--seconds S] [--seed N] [--board FILE] [--raster]
//
// It starts the real editor (scripted dialogs that cancel every question, so nothing waits for a
// person), opens the board, and then, until the time is up, switches between every editing mode
// (default, device with a random type, wire, move, caption, invert, remove, IC pick) and sends
// random mouse moves, presses, releases, drags, wheel turns, Control presses and the odd view
// command to the canvas, letting the frame timer run in between. After every burst of input the
// board goes through the consistency check; at the end the figures are printed: events sent, edits
// made (bursts after which the board's saved bytes had changed), steps run, frames drawn, and reports
// (consistency problems). Exit status 0 only when there were none.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/App.h"
#include "app/Canvas.h"
#include "board/BoardEngine.h"
#include "board/Consistency.h"
#include "io/BoardFile.h"
#include "model/Catalogue.h"

namespace {

using namespace gw;

// Every question is cancelled and every requester closed: the monkey never blocks on a dialog and
// never writes a file.
struct CancelAll : AppDialogs {
    int questions = 0, notices = 0;
    int question(QWidget*, const QString&) override {
        ++questions;
        return -1;
    }
    void notice(QWidget*, const QString&, bool) override { ++notices; }
    QString openPath(QWidget*) override { return {}; }
    QString savePath(QWidget*, const QString&) override { return {}; }
    bool pickColor(QWidget*, int&, int&, int&) override { return false; }
};

std::string bytesOf(const TBoardEngine& b) {
    std::string s;
    WriteToStream(b, s);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    requestSurfaceFormat();
    QApplication qapp(argc, argv);
    double seconds = 20;
    unsigned seed = 1;
    std::string board = "examples/fulladder.gwb";
    bool raster = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--seed" && i + 1 < argc) seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--board" && i + 1 < argc) board = argv[++i];
        else if (a == "--raster") raster = true;
        else {
            std::fprintf(stderr, "usage: gw-monkey [--seconds S] [--seed N] [--board FILE] [--raster]\n");
            return 2;
        }
    }
    board = QFileInfo(QString::fromStdString(board)).absoluteFilePath().toStdString();

    // A private program folder: the editor writes cfg.ini there, never beside the real binaries.
    const QString program = QDir::currentPath();
    QTemporaryDir work;
    for (const char* sub : {"data", "lang", "ics"}) QFile::link(program + "/" + sub, work.filePath(sub));
    QDir::setCurrent(work.path());

    auto dialogs = std::make_shared<CancelAll>();
    AppOptions o;
    o.splashMinMs = 0;
    o.showSplash = false;
    o.forceRaster = raster;
    o.dialogs = dialogs;
    std::unique_ptr<TApp> app = TApp::Create(o);
    app->Window->resize(900, 700);
    app->Window->show();
    if (!QTest::qWaitForWindowExposed(app->Window)) std::fprintf(stderr, "gw-monkey: the window did not show\n");
    app->menOpen(board);
    if (app->board->deviceList.empty()) {
        std::fprintf(stderr, "gw-monkey: %s did not open\n", board.c_str());
        return 1;
    }

    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<CatalogueEntry> catalogue = makeBuiltinCatalogue();
    QWidget* canvas = app->canvas->widget();

    long long events = 0, edits = 0, checks = 0;
    std::vector<std::string> reports;
    std::string last = bytesOf(*app->board);
    auto check = [&] {
        ++checks;
        for (const std::string& p : checkBoard(*app->board)) reports.push_back(p);
        std::string now = bytesOf(*app->board);
        if (now != last) ++edits;
        last = std::move(now);
    };

    // Positions near the devices, where something happens, and now and then anywhere.
    auto point = [&]() {
        const int w = std::max(1, canvas->width()), h = std::max(1, canvas->height());
        if (pick(4) == 0 || app->board->deviceList.empty()) return QPoint(pick(w), pick(h));
        const auto& d = app->board->deviceList[pick(static_cast<int>(app->board->deviceList.size()))];
        const int gx = d->xPos + pick(9) - 3, gy = d->yPos + pick(9) - 3;
        return QPoint(std::clamp(static_cast<int>(app->xMove + app->xScale * 20 * gx), 0, w - 1),
                      std::clamp(static_cast<int>(app->yMove + app->yScale * 20 * gy), 0, h - 1));
    };
    const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::LeftButton, Qt::MiddleButton,
                                       Qt::RightButton};

    QElapsedTimer clock;
    clock.start();
    const qint64 endMs = static_cast<qint64>(seconds * 1000);
    while (clock.elapsed() < endMs && app->valid) {
        // A mode for the next burst of input.
        switch (pick(9)) {
            case 0: app->OnCommand(16); break;
            case 1:
            case 2: app->board->startDeviceMode(catalogue[pick(static_cast<int>(catalogue.size()))].draft); break;
            case 3: app->OnCommand(18); break;
            case 4: app->OnCommand(19); break;
            case 5: app->OnCommand(20); break;
            case 6: app->OnCommand(21); break;
            case 7: app->OnCommand(22); break;
            default:
                app->board->startICMode(pick(2), [](int, const WirePtr&, void*) { return 1; }, nullptr);
                break;
        }
        const int burst = 4 + pick(16);
        for (int k = 0; k < burst && clock.elapsed() < endMs; ++k) {
            const QPoint p = point();
            switch (pick(10)) {
                case 0:
                case 1:
                case 2: QTest::mouseMove(canvas, p); break;
                case 3:
                case 4: {  // a click
                    const auto b = buttons[pick(5)];
                    QTest::mouseMove(canvas, p);
                    QTest::mousePress(canvas, b, {}, p);
                    QTest::qWait(pick(40));
                    QTest::mouseRelease(canvas, b, {}, p);
                    events += 2;
                    break;
                }
                case 5:
                case 6: {  // a drag over a few points
                    const auto b = buttons[pick(4)];
                    QTest::mousePress(canvas, b, {}, p);
                    for (int s = 0, n = 1 + pick(5); s < n; ++s) {
                        QTest::mouseMove(canvas, point());
                        QTest::qWait(pick(25));
                        ++events;
                    }
                    QTest::mouseRelease(canvas, b, {}, point());
                    ++events;
                    break;
                }
                case 7: {  // the wheel
                    QWheelEvent e(QPointF(p), QPointF(canvas->mapToGlobal(p)), QPoint(),
                                  QPoint(0, 120 * (pick(2) ? 1 : -1)), Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                    QApplication::sendEvent(canvas, &e);
                    break;
                }
                case 8: {  // Control held for a click
                    QTest::keyPress(canvas, Qt::Key_Control);
                    QTest::mouseClick(canvas, Qt::LeftButton, Qt::ControlModifier, p);
                    QTest::keyRelease(canvas, Qt::Key_Control);
                    events += 3;
                    break;
                }
                default: {  // a view command now and then
                    const int view[] = {32, 33, 34, 37, 38, 39, 40};
                    app->OnCommand(view[pick(7)]);
                    break;
                }
            }
            ++events;
            // A popup menu from a right click would take the next events; close it as a user would.
            if (app->menu && app->menu->isVisible()) app->menu->hide();
            // Keep the view near the board so the input keeps landing on it.
            if (app->xScale < 0.2 || app->xScale > 5) app->OnCommand(40);
            QTest::qWait(pick(12));
        }
        check();
    }
    check();

    const long long steps = app->updateCount(), frames = app->frameCount();
    std::printf("gw-monkey: seed %u, %.0f s, %s canvas\n", seed, clock.elapsed() / 1000.0,
                app->usesOpenGL() ? "OpenGL" : "raster");
    std::printf("events sent %lld, edits made %lld, steps run %lld, frames drawn %lld, checks %lld, "
                "devices at the end %zu, nets %zu, reports %zu\n",
                events, edits, steps, frames, checks, app->board->deviceList.size(),
                app->board->wireComplexList.size(), reports.size());
    for (std::size_t i = 0; i < reports.size() && i < 20; ++i) std::printf("  report: %s\n", reports[i].c_str());
    app->Destroy();
    QDir::setCurrent(program);
    return reports.empty() ? 0 : 1;
}
