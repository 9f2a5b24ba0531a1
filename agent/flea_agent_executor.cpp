#include "agent/flea_agent_executor.h"

#include <algorithm>

namespace tw {

namespace {
using A = AgentAction;

// The intent's own target, through the clamping constructor.
std::optional<AgentPosition> clampedTarget(const AgentIntent& intent) {
    if (!intent.target_position) return std::nullopt;
    return AgentPosition::make(intent.target_position->x_norm, intent.target_position->y_norm);
}
}  // namespace

FleaStageState FleaAgentExecutor::apply(const AgentIntent& intent, const FleaStageState& state, Date now,
                                        const std::optional<AgentPosition>& partner) {
    FleaStageState next = state;
    const double seconds = static_cast<double>(intent.duration_ticks) * FleaAgentTickSeconds;
    next.intent_started_at = now;
    next.intent_duration_seconds = seconds;
    next.cooldown_until = now.adding(seconds);
    next.current_action = intent.action;
    next.interaction_partner_id = intent.target_flea_id;

    const std::optional<AgentPosition> before = state.position;
    const AgentPosition keptOrDefault = before.value_or(defaultPosition);
    auto stationary = [&next](AgentPose pose, std::optional<std::string> tempAct = std::nullopt) {
        next.position.reset();
        next.target_position.reset();
        next.current_pose = pose;
        next.temp_act_override = std::move(tempAct);
    };

    switch (intent.action) {
        case A::perform_assigned_act:
        case A::perform_signature:
        case A::attempt_bit:
            stationary(AgentPose::idle);
            break;
        case A::refuse:
            stationary(AgentPose::headShake);
            break;
        case A::watch_flea:
            stationary(AgentPose::attentive);
            break;
        case A::applaud:
            stationary(AgentPose::clapping);
            break;
        case A::sit:
            stationary(AgentPose::sitting);
            break;
        case A::sleep:
            stationary(AgentPose::sleeping);
            break;
        case A::pre_action_ritual:
            stationary(AgentPose::ritual, "pre_action_ritual");
            break;
        case A::wander_to:
            next.position = keptOrDefault;
            next.target_position = clampedTarget(intent);
            next.current_pose = AgentPose::walking;
            next.temp_act_override.reset();
            break;
        case A::join_flea:
            next.position = keptOrDefault;
            if (partner) {
                next.target_position =
                    AgentPosition::make(std::min(partner->x_norm + 0.05, 1.0), partner->y_norm);
            } else if (intent.target_position) {
                next.target_position = clampedTarget(intent);
            }  // otherwise the previous target stays
            next.current_pose = AgentPose::walking;
            next.temp_act_override.reset();
            break;
        case A::micro_story_role:
            next.position = keptOrDefault;
            next.target_position = clampedTarget(intent);
            next.current_pose = AgentPose::microStory;
            next.temp_act_override = "micro_story";
            break;
        case A::initiate_duet:
            next.position = keptOrDefault;
            if (before && partner) {
                next.target_position = AgentPosition::make((before->x_norm + partner->x_norm) * 0.5,
                                                           (before->y_norm + partner->y_norm) * 0.5);
            } else {
                next.target_position = duetFallbackTarget;
            }
            next.current_pose = AgentPose::duet;
            next.temp_act_override = "duet";
            break;
    }
    return next;
}

double FleaAgentExecutor::pathProgress(const FleaStageState& state, Date now) {
    if (!state.intent_started_at || !state.intent_duration_seconds || !(*state.intent_duration_seconds > 0))
        return 1.0;
    double t = now.since(*state.intent_started_at) / *state.intent_duration_seconds;
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

bool FleaAgentExecutor::intentExpired(const FleaStageState& state, Date now) {
    return !state.cooldown_until || now >= *state.cooldown_until;
}

FleaStageState FleaAgentExecutor::clearIfExpired(const FleaStageState& state, Date now) {
    if (!intentExpired(state, now)) return state;
    return FleaStageState::make(state.flea_id, state.assigned_act);
}

}  // namespace tw
