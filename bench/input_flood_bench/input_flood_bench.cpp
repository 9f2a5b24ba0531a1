// A burst of 10,000 key presses: fed straight into two stage views' energy meters (the
// baseline), through the input hub as raw desktop presses, and through the local event
// filter as our own window's events. Then the same burst lands in the middle of a 60
// frames-per-second frame loop, which reports the frames it managed and its longest gap
// against the same loop without the burst.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cstdint>

#include "Tumblewick/stage/hotkey_dispatcher.h"
#include "Tumblewick/stage/stage_input_router.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/x11/input_hub.h"
#include "platform/x11/local_input_filter.h"

namespace {

constexpr int kBurst = 10'000;
// X key codes of the letter rows, cycled through so every press is a fresh key.
constexpr std::array<std::uint32_t, 26> kLetters = {24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 38, 39, 40,
                                                    41, 42, 43, 44, 45, 46, 52, 53, 54, 55, 56, 57, 58};

class NoXP final : public tw::CustomFleaXPSink {
   public:
    std::int64_t total = 0;
    void addXPToAll(std::int64_t amount) override { total += amount; }
};

class NoActions final : public tw::HotkeyActions {
   public:
    void toggleRecentThoughts() override {}
    void toggleWatchPanel() override {}
    void toggleDragDownLog() override {}
    void toggleDialogueInspector() override {}
    std::optional<std::filesystem::path> writeChapterToDesktop() override { return std::nullopt; }
    std::optional<std::filesystem::path> writeShareCardToDesktop() override { return std::nullopt; }
};

// The strip and the tray popover on one hub, with the hotkey dispatcher.
struct Stage {
    tw::QtMainQueue queue;
    tw::InputHub hub{queue};
    NoXP xp;
    tw::EnergySystem strip{xp}, popover{xp};
    tw::StageInputRouter stripRouter{hub, strip, queue};
    tw::StageInputRouter popoverRouter{hub, popover, queue};
    NoActions actions;
    tw::HotkeyDispatcher hotkeys{hub, actions, queue};
    std::uint64_t time = 0;

    Stage() { hub.setGlobalInputAvailable(); }
    void rawBurst() {
        for (int i = 0; i < kBurst; ++i) {
            const auto key = kLetters[i % kLetters.size()];
            hub.globalKey(key, 0, true, false, ++time);
            hub.globalKey(key, 0, false, false, ++time);
        }
    }
    void clear() {
        strip.clearEvents();
        popover.clearEvents();
    }
};

void BM_BaselineStraightIntoTwoMeters(benchmark::State& state) {
    NoXP xp;
    tw::EnergySystem strip{xp}, popover{xp};
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i) {
            strip.addKeypress();
            popover.addKeypress();
        }
        strip.clearEvents();
        popover.clearEvents();
    }
    state.counters["presses"] = kBurst;
}
BENCHMARK(BM_BaselineStraightIntoTwoMeters)->Unit(benchmark::kMillisecond);

void BM_RawDesktopBurstThroughTheHub(benchmark::State& state) {
    Stage stage;
    for (auto _ : state) {
        stage.rawBurst();
        benchmark::DoNotOptimize(stage.strip.newKeys);
        stage.clear();
    }
    state.counters["presses"] = kBurst;
}
BENCHMARK(BM_RawDesktopBurstThroughTheHub)->Unit(benchmark::kMillisecond);

void BM_OwnWindowBurstThroughTheEventFilter(benchmark::State& state) {
    Stage stage;
    tw::LocalInputFilter filter(stage.hub);
    QCoreApplication::instance()->installEventFilter(&filter);
    QWindow window;
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i) {
            const auto key = kLetters[i % kLetters.size()];
            QKeyEvent event(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, key, 0, 0);
            event.setTimestamp(++stage.time);
            QCoreApplication::sendEvent(&window, &event);
        }
        stage.clear();
    }
    QCoreApplication::instance()->removeEventFilter(&filter);
    state.counters["presses"] = kBurst;
}
BENCHMARK(BM_OwnWindowBurstThroughTheEventFilter)->Unit(benchmark::kMillisecond);

// One second of a 60 fps frame loop, alone (the baseline: the machine's own jitter) and
// with the raw burst arriving in one go a third of the way in, as one read of the X
// connection would hand it over.
void BM_FrameLoop(benchmark::State& state) {
    const bool withBurst = state.range(0) != 0;
    Stage stage;
    double frames = 0, longestGapMs = 0, burstMs = 0;
    for (auto _ : state) {
        QTimer frame;
        frame.setTimerType(Qt::PreciseTimer);
        QElapsedTimer clock;
        qint64 last = -1;
        int count = 0;
        qint64 longest = 0;
        QObject::connect(&frame, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0) longest = std::max(longest, now - last);
            last = now;
            ++count;
            stage.clear();  // the frame reacts to the presses and clears them
        });
        clock.start();
        frame.start(1000 / 60);
        if (withBurst)
            QTimer::singleShot(333, [&] {
                QElapsedTimer burst;
                burst.start();
                stage.rawBurst();
                burstMs = burst.nsecsElapsed() / 1e6;
            });
        while (clock.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        frames = count;
        longestGapMs = longest / 1e6;
    }
    state.counters["frames_in_1s"] = frames;
    state.counters["longest_frame_gap_ms"] = longestGapMs;
    state.counters["burst_ms"] = burstMs;
}
BENCHMARK(BM_FrameLoop)
    ->ArgName("burst")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
