#pragma once
// The stage's paint order, back to front, in one function: everything is repainted
// from the stage's state on every frame; parts that never change between frames (the
// bunting, rope and tent tops, the banner box and its title) are drawn as cached
// pictures, which a caching canvas renders once.
#include "platform/canvas.h"
#include "platform/date.h"

namespace tw {

class TumblewickStage;

// Whether the target still holds the last frame. A translucent window's backing store
// is cleared by the toolkit before each paint; clearing it again costs a full fill.
enum class PaintTarget { holdsLastFrame, alreadyClear };

// `now` dates the agents' lines and moves the sparkle storm; `mediaTime` pulses the
// update notice. Not const: the acts spawn their sparks while they draw.
void paintStage(Canvas& context, TumblewickStage& stage, Date now, double mediaTime,
                PaintTarget target = PaintTarget::holdsLastFrame);

}  // namespace tw
