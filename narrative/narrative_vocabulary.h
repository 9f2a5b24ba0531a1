#pragma once
// The four closed vocabularies of the narrative engine. Their raw strings are the
// words every narrative record writes into JSON.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "platform/json.h"
#include "platform/raw_enum.h"

namespace tw {

enum class TumblewickEventType {
    performanceSuccess,
    performanceMiss,
    nearSuccess,
    recovery,
    playerAttention,
    playerEncouragement,
    playerGift,
    socialSupport,
    socialRivalry,
    duetMoment,
    propEvent,
    strangeEvent,
    promotionEvent,
    nicknameEvent,
    quietPractice,
    returnEvent,
    signaturePerformed,
};

enum class FleaOutcome {
    cleanSuccess,
    spotlightBloom,
    tenderRecovery,
    comicBit,
    braveAttempt,
    growthMoment,
    strangeMagic,
    bondingMoment,
    duetSpark,
    quietResolve,
    signatureMoment,
    softMiss,
    playerSeen,
    mentorBond,
    warmRivalry,
    omenMemory,
    mythSeed,
    discoveryMemory,
};

enum class FleaTrait {
    ambitionCurious,
    ambitionCompetitive,
    ambitionMellow,
    superstitionSkeptic,
    superstitionOmenist,
    socialLoner,
    socialDuet,
    socialCrowd,
};

// Declaration order is the comparison order: immediate < recent < ... < legend.
enum class FleaMemoryTier { immediate, recent, season, longTerm, legend };

template <>
struct RawEnumCases<TumblewickEventType> {
    using E = TumblewickEventType;
    static constexpr std::array<std::pair<E, std::string_view>, 17> table{{
        {E::performanceSuccess, "performance_success"},
        {E::performanceMiss, "performance_miss"},
        {E::nearSuccess, "near_success"},
        {E::recovery, "recovery"},
        {E::playerAttention, "player_attention"},
        {E::playerEncouragement, "player_encouragement"},
        {E::playerGift, "player_gift"},
        {E::socialSupport, "social_support"},
        {E::socialRivalry, "social_rivalry"},
        {E::duetMoment, "duet_moment"},
        {E::propEvent, "prop_event"},
        {E::strangeEvent, "strange_event"},
        {E::promotionEvent, "promotion_event"},
        {E::nicknameEvent, "nickname_event"},
        {E::quietPractice, "quiet_practice"},
        {E::returnEvent, "return_event"},
        {E::signaturePerformed, "signature_performed"},
    }};
};

template <>
struct RawEnumCases<FleaOutcome> {
    using E = FleaOutcome;
    static constexpr std::array<std::pair<E, std::string_view>, 18> table{{
        {E::cleanSuccess, "clean_success"},
        {E::spotlightBloom, "spotlight_bloom"},
        {E::tenderRecovery, "tender_recovery"},
        {E::comicBit, "comic_bit"},
        {E::braveAttempt, "brave_attempt"},
        {E::growthMoment, "growth_moment"},
        {E::strangeMagic, "strange_magic"},
        {E::bondingMoment, "bonding_moment"},
        {E::duetSpark, "duet_spark"},
        {E::quietResolve, "quiet_resolve"},
        {E::signatureMoment, "signature_moment"},
        {E::softMiss, "soft_miss"},
        {E::playerSeen, "player_seen"},
        {E::mentorBond, "mentor_bond"},
        {E::warmRivalry, "warm_rivalry"},
        {E::omenMemory, "omen_memory"},
        {E::mythSeed, "myth_seed"},
        {E::discoveryMemory, "discovery_memory"},
    }};
};

template <>
struct RawEnumCases<FleaTrait> {
    using E = FleaTrait;
    static constexpr std::array<std::pair<E, std::string_view>, 8> table{{
        {E::ambitionCurious, "ambition_curious"},
        {E::ambitionCompetitive, "ambition_competitive"},
        {E::ambitionMellow, "ambition_mellow"},
        {E::superstitionSkeptic, "superstition_skeptic"},
        {E::superstitionOmenist, "superstition_omenist"},
        {E::socialLoner, "social_loner"},
        {E::socialDuet, "social_duet"},
        {E::socialCrowd, "social_crowd"},
    }};
};

template <>
struct RawEnumCases<FleaMemoryTier> {
    using E = FleaMemoryTier;
    static constexpr std::array<std::pair<E, std::string_view>, 5> table{{
        {E::immediate, "immediate"},
        {E::recent, "recent"},
        {E::season, "season"},
        {E::longTerm, "long_term"},
        {E::legend, "legend"},
    }};
};

// "ambition", "superstition" or "social".
std::string_view family(FleaTrait trait);
// Display word, e.g. "Crowd-pleaser".
std::string_view label(FleaTrait trait);
// Badge text: "NOW", "RECENT", "SEASON", "LONG", "LEGEND".
std::string_view displayLabel(FleaMemoryTier tier);

// JSON: a vocabulary value is its raw string; anything else fails the enclosing decode.
template <RawEnum E>
OrderedJson enumJson(E value) {
    return OrderedJson(std::string(rawValue(value)));
}

template <RawEnum E>
E decodeEnum(const JsonReader& reader) {
    const std::string& text = reader.string();
    if (auto value = fromRawValue<E>(text)) return *value;
    reader.fail(JsonErrorKind::dataCorrupted, "unknown raw value \"" + text + "\"");
}

}  // namespace tw
