#pragma once
// Where the stage meets the agents: the seven residents' anchors above their acts, the
// hover and click tests that reach the agent host, the console summary, and the
// overlays painted over the acts (thought bubbles, initiative marks, refusal pills,
// mood bars, the sparkle storm). Only residents have a place on the strip; every
// per-flea overlay and both hit tests go through them left to right.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_agent_overlay_state.h"
#include "agent/flea_agent_scheduler.h"
#include "agent/resident_roster.h"
#include "platform/canvas.h"
#include "platform/date.h"

namespace tw {

class TumblewickStage;

// Horizontal reach of the hover and click tests, in points (not scaled).
inline constexpr double kResidentReach = 120;
// What a click asks of a flea.
inline constexpr const char* kTapActionID = "tap";

// The point above a resident's act (y = groundY − 60); absent for any other id.
std::optional<Point> agentBubbleAnchor(const TumblewickStage& stage, std::string_view fleaID);

struct NearestResident {
    std::string_view fleaID;
    double distance = 0;
};
// The resident whose anchor x is nearest to `localX`; on a tie the earlier one.
NearestResident nearestResident(const TumblewickStage& stage, double localX);

// Hovering near a resident attends it; anywhere else clears the attended flea. Every
// live frame tells the host, changed or not.
void updateCursorSpotlight(TumblewickStage& stage, Point globalMouse);
// A click within the strip's band and the reach of a resident becomes a "tap" request.
void routeClickThroughAgent(TumblewickStage& stage, bool shiftHeld);

// "🪄 Agent…" summary of the scheduler's diagnostics.
std::string agentDiagnosticsLine(const std::vector<FleaAgentScheduler::DiagnosticEntry>& diagnostics,
                                 const std::optional<std::string>& attendedFleaID);

// A bubble's text: at most 36 characters, else the first 34 and "…".
std::string agentBubbleText(const std::string& line);

void drawAgentThoughtBubbles(Canvas& context, const TumblewickStage& stage, Date now);
void drawAgentBubble(Canvas& context, Point at, const std::string& text);
void drawAgentInitiativeIndicators(Canvas& context, const TumblewickStage& stage);
void drawAgentRefusalFlickers(Canvas& context, const TumblewickStage& stage, Date now);
void drawAgentMoodBars(Canvas& context, const TumblewickStage& stage);
// Reads what the mood bars and initiative marks show from the host.
void readAgentOverlayState(const StageAgentHost& host, AgentOverlayState& state);
// Only called above 0.75; `now` in seconds since 2001.
void drawEnergySparkleStorm(Canvas& context, Size bounds, double energy, Date now);

}  // namespace tw
