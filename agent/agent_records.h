#pragma once
// The value records the agent loop passes around: a flea's voice card, mood, the
// world and stage it sees, its memories, one decision's input and the decision.
//
// Records are plain aggregates (designated initializers store values as given, like
// field assignment and JSON decoding do). Where the record's initializer changes its
// arguments (clamps, cuts), that initializer is the static `make(...)`: use it to
// build a record from outside values. JSON lives in agent_records_json.h.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/raw_enum.h"
#include "platform/value_hash.h"

namespace tw {

// ---------------------------------------------------------------- enumerations

enum class AgentTimeOfDay { dawn, morning, midday, afternoon, evening, night };

enum class AgentWeather { clear, windy, rainy, snowy, hot };

enum class AgentAction {
    perform_assigned_act,
    perform_signature,
    refuse,
    wander_to,
    join_flea,
    watch_flea,
    applaud,
    sit,
    sleep,
    micro_story_role,
    initiate_duet,
    attempt_bit,
    pre_action_ritual,
};

// Where a dialogue line is meant to appear.
enum class AgentDialogueChannel {
    thought_bubble,
    colony_line,
    diary_line,
    gossip_line,
    post_show_line,
    return_line,
    relationship_line,
    title_line,
    refusal_line,
    pre_action_ritual_line,
};

// Same five raw strings as the narrative engine's memory tier; keep them equal.
enum class AgentMemoryTier { immediate, recent, season, long_term, legend };

template <>
struct RawEnumCases<AgentTimeOfDay> {
    static constexpr std::array<std::pair<AgentTimeOfDay, std::string_view>, 6> table{{
        {AgentTimeOfDay::dawn, "dawn"},
        {AgentTimeOfDay::morning, "morning"},
        {AgentTimeOfDay::midday, "midday"},
        {AgentTimeOfDay::afternoon, "afternoon"},
        {AgentTimeOfDay::evening, "evening"},
        {AgentTimeOfDay::night, "night"},
    }};
};

template <>
struct RawEnumCases<AgentWeather> {
    static constexpr std::array<std::pair<AgentWeather, std::string_view>, 5> table{{
        {AgentWeather::clear, "clear"},
        {AgentWeather::windy, "windy"},
        {AgentWeather::rainy, "rainy"},
        {AgentWeather::snowy, "snowy"},
        {AgentWeather::hot, "hot"},
    }};
};

template <>
struct RawEnumCases<AgentAction> {
    static constexpr std::array<std::pair<AgentAction, std::string_view>, 13> table{{
        {AgentAction::perform_assigned_act, "perform_assigned_act"},
        {AgentAction::perform_signature, "perform_signature"},
        {AgentAction::refuse, "refuse"},
        {AgentAction::wander_to, "wander_to"},
        {AgentAction::join_flea, "join_flea"},
        {AgentAction::watch_flea, "watch_flea"},
        {AgentAction::applaud, "applaud"},
        {AgentAction::sit, "sit"},
        {AgentAction::sleep, "sleep"},
        {AgentAction::micro_story_role, "micro_story_role"},
        {AgentAction::initiate_duet, "initiate_duet"},
        {AgentAction::attempt_bit, "attempt_bit"},
        {AgentAction::pre_action_ritual, "pre_action_ritual"},
    }};
};

template <>
struct RawEnumCases<AgentDialogueChannel> {
    static constexpr std::array<std::pair<AgentDialogueChannel, std::string_view>, 10> table{{
        {AgentDialogueChannel::thought_bubble, "thought_bubble"},
        {AgentDialogueChannel::colony_line, "colony_line"},
        {AgentDialogueChannel::diary_line, "diary_line"},
        {AgentDialogueChannel::gossip_line, "gossip_line"},
        {AgentDialogueChannel::post_show_line, "post_show_line"},
        {AgentDialogueChannel::return_line, "return_line"},
        {AgentDialogueChannel::relationship_line, "relationship_line"},
        {AgentDialogueChannel::title_line, "title_line"},
        {AgentDialogueChannel::refusal_line, "refusal_line"},
        {AgentDialogueChannel::pre_action_ritual_line, "pre_action_ritual_line"},
    }};
};

template <>
struct RawEnumCases<AgentMemoryTier> {
    static constexpr std::array<std::pair<AgentMemoryTier, std::string_view>, 5> table{{
        {AgentMemoryTier::immediate, "immediate"},
        {AgentMemoryTier::recent, "recent"},
        {AgentMemoryTier::season, "season"},
        {AgentMemoryTier::long_term, "long_term"},
        {AgentMemoryTier::legend, "legend"},
    }};
};

// ---------------------------------------------------------------- records

// A flea's identity for the agent and dialogue code.
struct VoiceCard {
    std::string flea_id{};
    std::string name{};
    std::vector<std::string> traits{};
    std::string voice_style = "warm and steady";
    std::optional<std::string> ambition{};
    std::vector<std::string> superstitions{};
    std::optional<std::string> pronouns = std::string("they/them");
    std::optional<std::string> signature_phrase_hint{};

