// gw-board-snapshot: builds a showcase board through the editor itself (devices placed in device
// mode, wires drawn in wire mode, pins inverted in invert mode) with every built-in device kind
// wired together and captions in the three sizes, runs it a few steps, and renders it through the
// raster renderer once per editing mode, with that mode's feedback under a chosen mouse position.
//   gw-board-snapshot [OUT_DIR [DATA_DIR]]     defaults: ., data
// Writes board_default.png, board_device_ok.png, board_device_refused.png, board_wire.png,
// board_caption.png, board_invert.png, board_remove.png, board_remove_device.png, board_ic.png,
// board_move.png and board_move_refused.png. Exits non-zero when a wire or pin did not connect as planned.
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "board/BoardEngine.h"
#include "board/Consistency.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "ui/raster/RasterRenderer.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

struct P {
    int x, y;
};

struct Showcase {
    std::shared_ptr<TBoardEngine> b = TBoardEngine::Create();
    int failures = 0;

    // One Update with the mouse over grid point p.
    void frame(P p, int press, int ctrl = 0) { b->Update(20 * p.x, 20 * p.y, press, press, ctrl); }

    DevicePtr place(const DraftPtr& d, int x, int y) {
        b->startDeviceMode(d);
        const size_t before = b->deviceList.size();
        frame({x, y}, 1);
        frame({x, y}, 0);
        if (b->deviceList.size() != before + 1) {
            std::fprintf(stderr, "could not place %s at %d,%d\n", d->getID().c_str(), x, y);
            ++failures;
            return nullptr;
        }
        return b->deviceList.back();
    }
    static P in(const DevicePtr& d, int i) {
        return {d->xPos + d->draft->getInputXPos(i), d->yPos + d->draft->getInputYPos(i)};
    }
    static P out(const DevicePtr& d, int i) {
        return {d->xPos + d->draft->getOutputXPos(i), d->yPos + d->draft->getOutputYPos(i)};
    }
    // A wire through the given points, pressed one after another with Control held at the corners.
    void route(std::vector<P> pts) {
        b->startWireMode();
        for (size_t i = 0; i < pts.size(); ++i) frame(pts[i], 1, i > 0 && i + 1 < pts.size() ? 1 : 0);
        frame(pts.back(), 0);
    }
    // Output pin of `from` to input pin of `to` with the vertical run in column `midX`.
    void connect(const DevicePtr& from, int o, const DevicePtr& to, int i, int midX) {
        const P a = out(from, o), z = in(to, i);
        std::vector<P> pts{a};
        if (a.y != z.y) {
            pts.push_back({midX, a.y});
            pts.push_back({midX, z.y});
        }
        pts.push_back(z);
        route(pts);
        if (!from->outputs[o] || from->outputs[o] != to->inputs[i]) {
            std::fprintf(stderr, "wire %s.%d -> %s.%d did not connect\n", from->draft->getID().c_str(), o,
                         to->draft->getID().c_str(), i);
            ++failures;
        }
    }
    void invert(P p) {
        b->startInvertMode();
        frame(p, 1);
        frame(p, 0);
    }
    CaptionPtr caption(const std::string& txt, int x, int y, int size, int r, int g, int bl) {
        auto c = TCaption::Create();
        c->txt = txt;
        c->xPos = x;
        c->yPos = y;
        c->Size = size;
        c->colR = r;
        c->colG = g;
        c->colB = bl;
        c->bShadow = 1;
        b->captionList.push_back(c);
        return c;
    }

    DevicePtr toggleA, toggleB, push, clock, random, constant, andGate, orGate, inverter, half, full, ram, counter,
        clock2, random2, ledRed, ledGreen, ledBlue, ledYellow, digits, segments, lonely;

