#include "Tumblewick/stage/stage_agent_overlays.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>

#include "Tumblewick/stage/act_layout.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/random_source.h"
#include "Tumblewick/stage/tumblewick_stage.h"
#include "platform/unicode.h"

namespace tw {
namespace {

bool isInitiative(AgentAction action) {
    return action == AgentAction::perform_signature || action == AgentAction::attempt_bit ||
           action == AgentAction::initiate_duet || action == AgentAction::pre_action_ritual;
}

// Edges count as inside.
bool withinBand(const Rect& frame, double y) { return y >= frame.y && y <= frame.y + frame.height; }

struct SparkleSeed {
    double x, y, phase;
};

// Made once per process on the first storm and shared by every view.
const std::vector<SparkleSeed>& energySparkleField() {
    static const std::vector<SparkleSeed> field = [] {
        std::vector<SparkleSeed> seeds;
        RandomSource& random = systemRandomSource();
        for (int i = 0; i < 60; ++i) {
            const double x = random.uniform(0, 1);
            const double y = random.uniform(0.05, 0.85);
            const double phase = random.uniform(0, 2 * std::numbers::pi);
            seeds.push_back({x, y, phase});
        }
        return seeds;
    }();
    return field;
}

// Above the flea of each act, by the act table's rule (the middle of an act that spans
// its width, the prop of one that stands in place), from where the act stands: its
// place is fixed when the stage is made, and a later resize does not move it.
std::optional<double> actAnchorX(const TumblewickStage& stage, std::string_view act) {
    const auto spanning = [](const auto& placed) { return ActSpan{placed.x, placed.width}.anchorX(); };
    if (act == "tightrope") return spanning(stage.tightrope);
    if (act == "trapeze") return spanning(stage.trapeze);
    if (act == "cannon") return spanning(stage.cannon);
    if (act == "strongman") return stage.strongman.x;
    if (act == "unicycle") return stage.unicycle.x;
    if (act == "juggling") return stage.juggling.x;
    if (act == "firebreather") return spanning(stage.firebreather);
    return std::nullopt;
}

}  // namespace

std::optional<Point> agentBubbleAnchor(const TumblewickStage& stage, std::string_view fleaID) {
    const Resident* resident = findResident(fleaID);
    const std::optional<double> x = resident ? actAnchorX(stage, resident->act) : std::nullopt;
    if (!x) return std::nullopt;
    return Point{*x, stage.groundY - 60};
}

NearestResident nearestResident(const TumblewickStage& stage, double localX) {
    NearestResident best;
    bool first = true;
    for (std::string_view id : residentsOnStage) {
        const double distance = std::abs(agentBubbleAnchor(stage, id)->x - localX);
        if (first || distance < best.distance) best = {id, distance};
        first = false;
    }
    return best;
}

void updateCursorSpotlight(TumblewickStage& stage, Point globalMouse) {
    const auto& services = stage.services();
    const auto frame = services.screen.windowFrame();
    if (!services.screen.mainScreenHeight() || !frame) return;
    if (!withinBand(*frame, globalMouse.y)) {
        services.agentHost.attendFlea(std::nullopt);
        return;
    }
    const auto nearest = nearestResident(stage, globalMouse.x - frame->x);
    if (nearest.distance < kResidentReach) {
        services.agentHost.attendFlea(std::string(nearest.fleaID));
    } else {
        services.agentHost.attendFlea(std::nullopt);
    }
}

void routeClickThroughAgent(TumblewickStage& stage, bool shiftHeld) {
    const auto& services = stage.services();
    // Where the mouse is now, not where the event happened: routing runs after the
    // monitor's callback has returned.
    const Point mouse = services.screen.globalMouseLocation();
    const auto frame = services.screen.windowFrame();
    if (!frame || !withinBand(*frame, mouse.y)) return;
    const auto nearest = nearestResident(stage, mouse.x - frame->x);
    if (nearest.distance >= kResidentReach) return;
    services.agentHost.noteUserInteraction();
    services.agentHost.requestPlayerAction(std::string(nearest.fleaID), kTapActionID, shiftHeld);
}

std::string agentDiagnosticsLine(const std::vector<FleaAgentScheduler::DiagnosticEntry>& diagnostics,
                                 const std::optional<std::string>& attendedFleaID) {
    std::vector<const FleaAgentScheduler::DiagnosticEntry*> active;
    for (const auto& entry : diagnostics) {
        if (!entry.recent_intent_actions.empty()) active.push_back(&entry);
    }
    if (active.empty()) {
        return "🪄 Agent: " + std::to_string(diagnostics.size()) + " fleas registered, no ticks yet";
    }
    std::string line = "🪄 Agent";
    if (attendedFleaID) line += " · ✨ " + *attendedFleaID;
    line += ": ";
    for (std::size_t i = 0; i < active.size() && i < 7; ++i) {
        if (i > 0) line += "  ";
        line += active[i]->flea_id + ":" + active[i]->recent_intent_actions.back();
    }
    return line;
}

std::string agentBubbleText(const std::string& line) {
    // No more bytes than that is no more characters: no need to count them.
    if (line.size() <= 36 || unicode::graphemeCount(line) <= 36) return line;
    return unicode::graphemePrefix(line, 34) + "…";
}

void drawAgentThoughtBubbles(Canvas& context, const TumblewickStage& stage, Date now) {
    const auto& host = stage.services().agentHost;
    for (std::string_view id : residentsOnStage) {
        const auto line = host.currentLineForFlea(std::string(id), now);
        if (!line) continue;
        if (const auto anchor = agentBubbleAnchor(stage, id)) drawAgentBubble(context, *anchor, *line);
    }
}

// Bubbles, pills and mood bars stay the same from frame to frame while their line,
// refusal or mood does: each is a cached picture named by its content.
void drawAgentBubble(Canvas& context, Point at, const std::string& text) {
    const std::string shown = agentBubbleText(text);
    TextStyle style;
    style.font = Font{FontFamily::system, 11, FontWeight::medium};
    style.color = Color::white(1.0, 0.95);
    const Size size = context.measureText(shown, style.font);
    const double w = size.width + 16;
    const double h = size.height + 8;
    const std::uint64_t key = std::hash<std::string>{}(shown) ^ 0xB0BB1E5ULL;
    context.drawCachedPicture(key, Rect{-w / 2 - 1, -h / 2 - 1, w + 2, h + 2}, at, 1.0,
                              [&](Canvas& c, Point centre, double) {
                                  const Rect box{centre.x - w / 2, centre.y - h / 2, w, h};
                                  const Path capsule = Path::roundedRect(box, h / 2);
                                  c.setFillColor(Color::white(0.06, 0.78));
                                  c.fillPath(capsule);
                                  c.setStrokeColor(Colors::systemYellow.withAlpha(0.45));
                                  c.setLineWidth(0.5);
                                  c.strokePath(capsule);
                                  c.drawText(shown, {box.x + 8, box.y + 4}, style);
                              });
}

void drawAgentRefusalFlickers(Canvas& context, const TumblewickStage& stage, Date now) {
    const auto& host = stage.services().agentHost;
    for (std::string_view id : residentsOnStage) {
        if (!host.currentRefusalFlicker(std::string(id), now)) continue;
        const auto anchor = agentBubbleAnchor(stage, id);
        if (!anchor) continue;
        TextStyle style;
        style.font = Font{FontFamily::system, 11, FontWeight::semibold};
        style.color = Color::white(1.0, 0.95);
        const std::string text = "🤲 not now";
        const Size size = context.measureText(text, style.font);
        const double w = size.width + 12;
        const double h = size.height + 6;
        // The pill sits right of the anchor, centred on it vertically.
        context.drawCachedPicture(0x9111ULL, Rect{59, -h / 2 - 1, w + 2, h + 2}, *anchor, 1.0,
                                  [&](Canvas& c, Point a, double) {
                                      const Rect pill{a.x + 60, a.y - h / 2, w, h};
                                      c.setFillColor(Colors::systemPink.withAlpha(0.55));
                                      c.fillPath(Path::roundedRect(pill, pill.height / 2));
                                      c.drawText(text, {pill.x + 6, pill.y + 3}, style);
                                  });
    }
}

void drawAgentInitiativeIndicators(Canvas& context, const TumblewickStage& stage) {
    TextStyle style;
    style.font = Font{FontFamily::system, 14, FontWeight::regular};
    style.color = Colors::systemBlack;  // the default text colour
    static constexpr const char* mark = "✨";
    const auto& initiatives = stage.agentOverlayState().initiatives;
    if (initiatives.empty()) return;
    // A colour glyph is slow to draw: stamped from a picture.
    const Size size = context.measureText(mark, style.font);
    for (const std::size_t resident : initiatives) {
        if (const auto anchor = agentBubbleAnchor(stage, residentsOnStage[resident])) {
            context.drawCachedPicture(0x5A4CULL, Rect{-1, -1, size.width + 2, size.height + 2},
                                      {anchor->x - 60, anchor->y - 8}, 1.0,
                                      [&](Canvas& c, Point at, double) { c.drawText(mark, at, style); });
        }
    }
}

void readAgentOverlayState(const StageAgentHost& host, AgentOverlayState& state) {
    const auto diagnostics = host.schedulerDiagnostics();
    // Each bar's level in points: out-of-range moods are clamped; NaN draws no level.
    const auto level = [](double value) { return value >= 1 ? 16.0 : 16 * (value > 0 ? value : 0); };
    for (std::size_t i = 0; i < residentsOnStage.size(); ++i) {
        const auto entry = std::find_if(diagnostics.begin(), diagnostics.end(),
                                        [&](const auto& e) { return e.flea_id == residentsOnStage[i]; });
        state.moodLevels[i].reset();
        if (entry == diagnostics.end()) continue;
        const MoodDimensions& m = entry->mood;
        state.moodLevels[i] =
            std::array<double, 4>{level(m.confidence), level(m.joy), level(m.pride), level(m.nerves)};
    }
    state.initiatives.clear();
    for (const auto& flea : host.allStageStates()) {
        if (!flea.current_action || !isInitiative(*flea.current_action)) continue;
        const auto resident = std::find(residentsOnStage.begin(), residentsOnStage.end(), flea.flea_id);
        if (resident != residentsOnStage.end())
            state.initiatives.push_back(static_cast<std::size_t>(resident - residentsOnStage.begin()));
    }
}

void drawAgentMoodBars(Canvas& context, const TumblewickStage& stage) {
    const auto& moods = stage.agentOverlayState().moodLevels;
    for (std::size_t resident = 0; resident < residentsOnStage.size(); ++resident) {
        const auto anchor = agentBubbleAnchor(stage, residentsOnStage[resident]);
        if (!moods[resident] || !anchor) continue;
        const std::array<double, 4>& levels = *moods[resident];
        const PictureKey key(0x300D, {levels[0], levels[1], levels[2], levels[3]});
        context.drawCachedPicture(key, Rect{-23, 23, 44, 18}, *anchor, 1.0,
                                  [&levels](Canvas& c, Point a, double) {
                                      static constexpr std::array<Color, 4> colors = {
                                          Color::rgb(0.4, 0.85, 0.95, 0.85),
                                          Colors::systemYellow.withAlpha(0.85),
                                          Color::rgb(0.96, 0.78, 0.2, 0.85),
                                          Color::rgb(0.95, 0.32, 0.36, 0.85),
                                      };
                                      const double x0 = a.x - 22;
                                      const double y0 = a.y + 24;
                                      for (std::size_t i = 0; i < levels.size(); ++i) {
                                          const double x = x0 + 12.0 * static_cast<double>(i);
                                          c.setFillColor(Color::white(1.0, 0.1));
                                          c.fillPath(Path::roundedRect({x, y0, 6, 16}, 2));
                                          const double h = levels[i];
                                          if (h <= 0) continue;
                                          c.setFillColor(colors[i]);
                                          c.fillPath(Path::roundedRect({x, y0 + 16 - h, 6, h}, 2));
                                      }
                                  });
    }
}

void drawEnergySparkleStorm(Canvas& context, Size bounds, double energy, Date now) {
    const double t = now.seconds;
    const double k = std::clamp((energy - 0.75) * 4, 0.0, 1.0);
    const auto n = static_cast<std::size_t>(std::trunc((k * 0.6 + 0.4) * 60));
    const auto& field = energySparkleField();
    for (std::size_t i = 0; i < n && i < field.size(); ++i) {
        const auto& seed = field[i];
        const double px = seed.x * bounds.width + std::sin(0.4 * t + seed.phase) * 24;
        const double py = seed.y * bounds.height + std::sin(0.25 * t + 1.3 * seed.phase) * 6;
        const double alpha = k * ((std::sin(1.2 * t + seed.phase) * 0.5 + 0.5) * 0.5 + 0.3);
        // One little white dot every time: stamped, its twinkle as the opacity.
        context.drawCachedPicture(0x5A4C'57A2ULL, Rect{-0.5, -0.5, 3.5, 3.5}, {px - 1, py - 1}, alpha,
                                  [](Canvas& p, Point at, double opacity) {
                                      p.setFillColor(Color::white(1.0, opacity));
                                      p.fillEllipse({at.x, at.y, 2.5, 2.5});
                                  });
    }
}

}  // namespace tw