    friend bool operator==(const VoiceCard&, const VoiceCard&) = default;
};

// Four mood values in 0...1, 0.5 neutral. Also used as a delta centred on 0.5.
struct MoodDimensions {
    static constexpr double neutral = 0.5;
    struct DecayHalfLife {
        static constexpr double confidence = 240.0;
        static constexpr double nerves = 90.0;
        static constexpr double joy = 180.0;
        static constexpr double pride = 600.0;
    };

    double confidence = neutral;
    double nerves = neutral;
    double joy = neutral;
    double pride = neutral;

    // Each value through clamp().
    static MoodDimensions make(double confidence = neutral, double nerves = neutral, double joy = neutral,
                               double pride = neutral);
    // min(1, max(0, v)): NaN becomes 0.
    static double clamp(double v);
    // Moves each value toward 0.5 by its half-life; seconds <= 0 or NaN: unchanged.
    MoodDimensions decayed(double seconds) const;

    // decayed(seconds) for many moods: the four powers of two are taken once.
    class Decay {
       public:
        explicit Decay(double seconds);
        MoodDimensions operator()(const MoodDimensions& mood) const;

       private:
        bool relaxes_;
        // The share of each value's distance from 0.5 that remains.
        double confidence_ = 1, nerves_ = 1, joy_ = 1, pride_ = 1;
    };
    // Adds each delta's offset from 0.5, then clamps.
    MoodDimensions applyingDelta(const MoodDimensions& delta) const;

    friend bool operator==(const MoodDimensions&, const MoodDimensions&) = default;
};

// The current wall-clock time as whole-second UTC ISO 8601 text ("2026-12-06T14:25:36Z").
std::string currentNowIso();

struct WorldSnapshot {
    std::string now_iso = currentNowIso();
    AgentTimeOfDay time_of_day = AgentTimeOfDay::midday;
    double energy = 0.5;
    std::optional<std::int64_t> arc_day_index{};
    AgentWeather weather = AgentWeather::clear;

    // energy becomes max(0, min(energy, 1)); NaN becomes 1. Without now_iso: the current time.
    static WorldSnapshot make(std::optional<std::string> now_iso = std::nullopt,
                              AgentTimeOfDay time_of_day = AgentTimeOfDay::midday, double energy = 0.5,
                              std::optional<std::int64_t> arc_day_index = std::nullopt,
                              AgentWeather weather = AgentWeather::clear);

    friend bool operator==(const WorldSnapshot&, const WorldSnapshot&) = default;
};

struct StageState {
    std::optional<std::string> player_attention_flea_id{};
    std::optional<std::string> current_focus_act{};
    std::vector<std::string> nearby_flea_ids{};

