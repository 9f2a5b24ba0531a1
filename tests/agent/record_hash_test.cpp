// The value records hash as they compare, so they can key unordered containers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unordered_set>

#include "agent/agent_records.h"
#include "agent/dialogue_records.h"
#include "narrative/love_bond_records.h"
#include "narrative/narrative_event_record.h"
#include "platform/telemetry_value.h"

namespace tw {
namespace {

// `same` equals `value` though built apart (a -0.0 where `value` has 0.0, where the
// record has a number); `other` differs from both.
template <typename T>
void expectHashAgreesWithEquality(const char* name, const T& value, const T& same, const T& other) {
    SCOPED_TRACE(name);
    ASSERT_EQ(value, same);
    ASSERT_NE(value, other);
    EXPECT_EQ(std::hash<T>{}(value), std::hash<T>{}(same));
    const std::unordered_set<T> set{value, same, other, other};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.contains(same));
    EXPECT_TRUE(set.contains(other));
}

TEST(RecordHash, EqualRecordsHashAlikeAndKeyUnorderedSets) {
    const VoiceCard card{.flea_id = "Nova", .name = "Nova", .traits = {"bold", "kind"}};
    VoiceCard noPronouns = card;
    noPronouns.pronouns.reset();
    expectHashAgreesWithEquality("VoiceCard", card, VoiceCard(card), noPronouns);

    expectHashAgreesWithEquality("MoodDimensions", MoodDimensions{0.0, 0.5, 1.0, 0.25},
                                 MoodDimensions{-0.0, 0.5, 1.0, 0.25}, MoodDimensions{0.5, 0.0, 1.0, 0.25});

    const AgentMemory memory{.id = "m1", .tags = {"fall"}, .summary = "slipped"};
    AgentMemory withPlayer = memory;
    withPlayer.involves_player = true;
    expectHashAgreesWithEquality("AgentMemory", memory, AgentMemory(memory), withPlayer);

    expectHashAgreesWithEquality("AgentPosition", AgentPosition{0.0, 0.3}, AgentPosition{-0.0, 0.3},
                                 AgentPosition{0.3, 0.0});

    expectHashAgreesWithEquality("DialogueHook",
                                 DialogueHook{"fall", 0.0, AgentDialogueChannel::thought_bubble},
                                 DialogueHook{"fall", -0.0, AgentDialogueChannel::thought_bubble},
                                 DialogueHook{"fall", 0.0, AgentDialogueChannel::diary_line});

    const AgentIntent intent{.action = AgentAction::applaud,
                             .target_position = AgentPosition{0.0, 1.0},
                             .mood_delta = MoodDimensions{0.0, 0.5, 0.5, 0.5}};
    AgentIntent intentWithNegativeZeros = intent;
    intentWithNegativeZeros.target_position = AgentPosition{-0.0, 1.0};
    intentWithNegativeZeros.mood_delta.confidence = -0.0;
    AgentIntent intentWithoutPosition = intent;
    intentWithoutPosition.target_position.reset();
    expectHashAgreesWithEquality("AgentIntent", intent, intentWithNegativeZeros, intentWithoutPosition);

    const AgentDialogueLine line{.text = "Up we go!", .refers_to_memory_id = "m1", .cache_key = "k"};
    AgentDialogueLine unreferenced = line;
    unreferenced.refers_to_memory_id.reset();
    expectHashAgreesWithEquality("AgentDialogueLine", line, AgentDialogueLine(line), unreferenced);

    expectHashAgreesWithEquality("TelemetryValue double", TelemetryValue(0.0), TelemetryValue(-0.0),
                                 TelemetryValue(0));
    expectHashAgreesWithEquality("TelemetryValue text", TelemetryValue("on"),
                                 TelemetryValue(std::string("on")), TelemetryValue(true));
    expectHashAgreesWithEquality("TelemetryValue null", TelemetryValue(), TelemetryValue(nullptr),
                                 TelemetryValue(""));

    const Uuid id = Uuid::random();
    expectHashAgreesWithEquality("FleaReference", FleaReference{id, "Mabel"}, FleaReference{id, "Mabel"},
                                 FleaReference{std::nullopt, "Mabel"});

    expectHashAgreesWithEquality("FleaConversationLine", FleaConversationLine{"Pip", "Hi"},
                                 FleaConversationLine{"Pip", "Hi"}, FleaConversationLine{"Hi", "Pip"});
}

}  // namespace
}  // namespace tw
