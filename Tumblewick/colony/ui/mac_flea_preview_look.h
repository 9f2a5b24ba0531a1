#pragma once
// What the colony's flea preview draws, and the drawing itself: the stage's own flea
// figure, so a flea looks the same in the window as on the strip.
#include <optional>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/mac_flea_effect_flags.h"
#include "Tumblewick/stage/mac_flea_hat_kind.h"
#include "platform/canvas.h"

namespace tw {

struct MacFleaPreviewLook {
    Color bodyColor = Colors::flea;
    Color headColor = Colors::fleaLight;
    std::optional<MacFleaHatKind> hatKind;
    MacFleaEffectFlags effectFlags;
    friend bool operator==(const MacFleaPreviewLook&, const MacFleaPreviewLook&) = default;
};

// Palette colours when the index lies inside the palette, each falling back to the
// default flea's colour when its list cannot make one (too short, not finite), as
// on the stage; the hat when the text names one; the effects of the unlocked nodes.
// Takes the progression document by reference, as the stage's effect resolver does:
// no copy per call.
MacFleaPreviewLook previewLookFor(const MacCustomFlea& flea, const std::optional<ProgressionSpec>& spec);

// The swatch colour of a palette entry, with the same fallback.
Color swatchColor(const ProgressionSpec::BodyColor& entry);

// Aura, flea (facing right, 10 points below the middle, at five times unit size
// times the scale effect), then decorations. Paints nothing else: the backdrop is
// the caller's.
void paintFleaPreview(Canvas& canvas, double width, double height, const MacFleaPreviewLook& look,
                      double phase);

inline constexpr double previewPhaseStep = 0.05;  // per tick
inline constexpr double previewTicksPerSecond = 30;

}  // namespace tw