    friend bool operator==(const StageState&, const StageState&) = default;
};

struct AgentMemory {
    using Tier = AgentMemoryTier;

    std::string id{};
    Tier tier = Tier::immediate;
    std::string tone = "neutral";
    std::vector<std::string> tags{};
    bool involves_player = false;
    std::string summary{};

    friend bool operator==(const AgentMemory&, const AgentMemory&) = default;
};

struct MemoriesByTier {
    std::vector<AgentMemory> immediate{};
    std::vector<AgentMemory> recent{};
    std::vector<AgentMemory> season{};
    std::vector<AgentMemory> long_term{};
    std::vector<AgentMemory> legend{};

    // immediate, recent, season, long_term, legend, each in its own order (not encoded).
    std::vector<AgentMemory> allFlattened() const;

    friend bool operator==(const MemoriesByTier&, const MemoriesByTier&) = default;
};

// A point on the stage, 0...1 on each axis.
struct AgentPosition {
    double x_norm = 0;
    double y_norm = 0;

    // Each coordinate becomes max(0, min(v, 1)); NaN becomes 1.
    static AgentPosition make(double x_norm, double y_norm);

    friend bool operator==(const AgentPosition&, const AgentPosition&) = default;
};

// The line an intent may trigger.
struct DialogueHook {
    std::string outcome_kind{};
    double importance = 0;
    AgentDialogueChannel channel = AgentDialogueChannel::thought_bubble;

    // importance becomes max(0, min(importance, 1)); NaN becomes 1.
    static DialogueHook make(std::string outcome_kind, double importance, AgentDialogueChannel channel);

    friend bool operator==(const DialogueHook&, const DialogueHook&) = default;
};

// Seconds of one agent tick; an intent's duration_ticks count these.
inline constexpr double FleaAgentTickSeconds = 0.5;

// One decision of a flea.
struct AgentIntent {
    AgentAction action = AgentAction::perform_assigned_act;
    std::optional<std::string> target_flea_id{};
    std::optional<AgentPosition> target_position{};
    std::int64_t duration_ticks = 1;
    MoodDimensions mood_delta{};
    std::optional<DialogueHook> dialogue_hook{};

    // duration_ticks becomes max(1, duration_ticks).
    static AgentIntent make(AgentAction action, std::optional<std::string> target_flea_id = std::nullopt,
                            std::optional<AgentPosition> target_position = std::nullopt,
                            std::int64_t duration_ticks = 1, MoodDimensions mood_delta = {},
                            std::optional<DialogueHook> dialogue_hook = std::nullopt);

    friend bool operator==(const AgentIntent&, const AgentIntent&) = default;
};

// Everything one decision is made from.
struct AgentInput {
    static constexpr std::size_t maxRecentIntents = 8;

    VoiceCard voice_card{};
    MoodDimensions mood{};
    MemoriesByTier memories_by_tier{};
    WorldSnapshot world_snapshot{};
    StageState stage_state{};
    std::vector<AgentIntent> recent_intents{};  // oldest first

    // Keeps only the last 8 recent intents; the mood is stored as given.
    static AgentInput make(VoiceCard voice_card, MoodDimensions mood = {},
                           MemoriesByTier memories_by_tier = {}, WorldSnapshot world_snapshot = {},
                           StageState stage_state = {}, std::vector<AgentIntent> recent_intents = {});

    friend bool operator==(const AgentInput&, const AgentInput&) = default;
};

}  // namespace tw

// Hashes agreeing with ==, so the records can key unordered containers.
TW_DECLARE_STD_HASH(tw::VoiceCard);
TW_DECLARE_STD_HASH(tw::MoodDimensions);
TW_DECLARE_STD_HASH(tw::AgentMemory);
TW_DECLARE_STD_HASH(tw::AgentPosition);
TW_DECLARE_STD_HASH(tw::DialogueHook);
TW_DECLARE_STD_HASH(tw::AgentIntent);
