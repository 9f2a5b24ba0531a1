#pragma once
// The circus stage without its window: the energy meter, effects, acts, gears, stars
// and audience, advanced once per frame by update(), wound by onClick() and
// onKeystrokes(), optionally driven by the seeded timeline, and painted through a
// Canvas by paintStage(). Lengths in points with y growing downward, times in seconds.
// Main thread only.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/stage/audience_group.h"
#include "Tumblewick/stage/cannon_act.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/energy_system.h"
#include "Tumblewick/stage/fire_breather_act.h"
#include "Tumblewick/stage/floating_text.h"
#include "Tumblewick/stage/gear.h"
#include "Tumblewick/stage/juggling_act.h"
#include "Tumblewick/stage/particle_system.h"
#include "Tumblewick/stage/random_source.h"
#include "Tumblewick/stage/shockwave.h"
#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_agent_overlay_state.h"
#include "Tumblewick/stage/stage_custom_fleas.h"
#include "Tumblewick/stage/stage_screen.h"
#include "Tumblewick/stage/strong_flea_act.h"
#include "Tumblewick/stage/tightrope_act.h"
#include "Tumblewick/stage/trapeze_act.h"
#include "Tumblewick/stage/unicycle_act.h"
#include "Tumblewick/stage/update_checker.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"
#include "platform/owner_lifetime.h"
#include "platform/settings_keys.h"

namespace tw {

// What a stage works with; every reference must outlive it.
struct StageServices {
    const Clock& clock;  // monotonic() is media time; now() dates the agents' lines
    MainQueue& mainQueue;
    Defaults& defaults;  // the standard suite
    StageAgentHost& agentHost;
    StageCustomFleas& customFleas;
    CustomFleaXPSink& xp;
    StageScreen& screen;
    UpdateChecker* updateChecker = nullptr;  // none: no check
    RandomSource* random = nullptr;          // none: the system generator
};

class TumblewickStage {
   public:
    struct AmbientStarMac {
        double x = 0;  // 0...1 of the width
        double y = 0;  // 0...0.6 of the ground line
        double phase = 0;
        friend bool operator==(const AmbientStarMac&, const AmbientStarMac&) = default;
    };
    using AudienceFleaMac = tw::AudienceFleaMac;
    using AudienceGroupMac = tw::AudienceGroupMac;

    // Builds the stage for a view of `frameSize` and schedules the update check.
    TumblewickStage(Size frameSize, StageServices services, int targetFPS, double uiScale);
    ~TumblewickStage();
    TumblewickStage(const TumblewickStage&) = delete;
    TumblewickStage& operator=(const TumblewickStage&) = delete;

    // One frame-loop tick at the clock's media time; false when the throttle skipped it.
    bool update();
    void onClick();
    void onKeystrokes(int count);
    void showStatusMessage(const std::string& message, Color color = Colors::systemYellow);
    static Color blendColor(Color a, Color b, double factor);

    void configureDeterministicMode(bool enabled, std::int64_t seed, bool reset);
    // The stage's single random source: seeded xorshift64* in deterministic mode.
    double randDouble(double lo, double hi);

    // A mouse press the monitors saw (any button): routed to the nearest resident flea.
    void routeClickThroughAgent(bool shiftHeld);

    // Bounds of the view; the acts and gears keep the construction geometry.
    void setBounds(Size size) { bounds_ = size; }
    Size bounds() const { return bounds_; }
    double minFrameDuration() const { return 1.0 / targetFPS; }
    // The seven acts in act order: tightrope, trapeze, cannon, strongman, unicycle,
    // juggling, fire-breather.
    std::array<CircusAct*, 7> acts() {
        return {&tightrope, &trapeze, &cannon, &strongman, &unicycle, &juggling, &firebreather};
    }
    const StageServices& services() const { return services_; }
    // The agent overlays' inputs, read from the host only after it changed.
    const AgentOverlayState& agentOverlayState() const;

    double lastTime;
    double lastRenderTime;
    const int targetFPS;
    EnergySystem energy;
    ParticleSystem particles;
    std::vector<Shockwave> shockwaves;
    std::vector<FloatingText> floaters;
    const double uiScale;
    double groundY;  // the floor: frame height − 15 × uiScale
    // All seven exist for the stage's life, at the construction frame's places.
    TightropeAct tightrope;
    TrapezeAct trapeze;
    CannonAct cannon;
    StrongFleaAct strongman;
    UnicycleAct unicycle;
    JugglingAct juggling;
    FireBreatherAct firebreather;
    std::vector<Gear> gears;
    std::vector<AmbientStarMac> ambientStars;
    std::vector<AudienceGroupMac> audienceGroups;
    bool audienceInitialized = false;
    double groundFlash = 0;
    double bannerGlow = 0;
    bool deterministicMode = false;
    std::int64_t deterministicSeed = settings::deterministicSeed.fallback;
    std::optional<std::string> updateAvailableVersion;
    std::int64_t frameCount = 0;
    double lastDebugTime;

   private:
    void runDeterministicTimeline(double dt);
    void layOutAudience();
    void scheduleUpdateCheck();

    StageServices services_;
    mutable AgentOverlayState agentOverlays_;
    RandomSource& random_;
    Size bounds_;
    std::uint64_t deterministicState_ = 0x9E3779B97F4A7C15ULL;
    double timelineElapsed_ = 0;
    double nextTimelineClick_ = 2.8;
    double nextTimelineKeys_ = 0.9;
    std::optional<TaskId> updateCheckTask_;
    // Last: a late update-check answer finds the stage gone before anything else goes.
    OwnerLifetime lifetime_;
};

}  // namespace tw
