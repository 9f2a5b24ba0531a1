// One full frame of a 1920 × 150 stage with everything on (all acts, a click burst's
// rings and words, 2,000 live particles, every agent overlay, the sparkle storm and the
// update notice): update() then paint, against a bare clear of the same strip in the
// same run. CPU is the whole process's: the toolkit hands large fills (the clear among
// them) to its thread pool, which the calling thread's time alone would not see.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "Tumblewick/stage/stage_painter.h"
#include "Tumblewick/stage/tumblewick_stage.h"
#include "bench/common/clear_strip_baseline.h"
#include "demo_stage_services.h"
#include "platform/log.h"
#include "platform/qt/qpainter_canvas.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 150;

class FixedScreen final : public tw::StageScreen {
   public:
    tw::Point globalMouseLocation() const override { return {900, 40}; }
    std::optional<double> mainScreenHeight() const override { return 1080; }
    std::optional<tw::Rect> windowFrame() const override { return tw::Rect{0, 0, kWidth, kHeight}; }
};

void BM_BareClear(benchmark::State& state) { tw::bench::clearStripBaseline(state, kWidth, kHeight); }
BENCHMARK(BM_BareClear)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// A strip-sized stage with its company, the log silenced while it lives.
struct BenchStage {
    BenchStage() {
        tw::log::setSinkForTesting([](std::string_view) {});
    }
    ~BenchStage() { tw::log::setSinkForTesting(nullptr); }
    tw::testing::ManualClock clock;
    tw::testing::ManualMainQueue queue;
    tw::testing::InMemoryDefaults defaults;
    tw::bench::DemoAgentHost host;
    tw::bench::NoCustomFleas fleas;
    FixedScreen screen;
    tw::SeededRandomSource random{1234};
    tw::TumblewickStage stage{
        {kWidth, kHeight},
        tw::StageServices{clock, queue, defaults, host, fleas, fleas, screen, nullptr, &random},
        60,
        1.0};
};

void BM_FullFrameEverythingOn(benchmark::State& state) {
    BenchStage bench;
    auto& clock = bench.clock;
    auto& stage = bench.stage;
    auto& random = bench.random;
    stage.updateAvailableVersion = "1.5.0";
    clock.advance(0.02);
    stage.update();
    stage.onClick();
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    tw::QPainterCanvasCache cache;
    for (auto _ : state) {
        state.PauseTiming();
        // Keep 2,000 long-lived particles along the strip and the meter full.
        auto& list = stage.particles.particles;
        while (list.size() < 2000) {
            const double x = random.uniform(0, kWidth);
            stage.particles.sparkle(x, 60, 1);
            stage.particles.confetti(x, 80, 1);
            stage.particles.clickBurst(x, 70, 1);
        }
        list.resize(2000);
        for (auto& p : list) p.life = p.maxLife = 10;
        stage.energy.value = stage.energy.smooth = 100;
        if (stage.floaters.empty()) stage.onClick();
        state.ResumeTiming();

        clock.advance(1.0 / 60);
        stage.update();
        QPainter painter(&image);
        tw::QPainterCanvas canvas(painter, &cache);
        tw::paintStage(canvas, stage, clock.now(), clock.monotonic());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["particles"] = static_cast<double>(stage.particles.particles.size());
}
BENCHMARK(BM_FullFrameEverythingOn)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {
// A frame at rest (no input, the meter empty), as the strip spends most of its life.
void BM_RestFrame(benchmark::State& state) {
    BenchStage bench;
    auto& clock = bench.clock;
    auto& stage = bench.stage;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    tw::QPainterCanvasCache cache;
    for (auto _ : state) {
        clock.advance(1.0 / 60);
        stage.update();
        QPainter painter(&image);
        tw::QPainterCanvas canvas(painter, &cache);
        canvas.clearRect(tw::Rect{0, 0, kWidth, kHeight});
        tw::paintStage(canvas, stage, clock.now(), clock.monotonic());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_RestFrame)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// 2,000 live particles alone: stroked and filled each frame, or stamped from cached
// pictures.
void BM_Particles2000(benchmark::State& state) {
    tw::SeededRandomSource random(1234);
    tw::ParticleSystem particles(random);
    while (particles.particles.size() < 2000) {
        const double x = random.uniform(0, kWidth);
        particles.sparkle(x, 60, 1);
        particles.confetti(x, 80, 1);
        particles.clickBurst(x, 70, 1);
    }
    particles.particles.resize(2000);
    for (auto& p : particles.particles) p.life = p.maxLife * 0.7;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    tw::QPainterCanvasCache cache;
    const bool cached = state.range(0) != 0;
    for (auto _ : state) {
        QPainter painter(&image);
        tw::QPainterCanvas canvas(painter, cached ? &cache : nullptr);
        particles.draw(canvas);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Particles2000)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
