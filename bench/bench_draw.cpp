// Drawing one frame of a large board: 10,000 devices (gates, adders, memory cells, lamps, switches,
// clocks, in a 100 x 100 block) and 10,000 net segments, with grid lines, grid dots and the
// screen border, through the OpenGL renderer into an offscreen framebuffer.
//
//   AllOnScreen  the whole board in a 4096 x 4096 view at zoom 0.4
//   TenthInView  a 1296 x 1296 view at zoom 0.4 over the board's middle: a tenth of its area
//   *_BoardOnly  the same frames into a renderer that draws nothing: the board's own cost
//                (walking the lists, skipping off-screen things, the drawing rules) without
//                the backend's
//
// The time reported is the CPU time of the drawing thread for TBoardEngine::Draw plus the
// renderer's submission (vertex upload, draw calls); the GPU's work (Mesa's software rasteriser
// under Xvfb) is waited for outside the measured time. Counters: quads and draw calls per frame,
// and build_ms / submit_ms, the thread CPU time of the two halves (Draw filling the renderer's
// batch, endFrame handing the rest to OpenGL; batches that fill up are handed over during Draw). Needs OpenGL 3.3 (run under Xvfb);
// without it the OpenGL cases report an error and skip.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <tuple>
#include <vector>
#include <utility>

#include "board/BoardEngine.h"
#include "generators.h"
#include "model/InputDevices.h"
#include "model/LogicDevices.h"
#include "ui/gl/GLCanvas.h"
#include "ui/gl/GLRenderer.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

constexpr int kCols = 100, kRows = 100, kStep = 5;  // devices 5 cells apart: a 500 x 500 cell board

// Devices in rows; in each row the first output of every device is wired to the first input of
// the next one that has an input, with one straight segment. 99 links per row, plus one spare
// segment per row below it: 10,000 segments.
struct DrawBoard {
    std::shared_ptr<TBoardEngine> b = TBoardEngine::Create();
    std::vector<DraftPtr> kinds = {TLogic::Create(2, 0), TLogic::Create(3, 1), TLogic::Create(1, 2),
                                   TAdder::Create(1),    TLogic::Create(2, 1), TRam::Create(),
                                   TLed::Create(255, 100, 100), TSwich::Create(1), TTicker::Create(500),
                                   TLogic::Create(4, 0)};
    int segments = 0;

    DrawBoard() {
        for (int j = 0; j < kRows; ++j)
            for (int i = 0; i < kCols; ++i) {
                // Adders and memory cells are 4 wide: they stand only where the next slot is a
                // 2-wide one, and the kinds cycle so that neighbours never overlap.
                const DraftPtr& d = kinds[(i + j) % kinds.size()];
                auto dev = makePooled<TDevice>(d, kStep * i, kStep * j);
                if (i % 7 == 3 && !dev->invertedInputs.empty()) dev->invertedInputs[0] = 1;
                b->deviceList.push_back(dev);
            }
        for (int j = 0; j < kRows; ++j) {
            for (int i = 0; i + 1 < kCols; ++i) {
                TDevice* from = b->deviceList[j * kCols + i].get();
                TDevice* to = b->deviceList[j * kCols + i + 1].get();
                auto w = makePooled<TWireComplex>();
                int x1 = from->xPos + 1, y1 = from->yPos, x2 = to->xPos - 1, y2 = to->yPos;
                if (from->draft->countOutputs() > 0) {
                    x1 = from->xPos + from->draft->getOutputXPos(0);
                    y1 = from->yPos + from->draft->getOutputYPos(0);
                    from->outputs[0] = w.get();
                    w->Input = from;
                }
                if (to->draft->countInputs() > 0) {
                    x2 = to->xPos + to->draft->getInputXPos(0);
                    y2 = to->yPos + to->draft->getInputYPos(0);
                    to->inputs[0] = w.get();
                    w->outputList.push_back(to);
                }
                w->addWire(x1, y1, x2, y2);
                b->wireComplexList.push_back(w);
                ++segments;
            }
            auto spare = makePooled<TWireComplex>();
            spare->addWire(0, kStep * j + 3, kStep * (kCols - 1), kStep * j + 3);
            b->wireComplexList.push_back(spare);
            ++segments;
        }
        b->invalidateIndex();
        // A few steps so lamps, counters and nets carry values.
        for (int i = 0; i < 3; ++i) b->updateDevices();
    }
};

DrawBoard& board() {
    static DrawBoard big;
    return big;
}

