#pragma once
// The seven resident fleas, one per act. Everything that seeds, voices, places or
// lists a resident reads this table; a resident's name is also its flea id.
#include <array>
#include <cstddef>
#include <string_view>

namespace tw {

struct Resident {
    std::string_view name;
    std::string_view act;
    std::string_view voiceStyle;
    std::size_t stageSlot;  // left to right on the strip, where its act stands
    std::size_t listSlot;   // in menus, the watch panel's columns and the diary
};

// Roster order matters too: the featured flea and the fallback spotlight go by position.
inline constexpr std::array<Resident, 7> residents{{
    {"Pip", "strongman", "focused, working", 3, 1},
    {"Zing", "trapeze", "playful and quick", 1, 3},
    {"Nova", "tightrope", "soft and certain", 0, 0},
    {"Dot", "unicycle", "quiet, methodical", 4, 4},
    {"Rex", "cannon", "swagger and dry humor", 2, 2},
    {"Fizz", "juggling", "excited, breathless", 5, 5},
    {"Blaze", "firebreather", "ritual, deliberate", 6, 6},
}};

// One resident per name and per act: a custom flea speaks like the resident of its act.
static_assert([] {
    for (std::size_t i = 0; i < residents.size(); ++i)
        for (std::size_t j = i + 1; j < residents.size(); ++j)
            if (residents[i].name == residents[j].name || residents[i].act == residents[j].act) return false;
    return true;
}());

using ResidentNames = std::array<std::string_view, residents.size()>;

// The names placed by one of the slot fields; a slot used twice or out of range does
// not compile.
consteval ResidentNames residentNamesBy(std::size_t Resident::*slot) {
    ResidentNames names{};
    for (const Resident& resident : residents) {
        const std::size_t at = resident.*slot;
        if (at >= names.size() || !names[at].empty()) throw "each slot holds one resident";
        names[at] = resident.name;
    }
    return names;
}

inline constexpr ResidentNames residentsOnStage = residentNamesBy(&Resident::stageSlot);
inline constexpr ResidentNames residentsListed = residentNamesBy(&Resident::listSlot);

// By exact name; none for a custom flea or a name in another case.
constexpr const Resident* findResident(std::string_view name) {
    for (const Resident& resident : residents)
        if (resident.name == name) return &resident;
    return nullptr;
}

// The resident who performs `act`, if any.
constexpr const Resident* residentPerforming(std::string_view act) {
    for (const Resident& resident : residents)
        if (resident.act == act) return &resident;
    return nullptr;
}

}  // namespace tw