    void build() {
        toggleA = place(TSwich::Create(1), 3, 4);
        toggleB = place(TSwich::Create(1), 3, 9);
        push = place(TSwich::Create(0), 3, 14);
        clock = place(TTicker::Create(250), 3, 19);
        random = place(TTicker::Create(0), 3, 24);
        constant = place(TLogic::Create(3, 3), 3, 29);

        andGate = place(TLogic::Create(2, 0), 12, 4);
        orGate = place(TLogic::Create(3, 1), 12, 11);
        inverter = place(TLogic::Create(1, 2), 12, 19);
        half = place(TAdder::Create(0), 22, 5);
        full = place(TAdder::Create(1), 22, 13);
        ram = place(TRam::Create(), 22, 21);
        ledRed = place(TLed::Create(255, 100, 100), 31, 3);
        ledGreen = place(TLed::Create(100, 255, 100), 31, 8);
        ledBlue = place(TLed::Create(100, 150, 255), 31, 24);
        ledYellow = place(TLed::Create(255, 255, 100), 31, 28);
        counter = place(TCounter::Create(4), 36, 14);
        clock2 = place(TTicker::Create(1000), 42, 9);
        digits = place(TDigital::Create(0, 100, 100, 255), 49, 15);
        random2 = place(TTicker::Create(0), 43, 26);
        segments = place(TDigital::Create(1, 255, 80, 80), 49, 27);
        lonely = place(TLogic::Create(2, 1), 38, 29);  // unwired, so move mode may take it
        if (failures) return;

        // Sources into the gates; every corner column is chosen so no corner lands on another net.
        connect(toggleA, 0, andGate, 0, 7);
        connect(toggleB, 0, andGate, 1, 8);
        connect(push, 0, orGate, 1, 6);
        connect(clock, 0, orGate, 2, 7);
        connect(random, 0, inverter, 0, 9);
        connect(constant, 0, full, 2, 10);
        connect(toggleB, 2, ram, 0, 0);  // the left output of the second switch sets the cell
        connect(push, 3, ram, 1, 1);     // the top output of the push button resets it
        // Gates into the adders; the OR output's net branches (a junction dot).
        connect(andGate, 0, half, 0, 16);
        connect(orGate, 0, half, 1, 17);
        connect(orGate, 0, full, 0, 18);
        connect(inverter, 0, full, 1, 16);
        // Adders and cell into the lamps and the counter.
        connect(half, 0, ledRed, 2, 27);
        connect(half, 1, ledGreen, 2, 28);
        connect(ram, 0, ledBlue, 2, 27);
        connect(ram, 1, ledYellow, 2, 28);
        connect(full, 0, counter, 4, 29);
        connect(full, 1, counter, 5, 27);
        connect(clock2, 2, counter, 0, 40);
        // Counter into the number display, a random source into the segment display.
        for (int i = 0; i < 4; ++i) connect(counter, i, digits, i, 42 + i);
        connect(random2, 0, segments, 2, 45);
        connect(random2, 1, segments, 4, 45);
        connect(random2, 3, segments, 0, 45);

        // Some inverted pins: a NAND out of the AND gate, an inverted lamp input, an inverted
        // display input, the full adder's carry input (turning the constant 1 into 0) and an
        // unwired input of the lonely gate.
        invert(out(andGate, 0));
        invert(in(ledGreen, 2));
        invert(in(segments, 0));
        invert(in(full, 2));
        invert(in(lonely, 1));

        caption("Gatewright", 14, -3, 2, 40, 60, 160);
        caption("adders and memory", 19, 1, 1, 20, 110, 40);
        caption("small print: counter and displays", 35, 6, 0, 150, 40, 40);

        toggleA->data = 1;
        toggleB->data = 1;
        b->startDefaultMode();
        for (int i = 0; i < 6; ++i) frame({0, -10}, 0);
        // The marks of all the building frames would otherwise show in the first picture.
        b->mark_x.clear();
        b->mark_y.clear();
        b->mark_color.clear();
        for (const auto& p : checkBoard(*b)) {
            std::fprintf(stderr, "unsound board: %s\n", p.c_str());
            ++failures;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string outDir = argc > 1 ? argv[1] : ".";
    const std::string dataDir = argc > 2 ? argv[2] : "data";
    auto pics = Pics::Load(dataDir);
    if (!pics->device || !pics->font14) {
        std::fprintf(stderr, "no image set in %s\n", dataDir.c_str());
        return 2;
    }

    Showcase s;
    s.build();
    if (s.failures) return 1;
    TBoardEngine& b = *s.b;

    const int W = 1180, H = 800;
    const double xMove = 40, yMove = 100, zoom = 1.0;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    RasterRenderer r;
    r.setPics(pics);
    auto shoot = [&](const std::string& name, const std::function<void()>& setUp) {
        setUp();
        if (!r.begin(&img)) return false;
        r.resetState();
        b.Draw(r, xMove, yMove, zoom, zoom, W, H);
        r.end();
        const std::string path = outDir + "/board_" + name + ".png";
        if (!img.save(QString::fromStdString(path))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        std::printf("%s\n", path.c_str());
        return true;
    };
    // Mouse at a board pixel, one frame without pressing.
    auto hover = [&](double px, double py) { b.Update(static_cast<int>(px), static_cast<int>(py), 0, 0, 0); };

    bool ok = true;
    ok &= shoot("default", [&] {
        b.startDefaultMode();
        hover(20 * 3, 20 * 14);  // over the push button
    });
    ok &= shoot("device_ok", [&] {
        b.startDeviceMode(TLogic::Create(2, 0));
        hover(20 * 44 + 7, 20 * 21 + 5);
    });
    ok &= shoot("device_refused", [&] {
        b.startDeviceMode(TAdder::Create(1));
        hover(20 * 23, 20 * 6);
    });
    ok &= shoot("wire", [&] {
        b.startWireMode();
        b.Update(20 * 13, 20 * 19, 1, 1, 0);  // start at the inverter's output
        hover(20 * 19 + 6, 20 * 26 + 3);
    });
    ok &= shoot("caption", [&] {
        b.startCaptionMode();
        hover(20 * 20 + 5, 20 * 1 + 8);
    });
    ok &= shoot("invert", [&] {
        b.startInvertMode();
        hover(20 * 20, 20 * 21);
    });
    ok &= shoot("remove", [&] {
        b.startRemoveMode();
        hover(20 * 6, 20 * 11);  // on a wire corner
    });
    ok &= shoot("remove_device", [&] {
        b.startRemoveMode();
        hover(20 * 12, 20 * 11 + 4);
    });
    ok &= shoot("ic", [&] {
        b.startICMode(0, {}, nullptr);
        hover(20 * 17, 20 * 8);
    });
    ok &= shoot("move", [&] {
        b.startMoveMode();
        hover(20 * 38, 20 * 29);
        b.Update(20 * 38, 20 * 29, 1, 1, 0);
        b.Update(20 * 41 + 9, 20 * 22 + 4, 0, 1, 0);
    });
    ok &= shoot("move_refused", [&] {
        b.Update(20 * 41 + 9, 20 * 22 + 4, 0, 0, 0);  // drop the lonely gate
        b.startMoveMode();
        hover(20 * 22, 20 * 21);  // the wired memory cell: red
    });
    return ok ? 0 : 1;
}
