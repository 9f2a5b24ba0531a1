#include "Tumblewick/stage/tumblewick_stage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/stage/act_layout.h"
#include "Tumblewick/stage/stage_agent_overlays.h"
#include "Tumblewick/stage/stage_shared_tables.h"
#include "Tumblewick/stage/stage_timing.h"
#include "platform/log.h"

namespace tw {
namespace {

constexpr std::uint64_t kGoldenRatio = 0x9E3779B97F4A7C15ULL;

std::string integerText(double value) { return std::to_string(static_cast<std::int64_t>(value)); }

// min(max(integer part of n × u, 0), n − 1): an index from a draw in [0, 1].
std::size_t pickIndex(double u, std::size_t n) {
    const double k = std::trunc(static_cast<double>(n) * u);
    return static_cast<std::size_t>(std::clamp(k, 0.0, static_cast<double>(n - 1)));
}

RandomSource& sourceOf(const StageServices& services) {
    return services.random != nullptr ? *services.random : systemRandomSource();
}

}  // namespace

TumblewickStage::TumblewickStage(Size frameSize, StageServices services, int targetFPS, double uiScale)
    : lastTime(services.clock.monotonic()),
      lastRenderTime(lastTime),
      targetFPS(targetFPS),
      energy(services.xp),
      particles(sourceOf(services)),
      uiScale(uiScale),
      groundY(frameSize.height - 15 * uiScale),
      tightrope(actSpan(ActSlot::tightrope, frameSize.width).x, groundY,
                actSpan(ActSlot::tightrope, frameSize.width).width, sourceOf(services)),
      trapeze(actSpan(ActSlot::trapeze, frameSize.width).x, groundY,
              actSpan(ActSlot::trapeze, frameSize.width).width, sourceOf(services)),
      cannon(actSpan(ActSlot::cannon, frameSize.width).x, groundY,
             actSpan(ActSlot::cannon, frameSize.width).width, sourceOf(services)),
      strongman(actSpan(ActSlot::strongman, frameSize.width).x, groundY),
      unicycle(actSpan(ActSlot::unicycle, frameSize.width).x, groundY),
      juggling(actSpan(ActSlot::juggling, frameSize.width).x, groundY, sourceOf(services)),
      firebreather(actSpan(ActSlot::firebreather, frameSize.width).x, groundY,
                   actSpan(ActSlot::firebreather, frameSize.width).width, sourceOf(services)),
      lastDebugTime(lastTime),
      services_(services),
      random_(sourceOf(services)),
      bounds_(frameSize) {
    // The stars come from the system generator even in deterministic mode: they are
    // made before any seed is set.
    constexpr double twoPi = 2 * std::numbers::pi;
    for (int i = 0; i < 15; ++i) {
        const double x = random_.uniform(0, 1);
        const double y = random_.uniform(0, 0.6);
        double phase = random_.uniform(0, twoPi);
        if (phase >= twoPi) phase = 0;
        ambientStars.push_back({x, y, phase});
    }
    const double s = uiScale;
    const double w = frameSize.width;
    gears = {Gear{30 * s, 50 * s, 18 * s, 8}, Gear{w - 30 * s, 50 * s, 18 * s, 8},
             Gear{60 * s, 80 * s, 12 * s, 6}, Gear{w - 60 * s, 80 * s, 12 * s, 6}};
    scheduleUpdateCheck();
}

TumblewickStage::~TumblewickStage() {
    if (updateCheckTask_) services_.mainQueue.cancel(*updateCheckTask_);
}

void TumblewickStage::scheduleUpdateCheck() {
    if (!updateCheckEnabled(services_.defaults)) return;
    if (services_.updateChecker == nullptr) return;
    UpdateChecker* checker = services_.updateChecker;
    const auto found =
        lifetime_.guarded([this](const std::string& version) { updateAvailableVersion = version; });
    updateCheckTask_ = services_.mainQueue.postAfter(StageTiming::updateCheckDelaySeconds,
                                                     [found, checker] { checker->checkForUpdates(found); });
}

bool TumblewickStage::update() {
    const double now = services_.clock.monotonic();
    if (!deterministicMode && now - lastRenderTime < minFrameDuration()) return false;
    lastRenderTime = now;
    refreshStageSharedTables(services_.customFleas.fleas(), now, minFrameDuration());

    const double dt = deterministicMode ? StageTiming::deterministicFrameSeconds
                                        : std::min(now - lastTime, StageTiming::maxFrameSeconds);
    lastTime = now;
    frameCount += 1;

    double e = 0;
    if (!deterministicMode) {
        const Point mouse = services_.screen.globalMouseLocation();
        const double screenHeight = services_.screen.mainScreenHeight().value_or(0);
        energy.poll(dt, Point{mouse.x, screenHeight - mouse.y});
        e = energy.normalized();
        services_.agentHost.setEnergyFraction(e);
        updateCursorSpotlight(*this, mouse);
    } else {
        runDeterministicTimeline(dt);
        e = energy.normalized();
    }

    if (now - lastDebugTime > StageTiming::debugLineSeconds) {
        log::plain("⚡ Energy: " + integerText(e * 100) +
                   "% | Particles: " + std::to_string(particles.particles.size()) + " | Floaters: " +
                   std::to_string(floaters.size()) + " | Shockwaves: " + std::to_string(shockwaves.size()));
        log::plain(agentDiagnosticsLine(services_.agentHost.schedulerDiagnostics(),
                                        services_.agentHost.attendedFleaID()));
        lastDebugTime = now;
    }

    if (!deterministicMode) {
        if (energy.clicked) onClick();
        if (energy.newKeys > 0) onKeystrokes(energy.newKeys);
    }
    energy.clearEvents();

    for (CircusAct* act : acts()) act->update(dt, e);
    particles.update(dt);
    for (auto& star : ambientStars) star.phase += 1.2 * dt;
    if (!audienceInitialized) layOutAudience();
    for (auto& group : audienceGroups) {
        for (auto& flea : group.fleas) flea.jump *= audienceJumpDecay;
    }
    for (auto& gear : gears) gear.update(dt, e);
    for (auto& wave : shockwaves) wave.update(dt);
    std::erase_if(shockwaves, [](const Shockwave& wave) { return !wave.alive; });
    for (auto& floater : floaters) floater.update(dt);
    std::erase_if(floaters, [](const FloatingText& floater) { return !floater.alive; });
    groundFlash *= 0.88;
    bannerGlow *= 0.92;

    // The comparison with 0.35 comes first: at lower energy no number is drawn.
    if (e > 0.35 && randDouble(0, 1) < e * 0.35) {
        const double x = randDouble(60, bounds_.width - 60);
        const double y = randDouble(15, groundY - 25);
        particles.sparkle(x, y, 1);
    }
    return true;
}

void TumblewickStage::layOutAudience() {
    audienceInitialized = true;
    const double w = bounds_.width;
    struct Layout {
        int count;
        double start;
        double step;
    };
    for (const Layout& layout : {Layout{5, 0.12, 8}, Layout{6, 0.48, 8}, Layout{4, 0.76, 9}}) {
        AudienceGroupMac group;
        for (int i = 0; i < layout.count; ++i) {
            group.fleas.push_back({layout.start * w + layout.step * i, groundY - 4, 0});
        }
        audienceGroups.push_back(std::move(group));
    }
}

void TumblewickStage::onClick() {
    log::plain("🎪 CLICK detected! Creating explosion...");
    const double w = bounds_.width;
    const double cx = randDouble(0.2 * w, 0.8 * w);
    const double cy = groundY * 0.6;
    shockwaves.push_back(Shockwave{cx, cy, 5, 180, 300, true});
    shockwaves.push_back(Shockwave{cx, cy, 10, 120, 250, true});
    const std::size_t before = particles.particles.size();
    particles.clickBurst(cx, cy, 40);
    particles.confetti(cx, cy - 20, 20);
    log::plain("💥 Particles created: " + std::to_string(particles.particles.size() - before) +
               " (total: " + std::to_string(particles.particles.size()) + ")");

    static constexpr std::array<const char*, 6> words = {"BANG!", "POW!",  "SNAP!",
                                                         "WHEE!", "BOOM!", "CRACK!"};
    static constexpr std::array<Color, 4> colors = {Colors::systemYellow, Color::rgb(1, 0.41, 0.71),
                                                    Colors::systemOrange, Colors::gold};
    const int n = std::min(2 + static_cast<int>(std::trunc(2 * randDouble(0, 1))), 3);
    for (int i = 0; i < n; ++i) {
        // The draws come in this order: word, colour, dx, dy, size.
        const std::string word = words[pickIndex(randDouble(0, 1), words.size())];
        const Color color = colors[pickIndex(randDouble(0, 1), colors.size())];
        const double dx = randDouble(-80, 80);
        const double dy = randDouble(5, 40);
        const double size = randDouble(0.8, 1.4);
        floaters.push_back(FloatingText{cx + dx, cy - dy, word, color, 1.5, 1.2, -45, size, true});
        char sizeText[32];
        std::snprintf(sizeText, sizeof sizeText, "%.1f", size);
        log::plain("📝 Text spawned: '" + word + "' at (" + integerText(cx + dx) + ", " +
                   integerText(cy - dy) + ") size:" + sizeText + "x");
    }
    groundFlash = 1;
    bannerGlow = 1;
    cannon.fire();
    tightrope.onInput(1);
    juggling.onClickNearby(1);
    firebreather.onClickNearby(1);
    for (auto& gear : gears) gear.onInput(1.5);
}

void TumblewickStage::onKeystrokes(int count) {
    for (int k = 0; k < count; ++k) {
        const std::array<double, 7> fleaX = {tightrope.x + tightrope.width * tightrope.position,
                                             trapeze.x + trapeze.width * 0.5,
                                             cannon.x + 30,
                                             strongman.x,
                                             unicycle.x,
                                             juggling.x,
                                             firebreather.x + 20};
        const double x = fleaX[pickIndex(randDouble(0, 1), fleaX.size())];
        const double y = groundY - randDouble(20, 60);
        particles.sparkle(x, y, 5);
        strongman.onKeystroke();
        juggling.onInput(0.3);
        firebreather.onInput(0.3);
        for (auto& gear : gears) gear.onInput(0.3);
    }
    groundFlash = std::max(groundFlash, 0.4);
    bannerGlow = std::max(bannerGlow, 0.3);
}

void TumblewickStage::showStatusMessage(const std::string& message, Color color) {
    floaters.push_back(
        FloatingText{bounds_.width / 2, groundY - 30 * uiScale, message, color, 1.5, 1.2, -45, 1, true});
}

const AgentOverlayState& TumblewickStage::agentOverlayState() const {
    const auto revision = services_.agentHost.revision();
    if (!revision || !agentOverlays_.read || *revision != agentOverlays_.revision) {
        readAgentOverlayState(services_.agentHost, agentOverlays_);
        agentOverlays_.read = revision.has_value();
        agentOverlays_.revision = revision.value_or(0);
    }
    return agentOverlays_;
}

Color TumblewickStage::blendColor(Color a, Color b, double factor) {
    const double t = std::clamp(factor, 0.0, 1.0);
    return Color::rgb((1 - t) * a.red + t * b.red, (1 - t) * a.green + t * b.green,
                      (1 - t) * a.blue + t * b.blue);
}

void TumblewickStage::configureDeterministicMode(bool enabled, std::int64_t seed, bool reset) {
    deterministicMode = enabled;
    deterministicSeed = seed;
    deterministicState_ = seed == 0 ? kGoldenRatio : static_cast<std::uint64_t>(seed);
    if (reset) {
        timelineElapsed_ = 0;
        nextTimelineClick_ = 2.8;
        nextTimelineKeys_ = 0.9;
    }
}

double TumblewickStage::randDouble(double lo, double hi) {
    if (!deterministicMode) {
        constexpr std::int64_t top = std::int64_t{1} << 53;
        const std::int64_t k = random_.uniformInt(0, top);
        if (k == top) return hi;
        return lo + (hi - lo) * static_cast<double>(k) * 0x1p-53;
    }
    std::uint64_t x = deterministicState_ == 0 ? kGoldenRatio : deterministicState_;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    deterministicState_ = x;
    const std::uint64_t r = (x * 0x2545F4914F6CDD1DULL) >> 11;
    return lo + (hi - lo) * static_cast<double>(r) * 0x1p-53;
}

void TumblewickStage::runDeterministicTimeline(double dt) {
    timelineElapsed_ += dt;
    const double t = timelineElapsed_;
    const double level = 0.55 + 0.25 * std::sin(0.8 * t) + 0.15 * std::sin(2.6 * t + 0.4);
    energy.value = level * energy.maxValue;
    energy.smooth += std::min(4.5 * dt, 1.0) * (energy.value - energy.smooth);

    while (nextTimelineKeys_ <= t) {
        const int count = std::clamp(static_cast<int>(std::trunc(3 * randDouble(0, 1))) + 1, 1, 3);
        onKeystrokes(count);
        nextTimelineKeys_ += 0.8 + 0.8 * randDouble(0, 1);
    }
    while (nextTimelineClick_ <= t) {
        onClick();
        nextTimelineClick_ += 2.8 + 2 * randDouble(0, 1);
    }
    const double p = (0.5 + 0.5 * std::sin(1.7 * t)) * 42 + 12;
    bannerGlow = std::max(bannerGlow, std::min(p / 100, 0.5));
    for (auto& gear : gears) gear.onInput(p / 200);
}

void TumblewickStage::routeClickThroughAgent(bool shiftHeld) { tw::routeClickThroughAgent(*this, shiftHeld); }

}  // namespace tw
