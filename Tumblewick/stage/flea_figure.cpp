#include "Tumblewick/stage/flea_figure.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/custom_flea_looks.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/mac_flea_effect_flags.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {
namespace {

// Steps 1 to 5 of the figure: body, head, eye, pupil, cheek, around (x, y).
void drawFigureFace(Canvas& c, double x, double y, double facing, double s, Color body, Color head) {
    const double hx = x + 5 * facing * s;
    const double hy = y - 4 * s;
    const double ex = hx + 1.5 * facing * s;
    const double ey = hy - 0.5 * s;

    c.setFillColor(body);
    c.fillEllipse(Rect{x - 6 * s, y - 5 * s, 12 * s, 10 * s});
    c.setFillColor(head);
    c.fillEllipse(Rect{hx - 4.5 * s, hy - 4.5 * s, 9 * s, 9 * s});
    c.setFillColor(Colors::eyeWhite);
    c.fillEllipse(Rect{ex - 2 * s, ey - 2 * s, 4 * s, 4 * s});
    c.setFillColor(Colors::pupil);
    // The pupil's forward shift is in points, not scaled.
    c.fillEllipse(Rect{ex + 0.4 * facing - 1.2 * s, ey - 1.2 * s, 2.4 * s, 2.4 * s});
    c.setFillColor(Colors::blush);
    c.fillEllipse(Rect{hx + 3.5 * facing * s - 1.5 * s, hy + 0.5 * s, 3 * s, 1.7 * s});
}

// Steps 1 to 6: the face looks the same for a colour, facing and size wherever the
// flea stands, so it is stamped from one picture; the legs move and are drawn afresh.
void drawFigureBody(Canvas& c, double x, double y, double facing, double phase, double s, Color body,
                    Color head) {
    const std::uint64_t key = pictureKey(0xF1EA, {body.red, body.green, body.blue, body.alpha, head.red,
                                                  head.green, head.blue, head.alpha, facing, s});
    // 10 points either side covers the head and cheek on either facing; 1 more for the edges.
    c.drawCachedPicture(
        key, Rect{-10 * s - 1, -9 * s - 1, 20 * s + 2, 14 * s + 2}, {x, y}, 1.0,
        [=](Canvas& p, Point at, double) { drawFigureFace(p, at.x, at.y, facing, s, body, head); });

    c.setStrokeColor(body);
    c.setLineWidth(std::max(s, 1.0));
    for (int k = -1; k <= 1; ++k) {
        const double hipX = x + 4 * k * s;
        const double footY = y + 8 * s + 2 * s * std::sin((phase + 0.33 * k) * 6.28);
        // Feet lean towards +x whatever the facing.
        c.strokeLine({hipX, y + 4 * s}, {hipX + 2 * s, footY});
    }
}

}  // namespace

void drawFlea(Canvas& c, double x, double y, double facing, double phase, double scale, bool hat,
              std::optional<Color> bodyColor, std::optional<Color> headColor,
              std::optional<MacFleaHatKind> customHat) {
    const double s = scale;
    drawFigureBody(c, x, y, facing, phase, s, bodyColor.value_or(Colors::flea),
                   headColor.value_or(Colors::fleaLight));
    const double hx = x + 5 * facing * s;
    const double hy = y - 4 * s;
    if (hat) drawTopHat(c, hx, hy - 4.5 * s, s, Color::rgb(0.1, 0.1, 0.18), Colors::tentRed);
    if (customHat) drawMacCustomHat(c, *customHat, hx, hy, 4.5 * s, s);
}

void drawActFleaMac(Canvas& c, std::string_view act, double x, double y, double facing, double phase,
                    double scale, bool hat) {
    const auto& performers = macCustomFleaByAct();
    const auto found = performers.find(std::string(act));
    if (found == performers.end()) {
        drawFlea(c, x, y, facing, phase, scale, hat);
        return;
    }
    const MacCustomFlea& flea = found->second;
    const auto& spec = progressionSpec();
    const MacFleaEffectFlags effects = resolveEffectsMac(flea, spec);

    std::optional<Color> paletteBody;
    std::optional<Color> paletteHead;
    if (spec && flea.bodyColorIndex >= 0 &&
        flea.bodyColorIndex < static_cast<std::int64_t>(spec->bodyPalette.size())) {
        const auto& entry = spec->bodyPalette[static_cast<std::size_t>(flea.bodyColorIndex)];
        paletteBody = colorFromRGB(entry.bodyRGB);
        paletteHead = colorFromRGB(entry.headRGB);
    }
    // No palette entry, or a list too short (or not finite) to make a colour, paints the
    // default flea's.
    const Color body = effects.tint.value_or(paletteBody.value_or(Colors::flea));
    const Color head = effects.tint ? effects.tint->withAlpha(0.82) : paletteHead.value_or(Colors::fleaLight);
    const std::optional<MacFleaHatKind> hatKind =
        effects.overrideHat ? effects.overrideHat : macFleaHatKindFromRawValue(flea.hatKind);
    // A multiplier near the largest double would make the figure's geometry infinite
    // (and 0 · ∞ not a number); such a flea keeps the act's own scale.
    const double scaled = scale * effects.scaleMultiplier;
    const double s = std::isfinite(scaled) ? scaled : scale;

    if (effects.auraColor) drawFleaAuraMac(c, x, y, s, *effects.auraColor, phase);
    drawFigureBody(c, x, y, facing, phase, s, body, head);
    if (hatKind) drawMacCustomHat(c, *hatKind, x + 5 * facing * s, y - 4 * s, 4.5 * s, s);
    drawCostumeMac(c, act, x, y, facing, phase, s);
    drawFleaDecorationsMac(c, x, y, s, effects.hasSparkleTrail, effects.hasGoldAccents, phase);
}

}  // namespace tw
