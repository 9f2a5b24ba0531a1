#pragma once
// Every period the stage keeps, in one place.
namespace tw::StageTiming {

// A live frame's dt is capped here, so a stall never makes the acts jump.
inline constexpr double maxFrameSeconds = 0.1;
// Deterministic mode advances by exactly this per processed frame.
inline constexpr double deterministicFrameSeconds = 1.0 / 60.0;
// The console's energy and agent summary lines, at most this often.
inline constexpr double debugLineSeconds = 2.0;
// The release-feed check waits this long after the stage is built.
inline constexpr double updateCheckDelaySeconds = 3.0;
// Process-wide tables (the performer of each act) are rebuilt once a frame period, by
// whichever view's frame comes first; frames closer than this share one rebuild.
inline constexpr double sharedTablesRefreshShare = 0.9;

}  // namespace tw::StageTiming
