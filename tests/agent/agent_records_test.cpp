#include "agent/agent_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "agent/agent_records_json.h"
#include "agent/dialogue_records.h"
#include "agent/dialogue_records_json.h"
#include "agent/flea_stage_state.h"

namespace tw {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T>
T roundTrip(const T& value) {
    const OrderedJson parsed = parseJson(dumpJson(toJson(value)));
    return decodeJson<T>(JsonReader(parsed));
}

template <typename T>
T decodeText(const std::string& text) {
    const OrderedJson parsed = parseJson(text);
    return decodeJson<T>(JsonReader(parsed));
}

template <typename T>
JsonErrorKind decodeFailure(const std::string& text) {
    try {
        decodeText<T>(text);
    } catch (const JsonDecodeError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded: " << text;
    return JsonErrorKind::dataCorrupted;
}

TEST(AgentRecordsInit, ClampsAndCutsOnlyWhereTheInitializerDoes) {
    const auto mood = MoodDimensions::make(-0.2, 1.3, kNaN, 0.5);
    EXPECT_EQ(mood, (MoodDimensions{0, 1, 0, 0.5}));

    EXPECT_EQ(WorldSnapshot::make("t", AgentTimeOfDay::midday, kNaN).energy, 1.0);
    EXPECT_EQ(WorldSnapshot::make("t", AgentTimeOfDay::midday, -3).energy, 0.0);
    EXPECT_EQ(WorldSnapshot::make("t", AgentTimeOfDay::midday, 1.5).energy, 1.0);
    EXPECT_EQ(AgentPosition::make(kNaN, 0.3), (AgentPosition{1.0, 0.3}));
    EXPECT_EQ(DialogueHook::make("x", 2, AgentDialogueChannel::diary_line).importance, 1.0);

    EXPECT_EQ(AgentIntent::make(AgentAction::sit, {}, {}, 0).duration_ticks, 1);
    EXPECT_EQ(AgentIntent::make(AgentAction::sit, {}, {}, -4).duration_ticks, 1);
    EXPECT_EQ(AgentIntent::make(AgentAction::sit, {}, {}, 7).duration_ticks, 7);

    std::vector<AgentIntent> twelve;
    for (int i = 1; i <= 12; ++i) twelve.push_back(AgentIntent::make(AgentAction::sit, {}, {}, i));
    const auto input =
        AgentInput::make(VoiceCard{.flea_id = "Pip"}, MoodDimensions{1.7, 0, 0, 0}, {}, {}, {}, twelve);
    ASSERT_EQ(input.recent_intents.size(), 8u);
    EXPECT_EQ(input.recent_intents.front().duration_ticks, 5);
    EXPECT_EQ(input.recent_intents.back().duration_ticks, 12);
    EXPECT_EQ(input.mood.confidence, 1.7);  // the input keeps its mood as given

    std::vector<AgentMemory> five(5, AgentMemory{.id = "m"});
    for (int i = 0; i < 5; ++i) five[i].id = "m" + std::to_string(i);
    const auto request =
        DialogueRequest::make("Pip", {}, five, "win", AgentDialogueChannel::thought_bubble, 1);
    ASSERT_EQ(request.recent_memories.size(), 3u);
    EXPECT_EQ(request.recent_memories[2].id, "m2");
}

TEST(AgentRecordsInit, DialogueLineCutsGraphemesNotBytes) {
    std::string flags;
    for (int i = 0; i < 150; ++i) flags += "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // a two-code-point flag
    const auto line =
        AgentDialogueLine::make(flags, AgentDialogueTone::proud, {}, AgentDialogueGenerator::llm, "k");
    EXPECT_EQ(line.text.size(), 140u * 8u);

    const std::string exact(140, 'a');
    EXPECT_EQ(
        AgentDialogueLine::make(exact, AgentDialogueTone::cozy, {}, AgentDialogueGenerator::template_, "k")
            .text,
        exact);
    EXPECT_EQ(AgentDialogueLine::make(std::string(200, 'b'), AgentDialogueTone::cozy, {},
                                      AgentDialogueGenerator::template_, "k")
                  .text.size(),
              140u);
}

TEST(MoodDynamics, DecayMovesHalfWayPerHalfLifeAndNeverCrossesNeutral) {
    const MoodDimensions mood{0.0, 1.0, 0.9, 0.2};
    EXPECT_EQ(mood.decayed(0), mood);
    EXPECT_EQ(mood.decayed(-5), mood);
    EXPECT_EQ(mood.decayed(kNaN), mood);
    const auto after = mood.decayed(90);
    EXPECT_DOUBLE_EQ(after.nerves, 0.75);
    EXPECT_DOUBLE_EQ(mood.decayed(240).confidence, 0.25);
    const auto later = mood.decayed(1e6);
    EXPECT_LE(later.confidence, 0.5);
    EXPECT_GE(later.nerves, 0.5);
    EXPECT_NEAR(later.joy, 0.5, 1e-12);

    const MoodDimensions value{0.8, 0.5, 0.2, 0.5};
    EXPECT_EQ(value.applyingDelta(MoodDimensions{}), value);
    EXPECT_EQ(value.applyingDelta(MoodDimensions{1.0, 0.7, 0.0, 0.5}), (MoodDimensions{1.0, 0.7, 0.0, 0.5}));
}

TEST(AgentRecordsInit, FlattenedMemoriesFollowTierOrder) {
    MemoriesByTier memories;
    memories.legend = {AgentMemory{.id = "5"}};
    memories.season = {AgentMemory{.id = "3"}};
    memories.immediate = {AgentMemory{.id = "1"}};
    memories.long_term = {AgentMemory{.id = "4"}};
    memories.recent = {AgentMemory{.id = "2"}};
    std::string order;
    for (const auto& memory : memories.allFlattened()) order += memory.id;
    EXPECT_EQ(order, "12345");
}

TEST(AgentRecordsJson, WritesFieldNamesAndLeavesOutAbsentOptionals) {
    const auto intent = AgentIntent::make(AgentAction::sit);
    EXPECT_EQ(
        dumpJson(toJson(intent)),
        R"({"action":"sit","duration_ticks":1,"mood_delta":{"confidence":0.5,"nerves":0.5,"joy":0.5,"pride":0.5}})");

    const auto decoded = decodeText<AgentIntent>(
        R"({"action":"wander_to","target_flea_id":null,"duration_ticks":0,"extra":1,
            "target_position":{"x_norm":2.0,"y_norm":-1},
            "mood_delta":{"confidence":1.7,"nerves":0.5,"joy":0.5,"pride":0.5}})");
    EXPECT_FALSE(decoded.target_flea_id);
    EXPECT_EQ(decoded.duration_ticks, 0);  // no clamps on decoding
    EXPECT_EQ(decoded.target_position, (AgentPosition{2.0, -1.0}));
    EXPECT_EQ(decoded.mood_delta.confidence, 1.7);
}

TEST(AgentRecordsJson, DecodingIsStrict) {
    EXPECT_EQ(decodeFailure<VoiceCard>(R"({"flea_id":"a","name":"A","traits":[],"superstitions":[]})"),
              JsonErrorKind::keyNotFound);
    const auto card = decodeText<VoiceCard>(
        R"({"flea_id":"a","name":"A","traits":[],"voice_style":"v","superstitions":[]})");
    EXPECT_FALSE(card.pronouns);  // absent, not the initializer's "they/them"

    EXPECT_EQ(decodeFailure<AgentIntent>(R"({"action":"dance","duration_ticks":1,
        "mood_delta":{"confidence":0.5,"nerves":0.5,"joy":0.5,"pride":0.5}})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<AgentIntent>(R"({"action":"Sit","duration_ticks":1,
        "mood_delta":{"confidence":0.5,"nerves":0.5,"joy":0.5,"pride":0.5}})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<AgentIntent>(R"({"action":"sit","duration_ticks":1.5,
        "mood_delta":{"confidence":0.5,"nerves":0.5,"joy":0.5,"pride":0.5}})"),
              JsonErrorKind::typeMismatch);
    EXPECT_EQ(decodeFailure<MoodDimensions>(R"({"confidence":null,"nerves":0.5,"joy":0.5,"pride":0.5})"),
              JsonErrorKind::valueNotFound);
    EXPECT_EQ(
        decodeFailure<AgentMemory>(
            R"({"id":"m","tier":"long-term","tone":"t","tags":[],"involves_player":false,"summary":""})"),
        JsonErrorKind::dataCorrupted);
    EXPECT_EQ(
        decodeText<AgentMemory>(
            R"({"id":"m","tier":"long_term","tone":"t","tags":[],"involves_player":false,"summary":""})")
            .tier,
        AgentMemoryTier::long_term);
    EXPECT_EQ(decodeFailure<AgentMemory>(
                  R"({"id":"m","tier":"recent","tone":"t","tags":[],"involves_player":0,"summary":""})"),
              JsonErrorKind::typeMismatch);
    EXPECT_EQ(decodeFailure<AgentDialogueLine>(
                  R"({"text":"hi","tone":"grumpy","generated_by":"llm","cache_key":"k"})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<AgentDialogueLine>(
                  R"({"text":"hi","tone":"cozy","generated_by":"human","cache_key":"k"})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<FleaStageState>("null"), JsonErrorKind::valueNotFound);
    EXPECT_EQ(decodeFailure<FleaStageState>("[]"), JsonErrorKind::typeMismatch);
    EXPECT_EQ(decodeFailure<FleaStageState>(R"({"flea_id":"a","assigned_act":"x","current_pose":"dancing"})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<DialogueRequest>("7"), JsonErrorKind::typeMismatch);
    EXPECT_NE(
        decodeFailure<DialogueRequest>(R"({"flea_id":"a","voice_card":{"flea_id":"a","name":"A","traits":[],
        "voice_style":"v","superstitions":[]},"recent_memories":[],"outcome_kind":"x","channel":"diary_line","seed":-1})"),
        JsonErrorKind::keyNotFound);
}

TEST(AgentRecordsJson, EncodingRefusesNonFiniteNumbers) {
    MoodDimensions mood;
    mood.joy = kNaN;
    EXPECT_THROW(toJson(mood), JsonEncodeError);
}

TEST(AgentRecordsJson, EveryRecordRoundTrips) {
    AgentInput input;
    input.voice_card = VoiceCard{
        "Nova", "Nova", {"ambition_competitive"}, "crisp", "the top", {"black cats"}, std::nullopt, "onward"};
    input.mood = MoodDimensions{0.1, 0.2, 0.3, 0.4};
    input.memories_by_tier.recent = {
        AgentMemory{"m1", AgentMemoryTier::recent, "warm", {"a", "b"}, true, "s"}};
    input.world_snapshot =
        WorldSnapshot{"2026-12-06T14:25:36Z", AgentTimeOfDay::night, 0.25, 6, AgentWeather::snowy};
    input.stage_state = StageState{"Nova", "tightrope", {"Zing", "Rex"}};
    input.recent_intents = {
        AgentIntent{AgentAction::join_flea, "Zing", AgentPosition{0.2, 0.6}, 2, MoodDimensions{},
                    DialogueHook{"win", 0.7, AgentDialogueChannel::gossip_line}},
        AgentIntent::make(AgentAction::pre_action_ritual)};
    EXPECT_EQ(roundTrip(input), input);

    const auto line =
        AgentDialogueLine::make("Hi \xF0\x9F\x91\x8B\xF0\x9F\x8F\xBD", AgentDialogueTone::electric,
                                std::nullopt, AgentDialogueGenerator::template_, "key");
    EXPECT_EQ(roundTrip(line), line);
    EXPECT_FALSE(toJson(line).contains("refers_to_memory_id"));
    EXPECT_EQ(toJson(line)["generated_by"], "template");

    auto request = DialogueRequest::make("Nova", input.voice_card, {}, "fall",
                                         AgentDialogueChannel::refusal_line, 18446744073709551615ULL);
    EXPECT_EQ(dumpJson(toJson(request)).find("\"seed\":18446744073709551615") != std::string::npos, true);
    EXPECT_TRUE(toJson(request)["recent_memories"].is_array());
    EXPECT_EQ(roundTrip(request), request);
    request.seed = (1ULL << 53) + 1;
    EXPECT_EQ(roundTrip(request).seed, (1ULL << 53) + 1);

    FleaStageState state = FleaStageState::make("Pip", "strongman");
    EXPECT_EQ(dumpJson(toJson(state)),
              R"({"flea_id":"Pip","assigned_act":"strongman","current_pose":"idle"})");
    state.position = AgentPosition{0.5, 0.6};
    state.current_pose = AgentPose::headShake;
    state.cooldown_until = Date{1234.5};
    state.current_action = AgentAction::refuse;
    EXPECT_EQ(roundTrip(state), state);
}

TEST(AgentRecordsEnums, RawValuesAreExactAndOrdered) {
    EXPECT_EQ(allCases<AgentAction>().size(), 13u);
    EXPECT_EQ(allCases<AgentAction>().back(), AgentAction::pre_action_ritual);
    EXPECT_EQ(fromRawValue<AgentAction>("micro_story_role"), AgentAction::micro_story_role);
    EXPECT_FALSE(fromRawValue<AgentAction>("micro-story-role"));
    EXPECT_FALSE(fromRawValue<AgentAction>("SIT"));
    EXPECT_EQ(rawValue(AgentDialogueGenerator::template_), "template");
    EXPECT_EQ(rawValue(AgentPose::headShake), "headShake");
    EXPECT_EQ(rawValue(AgentMemoryTier::long_term), "long_term");
}

}  // namespace
}  // namespace tw
