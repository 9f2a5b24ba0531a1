#pragma once
// What one flea is visibly doing on the stage: pose, positions, partner and the
// timing of its current intent.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "agent/agent_records.h"
#include "platform/date.h"
#include "platform/json.h"
#include "platform/raw_enum.h"

namespace tw {

enum class AgentPose {
    idle,
    walking,
    attentive,
    clapping,
    headShake,
    ritual,
    duet,
    microStory,
    sitting,
    sleeping
};

template <>
struct RawEnumCases<AgentPose> {
    static constexpr std::array<std::pair<AgentPose, std::string_view>, 10> table{{
        {AgentPose::idle, "idle"},
        {AgentPose::walking, "walking"},
        {AgentPose::attentive, "attentive"},
        {AgentPose::clapping, "clapping"},
        {AgentPose::headShake, "headShake"},
        {AgentPose::ritual, "ritual"},
        {AgentPose::duet, "duet"},
        {AgentPose::microStory, "microStory"},
        {AgentPose::sitting, "sitting"},
        {AgentPose::sleeping, "sleeping"},
    }};
};

struct FleaStageState {
    std::string flea_id{};
    std::string assigned_act{};
    std::optional<AgentPosition> position{};
    std::optional<AgentPosition> target_position{};
    std::optional<std::string> temp_act_override{};  // "duet", "micro_story", "pre_action_ritual"
    AgentPose current_pose = AgentPose::idle;
    std::optional<std::string> interaction_partner_id{};
    std::optional<Date> cooldown_until{};
    std::optional<Date> intent_started_at{};
    std::optional<double> intent_duration_seconds{};
    std::optional<AgentAction> current_action{};

    // The idle state of a newly registered flea.
    static FleaStageState make(std::string flea_id, std::string assigned_act) {
        FleaStageState state;
        state.flea_id = std::move(flea_id);
        state.assigned_act = std::move(assigned_act);
        return state;
    }

    friend bool operator==(const FleaStageState&, const FleaStageState&) = default;
};

// Dates as seconds since 2001-01-01 (numbers); absent optionals left out.
OrderedJson toJson(const FleaStageState& value);
void fromJson(const JsonReader& reader, FleaStageState& out);

}  // namespace tw
