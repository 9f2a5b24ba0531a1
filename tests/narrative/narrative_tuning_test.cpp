#include <gtest/gtest.h>

#include "narrative_test_support.h"
#include "platform/log.h"

namespace tw {
namespace {

class NarrativeTuningTest : public ::testing::Test {
   protected:
    void SetUp() override { FleaNarrativeTuning::setCurrent(FleaNarrativeTuning::defaults()); }
    void TearDown() override { FleaNarrativeTuning::setCurrent(FleaNarrativeTuning::defaults()); }

    static OrderedJson defaultsDocument() { return FleaNarrativeTuning::defaults().toJson(); }

    static FleaNarrativeTuning changed() {
        FleaNarrativeTuning tuning;
        tuning.memoryGate.minImportanceForMemoryRecord = 0.9;
        return tuning;
    }
};

TEST_F(NarrativeTuningTest, DefaultsAndRoundTrip) {
    EXPECT_EQ(FleaNarrativeTuning::current(), FleaNarrativeTuning{});
    EXPECT_EQ(FleaNarrativeTuning::defaults().performanceSuccessTriggers.signatureHeartMin, 0.68);
    const OrderedJson document = defaultsDocument();
    EXPECT_EQ(document["performanceMissTriggers"].size(), 7u);
    EXPECT_EQ(document["playerEvents"].size(), 8u);
    EXPECT_EQ(document["memoryGate"].size(), 5u);

    FleaNarrativeTuning::setCurrent(changed());
    EXPECT_TRUE(FleaNarrativeTuning::install(dumpJson(document)));
    EXPECT_EQ(FleaNarrativeTuning::current(), FleaNarrativeTuning::defaults());
}

TEST_F(NarrativeTuningTest, AnyMissingOrMistypedKeyChangesNothing) {
    FleaNarrativeTuning::setCurrent(changed());
    const OrderedJson full = defaultsDocument();

    std::vector<OrderedJson> broken;
    for (const auto& item : full.items()) {
        OrderedJson document = full;
        document.erase(item.key());
        broken.push_back(document);
        if (item.value().is_object()) {
            for (const auto& field : item.value().items()) {
                OrderedJson nested = full;
                nested[item.key()].erase(field.key());
                broken.push_back(nested);
                nested[item.key()][field.key()] = "0.5";
                broken.push_back(nested);
                nested[item.key()][field.key()] = nullptr;
                broken.push_back(nested);
            }
        }
    }
    OrderedJson version = full;
    version["schemaVersion"] = 1.5;
    broken.push_back(version);
    version["schemaVersion"] = "1";
    broken.push_back(version);
    ASSERT_EQ(broken.size(), 7u + 30u * 3u + 2u);

    std::vector<std::string> texts;
    for (const OrderedJson& document : broken) texts.push_back(dumpJson(document));
    texts.insert(texts.end(), {"not json", "[]", ""});
    // A failed install says so only through its result: nothing is logged.
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    for (const std::string& text : texts) {
        EXPECT_FALSE(FleaNarrativeTuning::install(text)) << text;
        EXPECT_EQ(FleaNarrativeTuning::current(), changed());
    }
    log::setSinkForTesting(nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{});
}

TEST_F(NarrativeTuningTest, LenientWhereHarmless) {
    OrderedJson document = defaultsDocument();
    document["schemaVersion"] = 2;
    document["extra"] = true;
    document["playerAttention"]["extra"] = "ignored";
    document["playerAttention"]["lingerSecondsForPlayerSeen"] = 8;  // an integer token is a number
    ASSERT_TRUE(FleaNarrativeTuning::install(dumpJson(document)));
    EXPECT_EQ(FleaNarrativeTuning::current().schemaVersion, 2);
    EXPECT_EQ(FleaNarrativeTuning::current().playerAttention.lingerSecondsForPlayerSeen, 8.0);

    bool called = false;
    FleaNarrativeTuning::enableHotReload([&] { called = true; });
    FleaNarrativeTuning::enableHotReload();
    EXPECT_FALSE(called);
}

TEST_F(NarrativeTuningTest, NextEventSeesAnInstalledTuning) {
    using namespace narrative_test;
    const TumblewickEventRecord e = event(TumblewickEventType::performanceSuccess);
    EXPECT_EQ(FleaNarrativeEngine::interpret(e, {}).outcomes,
              std::vector<FleaOutcome>{FleaOutcome::cleanSuccess});

    OrderedJson document = defaultsDocument();
    document["performanceSuccessTriggers"]["signatureHeartMin"] = 0.5;
    ASSERT_TRUE(FleaNarrativeTuning::install(dumpJson(document)));
    EXPECT_EQ(FleaNarrativeEngine::interpret(e, {}).outcomes,
              std::vector<FleaOutcome>{FleaOutcome::signatureMoment});

    const FleaNarrativeEngine engine;
    document["memoryGate"]["minImportanceForMemoryRecord"] = 0.99;
    ASSERT_TRUE(FleaNarrativeTuning::install(dumpJson(document)));
    EXPECT_FALSE(engine.makeMemoryCandidate(e, FleaNarrativeEngine::interpret(e, {})));
}

}  // namespace
}  // namespace tw
