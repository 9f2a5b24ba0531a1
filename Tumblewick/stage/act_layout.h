#pragma once
// Where the seven acts stand on the strip, left to right, in ninths of its width. The
// stage places its acts from this table, and so do the render checks and benches that
// lay out a strip of their own.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "agent/resident_roster.h"

namespace tw {

struct ActPlace {
    std::string_view act;
    double origin;  // the act's x, in ninths of the strip
    double span;    // its width in ninths; 0 for an act that stands in place
};

enum class ActSlot : std::size_t { tightrope, trapeze, cannon, strongman, unicycle, juggling, firebreather };

inline constexpr std::array<ActPlace, 7> actPlaces{{
    {"tightrope", 0.3, 1.0},
    {"trapeze", 1.5, 0.8},
    {"cannon", 2.8, 1.3},
    {"strongman", 4.4, 0},
    {"unicycle", 5.4, 0},
    {"juggling", 6.5, 0},
    {"firebreather", 7.8, 1.0},
}};

// Each resident's act stands in the resident's stage slot.
static_assert([] {
    for (const Resident& resident : residents)
        if (actPlaces[resident.stageSlot].act != resident.act) return false;
    return true;
}());

// An act's place on a strip of a given width, in points.
struct ActSpan {
    double x = 0;
    double width = 0;
    // Above the act's flea: the middle of an act that spans its width, the prop of one
    // that stands in place.
    double anchorX() const { return x + width * 0.5; }
};

constexpr ActSpan actSpan(ActSlot slot, double stripWidth) {
    const ActPlace& place = actPlaces[static_cast<std::size_t>(slot)];
    const double ninth = stripWidth / 9;
    return {place.origin * ninth, place.span * ninth};
}

constexpr std::optional<ActSpan> actSpan(std::string_view act, double stripWidth) {
    for (std::size_t i = 0; i < actPlaces.size(); ++i)
        if (actPlaces[i].act == act) return actSpan(static_cast<ActSlot>(i), stripWidth);
    return std::nullopt;
}

}  // namespace tw
