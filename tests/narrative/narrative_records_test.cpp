#include <gtest/gtest.h>

#include "narrative_test_support.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;

OrderedJson roundTrip(const OrderedJson& value) { return parseJson(dumpJson(value)); }

template <typename Record>
JsonErrorKind decodeFailure(const std::string& text) {
    try {
        const OrderedJson document = parseJson(text);
        Record::fromJson(JsonReader(document));
    } catch (const JsonDecodeError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded: " << text;
    return JsonErrorKind::keyNotFound;
}

TEST(NarrativeVocabulary, RawValuesAreExact) {
    EXPECT_EQ(fromRawValue<E>("signature_performed"), E::signaturePerformed);
    EXPECT_EQ(fromRawValue<E>("signaturePerformed"), std::nullopt);
    EXPECT_EQ(fromRawValue<E>("signature_performed "), std::nullopt);
    EXPECT_EQ(fromRawValue<FleaMemoryTier>("longTerm"), std::nullopt);
    EXPECT_EQ(rawValue(FleaMemoryTier::longTerm), "long_term");
    EXPECT_EQ(displayLabel(FleaMemoryTier::longTerm), "LONG");
    EXPECT_EQ(allCases<O>().size(), 18u);
    EXPECT_EQ(allCases<O>().front(), O::cleanSuccess);
    EXPECT_EQ(allCases<O>().back(), O::discoveryMemory);
    EXPECT_EQ(label(FleaTrait::socialDuet), "Duet");
    EXPECT_EQ(label(FleaTrait::socialCrowd), "Crowd-pleaser");
}

TEST(NarrativeRecords, MakeClampsButFieldsAndDecodingDoNot) {
    const auto metrics =
        FleaEventResultMetrics::make({.precision = 1.4, .daring = -0.2, .charm = std::nan("")});
    EXPECT_EQ(metrics, (FleaEventResultMetrics{1.0, 0.0, 0.0, 0.5, 0.5, 0.5}));

    const auto context =
        FleaEventContext::make({.wonder = std::nan(""), .recurrenceCount = -3, .attentionLingerSeconds = 42});
    EXPECT_EQ(context.wonder, 0.0);
    EXPECT_EQ(context.recurrenceCount, 0);
    EXPECT_EQ(context.attentionLingerSeconds, 42);
    EXPECT_EQ(FleaEventContext::make({.attentionLingerSeconds = -1}).attentionLingerSeconds, 0);

    EXPECT_EQ(FleaMemory::make({.importance = 1.7}).importance, 1.0);
    EXPECT_EQ(FleaMemory::make({.importance = -0.1}).importance, 0.0);
    const auto bond = FleaPairBond::make({.affection = std::nan(""), .interactionCount = -3});
    EXPECT_EQ(bond.affection, 0.0);
    EXPECT_EQ(bond.interactionCount, 0);

    TumblewickEventRecord e = event(E::strangeEvent, "Nova", "tightrope");
    e.rawResult.daring = 3;
    e.context.primaryFleaTraits = {FleaTrait::socialLoner, FleaTrait::ambitionCurious};
    e.context.previousEventType = E::recovery;
    e.involvedFleas = {FleaReference{Uuid::random(), "Dot"}};
    const auto decoded = TumblewickEventRecord::fromJson(JsonReader(roundTrip(e.toJson())));
    EXPECT_EQ(decoded, e);
    EXPECT_EQ(decoded.rawResult.daring, 3);
}

TEST(NarrativeRecords, OptionalKeysAreLeftOut) {
    EXPECT_EQ(dumpJson(flea("Nova").toJson()), R"({"name":"Nova"})");
    EXPECT_FALSE(FleaEventContext{}.toJson().contains("previousEventType"));
    EXPECT_FALSE(FleaPairBond{}.toJson().contains("lastDialogueLine"));
    const FleaDialogue plain{"t", "c", "d", std::nullopt, "p", std::nullopt, std::nullopt, std::nullopt, "n"};
    const OrderedJson json = plain.toJson();
    std::vector<std::string> keys;
    for (const auto& item : json.items()) keys.push_back(item.key());
    EXPECT_EQ(keys,
              tags({"thoughtBubble", "colonyLine", "diaryLine", "postShowLine", "suggestedIdentityNudge"}));
    EXPECT_EQ(FleaDialogue::fromJson(JsonReader(json)), plain);

    const FleaNarrativeResult result{
        event(E::recovery), FleaNarrativeEngine::interpret(event(E::recovery), {}), std::nullopt, plain};
    const OrderedJson resultJson = roundTrip(result.toJson());
    EXPECT_FALSE(resultJson.contains("memory"));
    EXPECT_EQ(FleaNarrativeResult::fromJson(JsonReader(resultJson)), result);
}

TEST(NarrativeRecords, StrictDecoding) {
    // Only the first nine context keys are required.
    const std::string nine = R"({"tentWarmth":0.6,"backstageBuzz":0.5,"houseTrust":0.5,"wonder":0.4,)"
                             R"("playerAttention":0.5,"relationshipRelevance":0.4,"troupeReaction":0.4,)"
                             R"("recurrenceCount":0,"playerPinned":false})";
    const OrderedJson document = parseJson(nine);
    EXPECT_EQ(FleaEventContext::fromJson(JsonReader(document)), FleaEventContext{});

    OrderedJson noWonder = document;
    noWonder.erase("wonder");
    EXPECT_EQ(decodeFailure<FleaEventContext>(dumpJson(noWonder)), JsonErrorKind::keyNotFound);
    OrderedJson badTrait = document;
    badTrait["primaryFleaTraits"] = {"social_hermit"};
    EXPECT_EQ(decodeFailure<FleaEventContext>(dumpJson(badTrait)), JsonErrorKind::dataCorrupted);
    OrderedJson fractional = document;
    fractional["recurrenceCount"] = 1.5;
    EXPECT_EQ(decodeFailure<FleaEventContext>(dumpJson(fractional)), JsonErrorKind::typeMismatch);

    FleaMemory memory =
        FleaMemory::make({.flea = flea("Pip"), .tier = FleaMemoryTier::longTerm, .importance = 0.4});
    OrderedJson memoryJson = memory.toJson();
    EXPECT_EQ(memoryJson["tier"], "long_term");
    memoryJson["importance"] = 1.7;
    EXPECT_EQ(FleaMemory::fromJson(JsonReader(memoryJson)).importance, 1.7);
    memoryJson.erase("pinned");
    EXPECT_EQ(decodeFailure<FleaMemory>(dumpJson(memoryJson)), JsonErrorKind::keyNotFound);

    OrderedJson interpretation = FleaNarrativeEngine::interpret(event(E::recovery), {}).toJson();
    interpretation["outcomes"] = {"comic_bit", "myth_seed "};
    EXPECT_EQ(decodeFailure<FleaInterpretation>(dumpJson(interpretation)), JsonErrorKind::dataCorrupted);
}

TEST(NarrativeState, JsonRoundTripKeepsEverything) {
    testing::ManualClock clock{Date{900000000}};
    const FleaNarrativeEngine engine{clock, Calendar("UTC")};
    FleaNarrativeState state;
    const FleaReference nova{Uuid::random(), "Nova"};
    TumblewickEventRecord duet = event(E::duetMoment);
    duet.primaryFlea = nova;
    duet.involvedFleas = {flea("Dot")};
    duet.occurredAt = Date{900000000.123456789};
    engine.process(duet, state);
    engine.process(event(E::returnEvent), state);
    engine.triggerConversation(nova, flea("Dot"), state, "backstage");
    state.troupeMyths.push_back(
        TroupeMyth{Uuid::random(), "The bell rang", {nova.id.value()}, {"Nova", "Dot"}, Date{1.5}, "line"});

    const OrderedJson json = roundTrip(state.toJson());
    ASSERT_TRUE(json["loveStatsByFleaID"].is_array());
    ASSERT_EQ(json["loveStatsByFleaID"].size(), 2u);
    EXPECT_EQ(json["loveStatsByFleaID"][0], nova.id->uuidString());
    EXPECT_TRUE(json["loveStatsByFleaName"].is_object());
    EXPECT_EQ(FleaNarrativeState::fromJson(JsonReader(json)), state);

    FleaNarrativeState changed = state;
    changed.pairBonds.begin()->second.interactionCount += 1;
    EXPECT_NE(changed, state);
}

TEST(NarrativeState, DecodingIsPerKeyOptionalButStrict) {
    EXPECT_EQ(FleaNarrativeState::fromJson(JsonReader(parseJson("{}"))), FleaNarrativeState{});
    EXPECT_EQ(FleaNarrativeState::fromJson(JsonReader(parseJson(R"({"memories":null,"other":1})"))),
              FleaNarrativeState{});

    FleaNarrativeState only;
    only.memories.push_back(FleaMemory::make({.flea = flea("Pip"), .createdAt = Date{3}, .importance = 0.5}));
    OrderedJson json = OrderedJson::object();
    json["memories"] = only.toJson()["memories"];
    EXPECT_EQ(FleaNarrativeState::fromJson(JsonReader(json)), only);

    EXPECT_EQ(decodeFailure<FleaNarrativeState>(R"({"pairBonds":[]})"), JsonErrorKind::typeMismatch);
    const std::string id = Uuid::random().uuidString();
    const std::string stats = dumpJson(FleaLoveStats{}.toJson());
    EXPECT_EQ(decodeFailure<FleaNarrativeState>(R"({"loveStatsByFleaID":[")" + id + R"("]})"),
              JsonErrorKind::dataCorrupted);
    EXPECT_EQ(decodeFailure<FleaNarrativeState>(R"({"loveStatsByFleaID":[")" + id + "\"," + stats + ",\"" +
                                                id + "\"," + stats + "]}"),
              JsonErrorKind::dataCorrupted);
}

}  // namespace
}  // namespace tw
