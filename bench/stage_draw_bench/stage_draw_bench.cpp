// Painting all seven acts and 2,000 live particles into a full-width strip, against
// a bare clear of the same image in the same run; the same strip with a custom flea
// performing every act; and one frame's move of 2,000 particles. CPU is the whole
// process's: the toolkit hands large fills to its thread pool.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/act_layout.h"
#include "Tumblewick/stage/cannon_act.h"
#include "Tumblewick/stage/fire_breather_act.h"
#include "Tumblewick/stage/juggling_act.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/strong_flea_act.h"
#include "Tumblewick/stage/tightrope_act.h"
#include "Tumblewick/stage/trapeze_act.h"
#include "Tumblewick/stage/unicycle_act.h"
#include "bench/common/clear_strip_baseline.h"
#include "platform/qt/qpainter_canvas.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 150;

struct Stage {
    explicit Stage(tw::RandomSource& random)
        : particles(random),
          tightrope(at(tw::ActSlot::tightrope).x, ground, at(tw::ActSlot::tightrope).width, random),
          trapeze(at(tw::ActSlot::trapeze).x, ground, at(tw::ActSlot::trapeze).width, random),
          cannon(at(tw::ActSlot::cannon).x, ground, at(tw::ActSlot::cannon).width, random),
          strongman(at(tw::ActSlot::strongman).x, ground),
          unicycle(at(tw::ActSlot::unicycle).x, ground),
          juggling(at(tw::ActSlot::juggling).x, ground, random),
          fire(at(tw::ActSlot::firebreather).x, ground, at(tw::ActSlot::firebreather).width, random) {}

    static constexpr tw::ActSpan at(tw::ActSlot slot) { return tw::actSpan(slot, kWidth); }
    static constexpr double ground = kHeight - 15;
    tw::ParticleSystem particles;
    tw::TightropeAct tightrope;
    tw::TrapezeAct trapeze;
    tw::CannonAct cannon;
    tw::StrongFleaAct strongman;
    tw::UnicycleAct unicycle;
    tw::JugglingAct juggling;
    tw::FireBreatherAct fire;

    std::vector<tw::CircusAct*> acts() {
        return {&tightrope, &trapeze, &cannon, &strongman, &unicycle, &juggling, &fire};
    }
};

void BM_ClearOnly(benchmark::State& state) { tw::bench::clearStripBaseline(state, kWidth, kHeight); }
BENCHMARK(BM_ClearOnly)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// Warms the acts up and fills the strip with 2,000 long-lived particles.
void fillStage(Stage& stage, tw::RandomSource& random) {
    stage.juggling.onClickNearby(1);
    stage.fire.onClickNearby(1);
    for (int frame = 0; frame < 60; ++frame) {
        for (auto* act : stage.acts()) act->update(1.0 / 60, 0.8);
    }
    // Long-lived particles spread along the strip, so the count stays at 2,000.
    while (stage.particles.particles.size() < 2000) {
        const double x = random.uniform(0, kWidth);
        stage.particles.sparkle(x, 60, 1);
        stage.particles.confetti(x, 80, 1);
        stage.particles.clickBurst(x, 70, 1);
    }
    stage.particles.particles.resize(2000);
    for (auto& p : stage.particles.particles) {
        p.life = 1000;
        p.maxLife = 1000;
    }
}

void drawFrames(benchmark::State& state, Stage& stage) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        tw::QPainterCanvas canvas(painter);
        canvas.clearRect(tw::Rect{0, 0, kWidth, kHeight});
        for (auto* act : stage.acts()) act->draw(canvas, stage.particles);
        stage.particles.draw(canvas);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
        stage.particles.particles.resize(2000);  // drop the acts' fresh sparkles
    }
    state.counters["particles"] = static_cast<double>(stage.particles.particles.size());
}

void BM_DrawAllActsWith2000Particles(benchmark::State& state) {
    tw::SeededRandomSource random(1234);
    Stage stage(random);
    fillStage(stage, random);
    drawFrames(state, stage);
}
BENCHMARK(BM_DrawAllActsWith2000Particles)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// Every act performed by a custom flea from the shipped document with its whole tech
// tree unlocked: palette colours, hats and every kind of effect, resolved each frame.
void BM_DrawAllActsWithCustomPerformers(benchmark::State& state) {
    tw::progressionSpec() = tw::loadProgressionSpec();
    tw::macCustomFleaByAct().clear();
    std::int64_t colour = 0;
    for (const auto& [key, act] : tw::progressionSpec()->acts) {
        tw::MacCustomFlea flea;
        flea.discoveredAct = key;
        flea.hatKind = "topHat";
        flea.bodyColorIndex = colour++;
        for (const auto& node : act.techTree) flea.unlockedNodeIDs.push_back(node.id);
        tw::macCustomFleaByAct()[key] = flea;
    }
    tw::SeededRandomSource random(1234);
    Stage stage(random);
    fillStage(stage, random);
    drawFrames(state, stage);
    tw::macCustomFleaByAct().clear();
    tw::progressionSpec().reset();
}
BENCHMARK(BM_DrawAllActsWithCustomPerformers)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void BM_Update2000Particles(benchmark::State& state) {
    tw::SeededRandomSource random(1234);
    Stage stage(random);
    fillStage(stage, random);
    for (auto& p : stage.particles.particles) p.life = 1e12;  // none runs out
    for (auto _ : state) {
        stage.particles.update(1.0 / 60);
        benchmark::DoNotOptimize(stage.particles.particles.data());
    }
}
BENCHMARK(BM_Update2000Particles)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