// Draws nothing: what is left is the board's own work.
class NullRenderer : public Renderer {
public:
    long long ops = 0;
    void clear() override { ++ops; }
    void drawImage(const Image*, double, double, int) override { ++ops; }
    void drawImageRect(const Image*, double, double, double, double, int) override { ++ops; }
    void drawLine(double, double, double, double) override { ++ops; }
    void drawRect(double, double, double, double) override { ++ops; }
    void plot(double, double) override { ++ops; }
    void drawText(const std::string&, double, double) override { ++ops; }
};

struct View {
    int w, h;
    double xMove, yMove, zoom;
};

// The whole board: 500 cells * 20 px * 0.4 = 4000 px, with a 48 px margin.
constexpr View kAll{4096, 4096, 48, 48, 0.4};
// A tenth of the board's area around its middle at the same zoom.
constexpr View kTenth{1296, 1296, -(2000 - 648), -(2000 - 648), 0.4};
// A normal editor view, 1280 x 800 at zoom 1, over the middle of the million-device board.
constexpr View kNormal{1280, 800, -(3000 * 20 - 640), -(8000 * 20 - 400), 1.0};

struct GL {
    std::unique_ptr<QOpenGLContext> ctx;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLFramebufferObject> fboAll, fboTenth, fboNormal;
    GLRenderer renderer;
    std::shared_ptr<Pics> pics;
    bool ok = false;

    GL() {
        pics = Pics::Load("data");
        if (!GLCanvas::glAvailable()) return;
        ctx = std::make_unique<QOpenGLContext>();
        if (!ctx->create()) return;
        surface = std::make_unique<QOffscreenSurface>();
        surface->setFormat(ctx->format());
        surface->create();
        if (!ctx->makeCurrent(surface.get())) return;
        fboAll = std::make_unique<QOpenGLFramebufferObject>(kAll.w, kAll.h);
        fboTenth = std::make_unique<QOpenGLFramebufferObject>(kTenth.w, kTenth.h);
        fboNormal = std::make_unique<QOpenGLFramebufferObject>(kNormal.w, kNormal.h);
        ok = fboAll->isValid() && fboTenth->isValid() && fboNormal->isValid() && renderer.initialize() && pics->device;
        renderer.setPics(pics);
    }
};

GL& gl() {
    static GL g;
    return g;
}

// Frees the GL objects while the application and the context still exist (the static GL would
// otherwise go after the application, at exit).
void shutdownGL() {
    GL& g = gl();
    if (g.ctx && g.surface && g.ctx->makeCurrent(g.surface.get())) {
        g.renderer.release();
        g.fboAll.reset();
        g.fboTenth.reset();
        g.fboNormal.reset();
        g.ctx->doneCurrent();
    }
    g.ctx.reset();
    g.surface.reset();
}

double threadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void drawGL(benchmark::State& state, TBoardEngine& b, const View& v, QOpenGLFramebufferObject* (*fbo)(GL&),
            bool dryRun = false) {
    GL& g = gl();
    if (!g.ok) {
        state.SkipWithError("no OpenGL 3.3 context or no data/ (run from bin/ under Xvfb)");
        return;
    }
    b.bGridOn = static_cast<int>(state.range(0));
    GLRenderer& r = g.renderer;
    r.setTiming(true);
    r.setDryRun(false);
    double frameMs = 0, uploadMs = 0, issueMs = 0, rasterMs = 0;
    int quads = 0, calls = 0, dropped = 0;
    // One frame first: glyph and frame uploads belong to start-up, not to a frame.
    r.beginFrame(fbo(g)->handle(), v.w, v.h);
    r.resetState();
    b.Draw(r, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
    r.endFrame();
    g.ctx->functions()->glFinish();
    r.setDryRun(dryRun);
    using Clock = std::chrono::steady_clock;
    std::vector<double> perFrame;
    perFrame.reserve(4096);
    for (auto _ : state) {
        const double c0 = threadCpuMs();
        r.beginFrame(fbo(g)->handle(), v.w, v.h);
        r.resetState();
        b.Draw(r, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
        r.endFrame();
        const double c1 = threadCpuMs();
        // The rasteriser's work (a graphics card's, on real hardware): waited for here, timed
        // on the wall clock, and not part of the frame's CPU time.
        const auto w0 = Clock::now();
        g.ctx->functions()->glFinish();
        const auto w1 = Clock::now();
        // The figure: our own CPU time for the frame, the GL calls excluded.
        const double ours = (c1 - c0) - r.uploadMs() - r.issueMs();
        state.SetIterationTime(ours / 1e3);
        perFrame.push_back(ours);
        frameMs += c1 - c0;
        uploadMs += r.uploadMs();
        issueMs += r.issueMs();
        rasterMs += std::chrono::duration<double, std::milli>(w1 - w0).count();
        quads = r.quads();
        calls = r.drawCalls();
        dropped = r.droppedQuads();
    }
    const double n = static_cast<double>(state.iterations());
    // The median frame: the targets are medians, and on a shared machine the mean carries the
    // frames that another process's work slowed down.
    if (!perFrame.empty()) {
        auto mid = perFrame.begin() + static_cast<std::ptrdiff_t>(perFrame.size() / 2);
        std::nth_element(perFrame.begin(), mid, perFrame.end());
        state.counters["median_ms"] = *mid;
    }
    state.counters["thread_ms"] = frameMs / n;
    state.counters["upload_ms"] = uploadMs / n;
    state.counters["issue_ms"] = issueMs / n;
    state.counters["finish_ms"] = rasterMs / n;
    state.counters["quads"] = quads;
    state.counters["dropped"] = dropped;
    state.counters["draw_calls"] = calls;
    r.setDryRun(false);
}

void BM_DrawAllOnScreen(benchmark::State& state) {
    drawGL(state, *board().b, kAll, [](GL& g) { return g.fboAll.get(); });
}
void BM_DrawTenthInView(benchmark::State& state) {
    drawGL(state, *board().b, kTenth, [](GL& g) { return g.fboTenth.get(); });
}
// The same frames with the batches built but never handed to OpenGL: our CPU alone, without the
// driver and the rasteriser's threads competing for the cores and caches (and quick to profile).
void BM_DrawAllOnScreen_BuildOnly(benchmark::State& state) {
    drawGL(state, *board().b, kAll, [](GL& g) { return g.fboAll.get(); }, true);
}
void BM_DrawTenthInView_BuildOnly(benchmark::State& state) {
    drawGL(state, *board().b, kTenth, [](GL& g) { return g.fboTenth.get(); }, true);
}

// The generated board of 1,000,000 devices (bench/generators.h: slots 6 cells apart, 1,000 to a
// row, rows 16 cells apart), seen through a 1280 x 800 view at zoom 1 over its middle.
TBoardEngine& million() {
    static std::shared_ptr<TBoardEngine> b = [] {
        auto m = gwbench::makeRandomBoard(1000000);
        std::fprintf(stderr, "million board: %zu devices, %zu nets\n", m->deviceList.size(), m->wireComplexList.size());
        return m;
    }();
    return *b;
}
void BM_DrawMillionNormalView(benchmark::State& state) {
    drawGL(state, million(), kNormal, [](GL& g) { return g.fboNormal.get(); });
}

void drawNull(benchmark::State& state, TBoardEngine& b, const View& v) {
    b.bGridOn = static_cast<int>(state.range(0));
    NullRenderer r;
    r.setPics(gl().pics);
    // One frame first: the board builds its index and the types' extents on the first.
    r.resetState();
    b.Draw(r, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
    for (auto _ : state) {
        const double c0 = threadCpuMs();
        r.ops = 0;
        r.resetState();
        b.Draw(r, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
        state.SetIterationTime((threadCpuMs() - c0) / 1e3);
    }
    state.counters["draw_ops"] = static_cast<double>(r.ops);
}
void BM_DrawAllOnScreen_BoardOnly(benchmark::State& state) { drawNull(state, *board().b, kAll); }
void BM_DrawTenthInView_BoardOnly(benchmark::State& state) { drawNull(state, *board().b, kTenth); }
void BM_DrawMillionNormalView_BoardOnly(benchmark::State& state) { drawNull(state, million(), kNormal); }
// The view beside the board: the fixed cost of deciding that nothing is to be drawn.
void BM_DrawNothingInView_BoardOnly(benchmark::State& state) {
    drawNull(state, *board().b, View{kTenth.w, kTenth.h, -20000, -20000, kTenth.zoom});
}

// Argument: grid dots on (1) or off (0). The dots are one pixel per visible grid crossing: with
// the whole 500 x 500 cell board in view that is 250,000 of them whatever the zoom.
// GW_DRAW_MIN_TIME=seconds: a shorter (or longer) minimum measuring time per case than 1 s.
double minTime() {
    const char* s = std::getenv("GW_DRAW_MIN_TIME");
    const double t = s ? std::atof(s) : 0;
    return t > 0 ? t : 1.0;
}

// Argument: grid dots on (1) or off (0). The dots are one pixel per visible grid crossing: with
// the whole 500 x 500 cell board in view that is 250,000 of them whatever the zoom.
void registerAll() {
    const double t = minTime();
    for (auto [name, fn] : {std::pair{"BM_DrawAllOnScreen", &BM_DrawAllOnScreen},
                            std::pair{"BM_DrawTenthInView", &BM_DrawTenthInView},
                            std::pair{"BM_DrawAllOnScreen_BuildOnly", &BM_DrawAllOnScreen_BuildOnly},
                            std::pair{"BM_DrawTenthInView_BuildOnly", &BM_DrawTenthInView_BuildOnly},
                            std::pair{"BM_DrawAllOnScreen_BoardOnly", &BM_DrawAllOnScreen_BoardOnly},
                            std::pair{"BM_DrawTenthInView_BoardOnly", &BM_DrawTenthInView_BoardOnly}})
        benchmark::RegisterBenchmark(name, fn)->ArgName("dots")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(t);
    for (auto [name, fn] : {std::pair{"BM_DrawMillionNormalView", &BM_DrawMillionNormalView},
                            std::pair{"BM_DrawMillionNormalView_BoardOnly", &BM_DrawMillionNormalView_BoardOnly}})
        benchmark::RegisterBenchmark(name, fn)->ArgName("dots")->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(t);
    benchmark::RegisterBenchmark("BM_DrawNothingInView_BoardOnly", &BM_DrawNothingInView_BoardOnly)
        ->ArgName("dots")->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(t);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    GLCanvas::setDefaultFormat();
    QGuiApplication app(argc, argv);
    // Links are single segments, not split per grid point as the editor would split them: the
    // drawing cost is per segment, and 10,000 of them is the figure asked for.
    DrawBoard& big = board();
    std::fprintf(stderr, "board: %zu devices, %d segments\n", big.b->deviceList.size(), big.segments);
    // GW_DRAW_PICTURE=name: saves the all-on-screen and the tenth-in-view frames as drawn through
    // OpenGL (name_all.png, name_tenth.png), and exits.
    if (const char* out = std::getenv("GW_DRAW_PICTURE")) {
        GL& g = gl();
        if (!g.ok) return 1;
        bool saved = true;
        for (const auto& [v, fbo, suffix] : {std::tuple{kAll, g.fboAll.get(), "_all.png"},
                                             std::tuple{kTenth, g.fboTenth.get(), "_tenth.png"}}) {
            g.renderer.beginFrame(fbo->handle(), v.w, v.h);
            g.renderer.resetState();
            big.b->Draw(g.renderer, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
            g.renderer.endFrame();
            saved = fbo->toImage().save(QString::fromStdString(std::string(out) + suffix)) && saved;
        }
        shutdownGL();
        return saved ? 0 : 1;
    }
    // GW_DRAW_PROFILE=frames: draws that many build-only frames of each view (batches built, never
    // handed to OpenGL), grid dots off (on with GW_DRAW_DOTS set), and prints the fastest and the
    // median frame's thread CPU time: a quick figure while working on the drawing code, less
    // disturbed by a loaded machine, and a clean loop to profile.
    if (const char* frames = std::getenv("GW_DRAW_PROFILE")) {
        GL& g = gl();
        if (!g.ok) return 1;
        const int n = std::max(1, std::atoi(frames));
        g.renderer.setDryRun(true);
        big.b->bGridOn = std::getenv("GW_DRAW_DOTS") ? 1 : 0;
        for (const auto& [v, fbo, name] : {std::tuple{kAll, g.fboAll.get(), "all on screen"},
                                           std::tuple{kTenth, g.fboTenth.get(), "a tenth in view"}}) {
            std::vector<double> ms;
            for (int i = 0; i <= n; ++i) {
                const double c0 = threadCpuMs();
                g.renderer.beginFrame(fbo->handle(), v.w, v.h);
                g.renderer.resetState();
                big.b->Draw(g.renderer, v.xMove, v.yMove, v.zoom, v.zoom, v.w, v.h);
                g.renderer.endFrame();
                if (i > 0) ms.push_back(threadCpuMs() - c0);
            }
            std::sort(ms.begin(), ms.end());
            std::printf("%-16s min %.3f ms, median %.3f ms, %d quads (%d dropped), %d draw calls\n", name, ms.front(),
                        ms[ms.size() / 2], g.renderer.quads(), g.renderer.droppedQuads(), g.renderer.drawCalls());
            std::printf("%-16s tenths of the sorted frames:", "");
            for (int k = 1; k < 10; ++k) std::printf(" %.3f", ms[ms.size() * k / 10]);
            std::printf(" ms\n");
        }
        shutdownGL();
        return 0;
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shutdownGL();
    return 0;
}
