#include "Tumblewick/colony/ui/mac_flea_preview_look.h"

#include <cmath>

#include "Tumblewick/stage/custom_flea_looks.h"
#include "Tumblewick/stage/flea_figure.h"

namespace tw {

MacFleaPreviewLook previewLookFor(const MacCustomFlea& flea, const std::optional<ProgressionSpec>& spec) {
    MacFleaPreviewLook look;
    const auto index = flea.bodyColorIndex;
    if (spec && index >= 0 && index < static_cast<std::int64_t>(spec->bodyPalette.size())) {
        const auto& entry = spec->bodyPalette[static_cast<std::size_t>(index)];
        look.bodyColor = colorFromRGB(entry.bodyRGB).value_or(Colors::flea);
        look.headColor = colorFromRGB(entry.headRGB).value_or(Colors::fleaLight);
    }
    look.hatKind = macFleaHatKindFromRawValue(flea.hatKind);
    look.effectFlags = resolveEffectsMac(flea, spec);
    return look;
}

Color swatchColor(const ProgressionSpec::BodyColor& entry) {
    return colorFromRGB(entry.bodyRGB).value_or(Colors::flea);
}

void paintFleaPreview(Canvas& canvas, double width, double height, const MacFleaPreviewLook& look,
                      double phase) {
    const auto& effects = look.effectFlags;
    const double x = width * 0.5;
    const double y = height * 0.5 + 10;
    // A scale effect too large to draw keeps the plain size, as on the stage.
    const double scaled = 5 * effects.scaleMultiplier;
    const double s = std::isfinite(scaled) ? scaled : 5;

    if (effects.auraColor) drawFleaAuraMac(canvas, x, y, s, *effects.auraColor, phase);
    const Color body = effects.tint.value_or(look.bodyColor);
    const Color head = effects.tint ? effects.tint->withAlpha(0.82) : look.headColor;
    const auto hat = effects.overrideHat ? effects.overrideHat : look.hatKind;
    drawFlea(canvas, x, y, 1, phase, s, false, body, head, hat);
    drawFleaDecorationsMac(canvas, x, y, s, effects.hasSparkleTrail, effects.hasGoldAccents, phase);
}

}  // namespace tw
