#pragma once
// One frame of the watch view, drawn on a Canvas: backdrop, drifting title and tag
// line, the mood grid, the rotating subtitle, the sparkles and the hint. Positions are
// worked out with y growing upward from the bottom edge and flipped once when drawn.
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/host/agent_activity.h"
#include "platform/canvas.h"
#include "windows/watch/watch_panel_texts.h"

namespace tw::watch {

// What a frame shows, read from the agent host.
struct Scene {
    std::vector<FleaAgentScheduler::DiagnosticEntry> diagnostics;
    std::optional<std::string> attendedFleaID;
    std::vector<agent_host::RecentLine> recentLines;  // oldest first
};

struct Frame {
    Size size;
    double t = 0;          // seconds since 2001
    double hintAlpha = 0;  // 0: no hint
};

// The sparkle field of this run of the process, made on first use.
const std::vector<Sparkle>& processSparkles();

void drawFrame(Canvas& canvas, const Frame& frame, const Scene& scene, const std::vector<Sparkle>& sparkles);
// `centre` with y upward.
void drawMoodGrid(Canvas& canvas, const Frame& frame, const Scene& scene, Point centre);
void drawSubtitle(Canvas& canvas, const Frame& frame, const Scene& scene, Point centre);

}  // namespace tw::watch
