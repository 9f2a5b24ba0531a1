#pragma once
// The six hats a custom flea can wear; raw values equal the case names.
#include <array>
#include <optional>
#include <string_view>

namespace tw {

enum class MacFleaHatKind { none, topHat, crown, bowler, propeller, bandana };

inline constexpr std::array<MacFleaHatKind, 6> allMacFleaHatKinds = {
    MacFleaHatKind::none,   MacFleaHatKind::topHat,    MacFleaHatKind::crown,
    MacFleaHatKind::bowler, MacFleaHatKind::propeller, MacFleaHatKind::bandana,
};

constexpr std::string_view rawValue(MacFleaHatKind kind) {
    switch (kind) {
        case MacFleaHatKind::none:
            return "none";
        case MacFleaHatKind::topHat:
            return "topHat";
        case MacFleaHatKind::crown:
            return "crown";
        case MacFleaHatKind::bowler:
            return "bowler";
        case MacFleaHatKind::propeller:
            return "propeller";
        case MacFleaHatKind::bandana:
            return "bandana";
    }
    return "none";
}

// Exactly the six raw values, case-sensitive; nothing for any other text.
constexpr std::optional<MacFleaHatKind> macFleaHatKindFromRawValue(std::string_view raw) {
    for (auto kind : allMacFleaHatKinds) {
        if (rawValue(kind) == raw) return kind;
    }
    return std::nullopt;
}

}  // namespace tw
