// Submission cost of the OpenGL renderer: 100,000 tinted, translucent quads per frame from the
// real image set (wire, mark, connector frames, which share one texture page), into an offscreen
// framebuffer. Reports the wall time of building the batch and of submitting it (vertex upload
// and draw calls; the GPU's work is waited for outside the measured time) and the draw calls
// per frame. Needs a display with
// OpenGL (run under Xvfb); without one the benchmark reports an error and skips.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFramebufferObject>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "ui/gl/GLCanvas.h"
#include "ui/gl/GLRenderer.h"
#include "ui/render/Pics.h"

using namespace gw;

namespace {

struct Fixture {
    std::unique_ptr<QOpenGLContext> ctx;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    GLRenderer renderer;
    std::shared_ptr<Pics> pics;
    bool ok = false;

    Fixture() {
        if (!GLCanvas::glAvailable()) return;
        ctx = std::make_unique<QOpenGLContext>();
        if (!ctx->create()) return;
        surface = std::make_unique<QOffscreenSurface>();
        surface->setFormat(ctx->format());
        surface->create();
        if (!ctx->makeCurrent(surface.get())) return;
        fbo = std::make_unique<QOpenGLFramebufferObject>(1280, 800);
        pics = Pics::Load("data");
        ok = fbo->isValid() && renderer.initialize() && pics->mark && pics->wire && pics->connections;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_GLSubmit100kTintedQuads(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no OpenGL 3.3 context (run under Xvfb with Mesa)");
        return;
    }
    GLRenderer& r = f.renderer;
    const Image* imgs[3] = {f.pics->mark.get(), f.pics->wire.get(), f.pics->connections.get()};
    const int n = static_cast<int>(state.range(0));
    int calls = 0;
    double buildMs = 0, submitMs = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        r.beginFrame(f.fbo->handle(), 1280, 800);
        r.resetState();
        r.setClearColor(240, 240, 240);
        r.clear();
        for (int i = 0; i < n; ++i) {
            r.setColor(i & 255, (i >> 3) & 255, 180);
            r.setAlpha(0.5 + (i & 1) * 0.5);
            r.setScale(1 + (i & 3) * 0.25, 1 + (i & 3) * 0.25);
            r.drawImage(imgs[i % 3], (i * 7) % 1280, (i * 13) % 800, i % 3 == 0 ? 0 : (i / 3) % 3);
        }
        const auto t1 = Clock::now();
        r.endFrame();
        const auto t2 = Clock::now();
        calls = r.drawCalls();
        buildMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        submitMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
        // The GPU's (here: Mesa's software rasteriser's) work is not submission cost: wait for
        // it outside the measured time so frames do not pile up.
        f.ctx->functions()->glFinish();
    }
    const double it = static_cast<double>(state.iterations());
    state.counters["build_ms"] = buildMs / it;
    state.counters["submit_ms"] = submitMs / it;
    state.counters["draw_calls"] = calls;
    state.counters["pages"] = r.pageCount();
    state.counters["quads"] = n;
}
BENCHMARK(BM_GLSubmit100kTintedQuads)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    GLCanvas::setDefaultFormat();
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
