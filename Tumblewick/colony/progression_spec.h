#pragma once
// The progression document: level thresholds, body colours, hats and, per act,
// its names, tech tree and actions.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct ProgressionSpec {
    struct BodyColor {
        std::string name;
        std::vector<double> bodyRGB;  // red, green, blue in 0...1; kept as the document gives it
        std::vector<double> headRGB;
        friend bool operator==(const BodyColor&, const BodyColor&) = default;
    };

    struct HatKind {
        std::string id = "none";  // a MacFleaHatKind raw value
        std::string label;
        friend bool operator==(const HatKind&, const HatKind&) = default;
    };

    struct TechNode {
        std::string id;
        std::string title;
        std::string description;
        std::int64_t cost = 0;
        std::int64_t tier = 1;
        std::optional<std::string> branch;
        std::vector<std::string> prerequisites;
        std::string effectType = "none";
        std::optional<std::string> effectValue;
        std::optional<std::vector<double>> effectRGB;
        friend bool operator==(const TechNode&, const TechNode&) = default;
    };

    struct Action {
        std::string id;
        std::string emoji;
        std::string label;
        std::string reaction;
        bool windsUp = false;
        friend bool operator==(const Action&, const Action&) = default;
    };

    struct ActSpec {
        std::string callingName;
        std::string emoji;
        std::vector<TechNode> techTree;  // document order
        std::vector<Action> actions;     // document order
        std::optional<Action> signatureAction;
        friend bool operator==(const ActSpec&, const ActSpec&) = default;
    };

    std::vector<BodyColor> bodyPalette;
    std::vector<HatKind> hatKinds;
    std::map<std::string, ActSpec> acts;  // by act key
    std::vector<std::string> propKinds;
    std::vector<std::int64_t> levelThresholds;

    friend bool operator==(const ProgressionSpec&, const ProgressionSpec&) = default;
};

}  // namespace tw
