#include "agent/flea_agent_core.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "agent/split_mix64.h"

namespace tw {

namespace {

using A = AgentAction;

// The tone and tag words the memory terms react to.
constexpr std::array<std::string_view, 7> kTallyWords{"signature", "warm",  "tender", "resilient",
                                                      "cozy",      "brave", "playful"};

constexpr std::size_t tallyIndex(std::string_view word) {
    std::size_t i = 0;
    while (i < kTallyWords.size() && kTallyWords[i] != word) ++i;
    return i;
}

// One of kTallyWords, checked when the program is compiled.
struct TallyWord {
    consteval TallyWord(const char* word) : index(tallyIndex(word)) {
        if (index == kTallyWords.size()) throw "not a tally word";
    }
    std::size_t index;
};

// Which tally words occur among some memories' tones and tags.
class ToneTally {
   public:
    void count(const std::vector<AgentMemory>& memories) {
        for (const auto& memory : memories) {
            note(memory.tone);
            for (const auto& tag : memory.tags) note(tag);
        }
    }
    bool has(TallyWord word) const { return (seen_ >> word.index) & 1U; }

   private:
    void note(std::string_view word) {
        if (const std::size_t i = tallyIndex(word); i < kTallyWords.size()) seen_ |= 1U << i;
    }
    unsigned seen_ = 0;
};

struct Traits {
    explicit Traits(const std::vector<std::string>& traits) : traits_(traits) {}
    bool has(std::string_view trait) const {
        return std::find(traits_.begin(), traits_.end(), trait) != traits_.end();
    }
    const std::vector<std::string>& traits_;
};

struct Context {
    const AgentInput& input;
    Traits traits;
    ToneTally recent;
    ToneTally old;
    bool attended;
    // The first nearby flea other than the deciding one: the partner actions' target.
    const std::string* partner;
};

// Order in which candidates are generated; partner and ritual ones are conditional.
struct CandidateSpec {
    AgentAction action;
    std::int64_t duration_ticks;
    MoodDimensions mood_delta;
};

constexpr std::array<CandidateSpec, 13> kCandidates{{
    {A::perform_assigned_act, 2, {0.55, 0.5, 0.55, 0.5}},
    {A::perform_signature, 3, {0.62, 0.5, 0.6, 0.65}},
    {A::refuse, 1, {0.5, 0.55, 0.42, 0.5}},
    {A::wander_to, 3, {0.52, 0.5, 0.5, 0.5}},
    {A::join_flea, 2, {0.5, 0.5, 0.55, 0.5}},
    {A::watch_flea, 2, {0.52, 0.5, 0.5, 0.5}},
    {A::initiate_duet, 4, {0.58, 0.5, 0.62, 0.55}},
    {A::applaud, 1, {0.5, 0.5, 0.55, 0.5}},
    {A::sit, 2, {0.5, 0.45, 0.5, 0.5}},
    {A::sleep, 4, {0.5, 0.4, 0.48, 0.5}},
    {A::micro_story_role, 6, {0.5, 0.45, 0.55, 0.5}},
    {A::attempt_bit, 2, {0.58, 0.5, 0.58, 0.5}},
    {A::pre_action_ritual, 1, {0.5, 0.43, 0.5, 0.5}},
}};

bool isPartnerAction(AgentAction a) {
    return a == A::join_flea || a == A::watch_flea || a == A::initiate_duet;
}

double baseTerm(AgentAction a) {
    switch (a) {
        case A::perform_assigned_act:
            return 0.4;
        case A::perform_signature:
            return 0.05;
        case A::wander_to:
            return 0.05;
        case A::applaud:
            return 0.05;
        case A::sit:
            return 0.1;
        default:
            return 0.0;
    }
}

double traitTerm(AgentAction a, const Traits& t) {
    switch (a) {
        case A::perform_signature:
            if (t.has("ambition_competitive")) return 0.5;
            if (t.has("ambition_mellow")) return -0.1;
            return 0;
        case A::refuse:
            if (t.has("social_loner")) return 0.1;
            if (t.has("social_crowd")) return -0.3;
            return 0;
        case A::join_flea:
        case A::initiate_duet:
            if (t.has("social_duet") || t.has("social_crowd")) return 0.4;
            if (t.has("social_loner")) return -0.3;
            return 0;
        case A::watch_flea:
            if (t.has("social_loner")) return 0.2;
            if (t.has("social_crowd")) return -0.1;
            return 0;
        case A::sit:
        case A::sleep:
            if (t.has("ambition_mellow")) return 0.25;
            if (t.has("ambition_competitive")) return -0.2;
            return 0;
        case A::micro_story_role:
            return t.has("social_crowd") ? 0.2 : 0;
        case A::attempt_bit:
            if (t.has("ambition_curious") || t.has("ambition_competitive")) return 0.45;
            if (t.has("ambition_mellow")) return -0.2;
            return 0;
        case A::pre_action_ritual:
            if (t.has("superstition_omenist")) return 0.55;
            if (t.has("superstition_skeptic")) return -0.25;
            return 0;
        default:
            return 0;
    }
}

// Comparisons are strict: a value at a threshold earns nothing (and NaN earns nothing).
double moodTerm(AgentAction a, const MoodDimensions& m) {
    switch (a) {
        case A::perform_assigned_act:
            if (m.confidence > 0.55) return 0.2;
            if (m.confidence < 0.35) return -0.2;
            return 0;
        case A::perform_signature:
            if (m.pride > 0.65) return 0.45;
            if (m.confidence < 0.35) return -0.4;
            return 0;
        case A::refuse:
            return (m.confidence < 0.35 && m.nerves > 0.65) ? 0.25 : 0;
        case A::applaud:
            return m.joy > 0.65 ? 0.25 : 0;
        case A::sit:
            if (m.nerves > 0.65) return 0.45;
            if (m.confidence < 0.35) return 0.3;
            return 0;
        case A::sleep:
            return (m.nerves > 0.65 && m.confidence < 0.35) ? 0.45 : 0;
        case A::micro_story_role:
            return (m.nerves < 0.45 && m.joy < 0.55) ? 0.3 : 0;
        case A::initiate_duet:
        case A::attempt_bit:
            if (m.joy > 0.65) return 0.45;
            if (m.nerves > 0.65) return -0.3;
            return 0;
        case A::pre_action_ritual:
            return m.nerves > 0.65 ? 0.4 : 0;
        default:
            return 0;
    }
}

double memoryTerm(AgentAction a, const ToneTally& recent, const ToneTally& old) {
    switch (a) {
        case A::perform_signature:
            if (recent.has("signature")) return 0.45;
            if (old.has("signature")) return 0.25;
            return 0;
        case A::join_flea:
        case A::initiate_duet:
            return recent.has("warm") ? 0.25 : 0;
        case A::sit:
        case A::pre_action_ritual:
            if (recent.has("tender")) return 0.3;
            if (recent.has("resilient")) return 0.2;
            return 0;
        case A::micro_story_role:
            return recent.has("cozy") ? 0.2 : 0;
        case A::attempt_bit:
            if (recent.has("brave")) return 0.25;
            if (recent.has("playful")) return 0.2;
            return 0;
        default:
            return 0;
    }
}

double attentionTerm(AgentAction a) {
    switch (a) {
        case A::perform_assigned_act:
            return 0.3;
        case A::perform_signature:
            return 0.85;
        case A::wander_to:
            return -0.25;
        case A::sit:
            return -0.4;
        case A::sleep:
            return -0.4;
        case A::attempt_bit:
            return 0.55;
        default:
            return 0;
    }
}

double timeTerm(AgentAction a, const WorldSnapshot& w) {
    const bool arcDaySix = w.arc_day_index && *w.arc_day_index == 6;
    switch (a) {
        case A::perform_assigned_act:
            if (w.energy > 0.7) return 0.25;
            if (w.energy < 0.2) return -0.3;
            return 0;
        case A::perform_signature:
        case A::attempt_bit:
            return arcDaySix ? 0.3 : 0;
        case A::sleep:
            if (w.time_of_day == AgentTimeOfDay::evening) return 0.2;
            if (w.time_of_day == AgentTimeOfDay::night) return 0.4;
            return -0.15;
        case A::micro_story_role:
            if (w.time_of_day == AgentTimeOfDay::evening || w.time_of_day == AgentTimeOfDay::night)
                return 0.3;
            if (w.time_of_day == AgentTimeOfDay::midday) return -0.1;
            return 0;
        default:
            return 0;
    }
}

double relationshipTerm(AgentAction a, const Context& c) {
    if (!c.partner || !isPartnerAction(a)) return 0;
    const auto& nearby = c.input.stage_state.nearby_flea_ids;
    return std::find(nearby.begin(), nearby.end(), *c.partner) != nearby.end() ? 0.2 : 0;
}

double repetitionTerm(AgentAction a, const std::vector<AgentIntent>& recent) {
    if (recent.empty()) return 0;
    if (recent.back().action == a) return -1.0;
    const std::size_t from = recent.size() > 3 ? recent.size() - 3 : 0;
    for (std::size_t i = from; i < recent.size(); ++i)
        if (recent[i].action == a) return -0.3;
    return 0;
}

double score(AgentAction a, const Context& c) {
    const double attention = c.attended ? attentionTerm(a) : 0.0;
    // The order of the additions is part of the result: near-ties are decided on it.
    double s = traitTerm(a, c.traits) + moodTerm(a, c.input.mood);
    s = s + memoryTerm(a, c.recent, c.old);
    s = s + relationshipTerm(a, c);
    s = s + attention;
    double total = timeTerm(a, c.input.world_snapshot) + s;
    total = total + repetitionTerm(a, c.input.recent_intents);
    total = total + baseTerm(a);
    return total;
}

// NaN sorts below everything so one bad score can never win or empty the tie list.
bool higher(double a, double b) {
    if (std::isnan(b)) return !std::isnan(a);
    return a > b;
}

// The wander target: the first two draws of the flea's generator.
AgentPosition wanderTarget(std::uint64_t generatorSeed) {
    SplitMix64 rng(generatorSeed);
    const std::uint64_t first = rng.next();
    const std::uint64_t second = rng.next();
    return AgentPosition::make(static_cast<double>(first % 1000) / 1000.0,
                               static_cast<double>(second % 100) / 1000.0 + 0.55);
}

FleaAgentDecision decideWithIdHash(const AgentInput& input, std::uint64_t seed, std::uint64_t idHash,
                                   bool wantScores) {
    const VoiceCard& card = input.voice_card;
    const std::uint64_t generatorSeed = idHash + seed;

    const auto& nearby = input.stage_state.nearby_flea_ids;
    const auto partner = std::find_if(nearby.begin(), nearby.end(),
                                      [&card](const std::string& id) { return id != card.flea_id; });
    const Traits traits(card.traits);
    const bool ritual = !card.superstitions.empty() || traits.has("superstition_omenist");

    Context context{input, traits, {}, {}, false, partner != nearby.end() ? &*partner : nullptr};
    context.recent.count(input.memories_by_tier.immediate);
    context.recent.count(input.memories_by_tier.recent);
    context.old.count(input.memories_by_tier.long_term);
    context.old.count(input.memories_by_tier.legend);
    context.attended = input.stage_state.player_attention_flea_id &&
                       *input.stage_state.player_attention_flea_id == card.flea_id;

    // Only the chosen candidate is built into an intent; the others are scored by action.
    struct Scored {
        const CandidateSpec* spec;
        double score;
    };
    std::array<Scored, kCandidates.size()> candidates{};
    std::size_t candidateCount = 0;
    for (const auto& spec : kCandidates) {
        if (isPartnerAction(spec.action) && !context.partner) continue;
        if (spec.action == A::pre_action_ritual && !ritual) continue;
        candidates[candidateCount++] = {&spec, score(spec.action, context)};
    }

    double best = candidates[0].score;
    for (std::size_t i = 0; i < candidateCount; ++i)
        if (higher(candidates[i].score, best)) best = candidates[i].score;

    std::array<std::size_t, kCandidates.size()> tied{};
    std::size_t tiedCount = 0;
    for (std::size_t i = 0; i < candidateCount; ++i)
        if (std::abs(candidates[i].score - best) < FleaAgentCore::tieEpsilon) tied[tiedCount++] = i;

    // Non-finite scores leave nothing within reach of the best: take the first candidate.
    // The tie-break starts a fresh generator with the wander target's seed, so it reuses
    // the wander target's first draw.
    std::size_t chosen = 0;
    if (tiedCount == 1) {
        chosen = tied[0];
    } else if (tiedCount > 1) {
        chosen = tied[SplitMix64(generatorSeed).next() % tiedCount];
    }

    FleaAgentDecision decision;
    if (wantScores) {
        decision.debugScores.reserve(candidateCount);
        for (std::size_t i = 0; i < candidateCount; ++i)
            decision.debugScores.emplace_back(candidates[i].spec->action, candidates[i].score);
        std::stable_sort(decision.debugScores.begin(), decision.debugScores.end(),
                         [](const auto& a, const auto& b) { return higher(a.second, b.second); });
    }
    const CandidateSpec& spec = *candidates[chosen].spec;
    AgentIntent& intent = decision.intent;
    intent.action = spec.action;
    if (isPartnerAction(spec.action)) intent.target_flea_id = *context.partner;
    if (spec.action == A::wander_to) intent.target_position = wanderTarget(generatorSeed);
    intent.duration_ticks = spec.duration_ticks;
    intent.mood_delta = spec.mood_delta;
    return decision;
}

std::uint64_t idHashOf(const AgentInput& input, const StringHashFunction& hash) {
    return static_cast<std::uint64_t>(hash(input.voice_card.flea_id));
}

std::uint64_t idHashOf(const AgentInput& input) {
    return static_cast<std::uint64_t>(processSaltedStringHash(input.voice_card.flea_id));
}

}  // namespace

bool FleaAgentCore::isInitiativeAction(AgentAction action) {
    return action == A::perform_signature || action == A::initiate_duet || action == A::attempt_bit ||
           action == A::pre_action_ritual;
}

AgentIntent FleaAgentCore::tick(const AgentInput& input, std::uint64_t seed) {
    return decideWithIdHash(input, seed, idHashOf(input), false).intent;
}

AgentIntent FleaAgentCore::tick(const AgentInput& input, std::uint64_t seed, const StringHashFunction& hash) {
    return decideWithIdHash(input, seed, idHashOf(input, hash), false).intent;
}

FleaAgentDecision FleaAgentCore::decide(const AgentInput& input, std::uint64_t seed) {
    return decideWithIdHash(input, seed, idHashOf(input), true);
}

FleaAgentDecision FleaAgentCore::decide(const AgentInput& input, std::uint64_t seed,
                                        const StringHashFunction& hash) {
    return decideWithIdHash(input, seed, idHashOf(input, hash), true);
}

}  // namespace tw
