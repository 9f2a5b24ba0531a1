#include "narrative/narrative_vocabulary.h"

namespace tw {

std::string_view family(FleaTrait trait) {
    switch (trait) {
        case FleaTrait::ambitionCurious:
        case FleaTrait::ambitionCompetitive:
        case FleaTrait::ambitionMellow:
            return "ambition";
        case FleaTrait::superstitionSkeptic:
        case FleaTrait::superstitionOmenist:
            return "superstition";
        case FleaTrait::socialLoner:
        case FleaTrait::socialDuet:
        case FleaTrait::socialCrowd:
            return "social";
    }
    return "";
}

std::string_view label(FleaTrait trait) {
    switch (trait) {
        case FleaTrait::ambitionCurious:
            return "Curious";
        case FleaTrait::ambitionCompetitive:
            return "Competitive";
        case FleaTrait::ambitionMellow:
            return "Mellow";
        case FleaTrait::superstitionSkeptic:
            return "Skeptic";
        case FleaTrait::superstitionOmenist:
            return "Omenist";
        case FleaTrait::socialLoner:
            return "Loner";
        case FleaTrait::socialDuet:
            return "Duet";
        case FleaTrait::socialCrowd:
            return "Crowd-pleaser";
    }
    return "";
}

std::string_view displayLabel(FleaMemoryTier tier) {
    switch (tier) {
        case FleaMemoryTier::immediate:
            return "NOW";
        case FleaMemoryTier::recent:
            return "RECENT";
        case FleaMemoryTier::season:
            return "SEASON";
        case FleaMemoryTier::longTerm:
            return "LONG";
        case FleaMemoryTier::legend:
            return "LEGEND";
    }
    return "";
}

}  // namespace tw
