// A burst of 10,000 key presses: fed straight into two stage views' energy meters (the
// baseline), through the input hub as raw desktop presses, and through the local event
// filter as our own window's events. Then the same burst lands in the middle of a 60
// frames-per-second frame loop, which reports its frame rate, longest gap and main-thread
// time against the same loop without the burst; and, on a real X display, the same
// number of presses typed by xdotool and read through XInput2.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>

#include "Tumblewick/stage/hotkey_dispatcher.h"
#include "Tumblewick/stage/stage_input_router.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/x11/desktop_input.h"
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

class Tally final : public tw::InputSubscriber {
   public:
    explicit Tally(tw::InputMonitor& monitor) : subscription_(monitor.subscribe(*this)) {}
    int keys = 0;
    bool keyDown(const tw::KeyPress&) override {
        ++keys;
        return false;
    }

   private:
    tw::InputMonitor::Subscription subscription_;
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

// A 60 fps frame loop that runs until `done` holds (checked every frame) or `limitMs`
// passes, measuring its frames, its longest gap and the main thread's CPU time.
struct FrameLoopRun {
    double wallMs = 0, frames = 0, longestGapMs = 0, mainThreadCpuMs = 0;
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

FrameLoopRun runFrameLoop(Stage& stage, int limitMs, const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer frame;
    frame.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    qint64 last = -1, longest = 0;
    int frames = 0;
    QObject::connect(&frame, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) longest = std::max(longest, now - last);
        last = now;
        ++frames;
        stage.clear();  // the frame reacts to the presses and clears them
        if (clock.elapsed() >= limitMs || done()) loop.quit();
    });
    const double cpuBefore = threadCpuMs();
    clock.start();
    frame.start(1000 / 60);
    loop.exec();
    return {clock.nsecsElapsed() / 1e6, double(frames), longest / 1e6, threadCpuMs() - cpuBefore};
}

void report(benchmark::State& state, const FrameLoopRun& run) {
    state.counters["fps"] = run.frames * 1000 / run.wallMs;
    state.counters["longest_frame_gap_ms"] = run.longestGapMs;
    state.counters["main_thread_cpu_ms"] = run.mainThreadCpuMs;
}

// One second of the frame loop, alone (the baseline: the loop's own cost and the
// machine's jitter) and with the raw burst arriving in one go a third of the way in, as
// one read of the X connection would hand it over.
void BM_FrameLoop(benchmark::State& state) {
    const bool withBurst = state.range(0) != 0;
    Stage stage;
    for (auto _ : state) {
        if (withBurst) QTimer::singleShot(333, [&] { stage.rawBurst(); });
        report(state, runFrameLoop(stage, 1000, [] { return false; }));
    }
}
BENCHMARK(BM_FrameLoop)
    ->ArgName("burst")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// End to end on a real X display (run under Xvfb with QT_QPA_PLATFORM=xcb): xdotool types
// 10,000 letters through XTest while the frame loop runs; the hub reads them as raw
// XInput2 events. Skipped elsewhere.
void BM_XInput2FloodTypedByXdotool(benchmark::State& state) {
    auto& input = tw::DesktopInput::shared();
    if (!input.globalInputAvailable() || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        state.SkipWithError("needs an X display with XInput2 and xdotool");
        return;
    }
    Stage stage;
    Tally tally(input.monitor());
    tw::StageInputRouter stripRouter{input.monitor(), stage.strip, stage.queue};
    for (auto _ : state) {
        tally.keys = 0;
        QProcess typist;
        typist.start("xdotool", {"type", "--delay", "0", QString(kBurst, QLatin1Char('a'))});
        const auto run = runFrameLoop(stage, 60'000, [&] { return tally.keys >= kBurst; });
        typist.waitForFinished();
        report(state, run);
        state.counters["wall_ms"] = run.wallMs;
        state.counters["presses"] = tally.keys;
    }
}
BENCHMARK(BM_XInput2FloodTypedByXdotool)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
