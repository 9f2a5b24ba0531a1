#include "Tumblewick/stage/mac_flea_effect_flags.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tw {

std::optional<Color> colorFromRGB(const std::vector<double>& rgb) {
    if (rgb.size() < 3) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        if (!std::isfinite(rgb[i])) return std::nullopt;
    }
    return Color::rgb(rgb[0], rgb[1], rgb[2]);
}

std::optional<double> parseStrictDouble(std::string_view text) {
    if (text.empty()) return std::nullopt;
    // from_chars is locale-free and refuses leading blanks; it also refuses a leading
    // '+', which the C syntax allows, so skip one by hand.
    std::string_view digits = text;
    if (digits.front() == '+') {
        digits.remove_prefix(1);
        if (digits.empty() || digits.front() == '-' || digits.front() == '+') return std::nullopt;
    }
    double value = 0;
    const auto* first = digits.data();
    const auto* last = digits.data() + digits.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last) {
        // Hexadecimal floats are C syntax too ("0x1p-2").
        std::string_view rest = digits;
        bool negative = false;
        if (!rest.empty() && rest.front() == '-') {
            negative = true;
            rest.remove_prefix(1);
        }
        if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
            rest.remove_prefix(2);
            const auto [hexEnd, hexEc] =
                std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::hex);
            if (hexEc == std::errc() && hexEnd == rest.data() + rest.size()) return negative ? -value : value;
        }
        return std::nullopt;
    }
    return value;
}

MacFleaEffectFlags resolveEffectsMac(const MacCustomFlea& flea, const std::optional<ProgressionSpec>& spec) {
    MacFleaEffectFlags flags;
    if (!spec) return flags;
    const auto act = spec->acts.find(flea.discoveredAct);
    if (act == spec->acts.end()) return flags;

    // Both lists are a handful of ids; a plain search keeps the per-frame paint free of
    // allocations.
    const auto& unlocked = flea.unlockedNodeIDs;
    for (const auto& node : act->second.techTree) {
        if (std::ranges::find(unlocked, node.id) == unlocked.end()) continue;
        const auto& type = node.effectType;
        if (type == "sparkleTrail") {
            flags.hasSparkleTrail = true;
        } else if (type == "goldAccents") {
            flags.hasGoldAccents = true;
        } else if (type == "scaleUp") {
            // "inf", "nan" or an overflowing sum would make every shape of the flea
            // unpaintable: only finite steps that keep the multiplier finite count.
            const auto step = parseStrictDouble(node.effectValue.value_or(""));
            if (step && std::isfinite(*step) && std::isfinite(flags.scaleMultiplier + *step)) {
                flags.scaleMultiplier += *step;
            }
        } else if (type == "colorTint") {
            if (node.effectRGB) {
                if (auto color = colorFromRGB(*node.effectRGB)) flags.tint = color;
            }
        } else if (type == "auraGlow") {
            if (node.effectRGB) {
                if (auto color = colorFromRGB(*node.effectRGB)) flags.auraColor = color;
            }
        } else if (type == "hat") {
            if (node.effectValue) flags.overrideHat = macFleaHatKindFromRawValue(*node.effectValue);
        }
    }
    return flags;
}

}  // namespace tw
