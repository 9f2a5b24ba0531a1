#pragma once
// What a custom flea's unlocked tech-tree nodes do to its looks.
#include <optional>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/stage/mac_flea_hat_kind.h"
#include "platform/canvas.h"

namespace tw {

struct MacFleaEffectFlags {
    bool hasSparkleTrail = false;
    bool hasGoldAccents = false;
    double scaleMultiplier = 1.0;
    std::optional<Color> tint;  // replaces the body colour; the head gets it at alpha 0.82
    std::optional<Color> auraColor;
    std::optional<MacFleaHatKind> overrideHat;

    friend bool operator==(const MacFleaEffectFlags&, const MacFleaEffectFlags&) = default;
};

// Walks the flea's act's tech tree in document order and applies each unlocked node.
// A colour list that cannot make an opaque colour (fewer than three numbers, or a
// non-finite one) and a "scaleUp" value that is not a finite number change nothing.
MacFleaEffectFlags resolveEffectsMac(const MacCustomFlea& flea, const std::optional<ProgressionSpec>& spec);

// An opaque colour from the first three numbers of a list; nothing when the list is
// too short or holds a non-finite component.
std::optional<Color> colorFromRGB(const std::vector<double>& rgb);

// Strict decimal parse: the whole text is one C-locale floating-point number.
std::optional<double> parseStrictDouble(std::string_view text);

}  // namespace tw
