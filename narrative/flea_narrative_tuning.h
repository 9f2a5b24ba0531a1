#pragma once
// Every threshold the narrative engine compares an event against. `current` is the
// process-wide copy the engine reads on every event; install() replaces it whole.
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/json.h"

namespace tw {

struct FleaNarrativeTuning {
    struct PerformanceMissTriggers {
        double tenderRecoveryRecoveryMin = 0.65;
        double tenderRecoveryTentWarmthMin = 0.55;
        double comicBitCharmMin = 0.65;
        double braveAttemptDaringMin = 0.65;
        double spotlightAttentionMin = 0.7;
        double strangeMagicWonderMin = 0.65;
        double strangeMagicNoveltyMin = 0.7;
        friend bool operator==(const PerformanceMissTriggers&, const PerformanceMissTriggers&) = default;
    };
    struct PerformanceSuccessTriggers {
        double cleanSuccessPrecisionMin = 0.65;
        double spotlightAttentionMin = 0.7;
        double signatureHeartMin = 0.68;
        double strangeMagicWonderMin = 0.7;
        double bondingTroupeReactionMin = 0.65;
        friend bool operator==(const PerformanceSuccessTriggers&,
                               const PerformanceSuccessTriggers&) = default;
    };
    struct NearSuccessTriggers {
        double braveAttemptDaringMin = 0.6;
        double quietResolveHeartMin = 0.65;
        double bondingAttentionMin = 0.7;
        double comicBitCharmMin = 0.65;
        friend bool operator==(const NearSuccessTriggers&, const NearSuccessTriggers&) = default;
    };
    struct PlayerEvents {
        double playerGiftStrangeMagicWonderMin = 0.6;
        double playerGiftStrangeMagicNoveltyMin = 0.6;
        double socialSupportTenderRecoveryMin = 0.55;
        double propEventCharmThreshold = 0.6;
        double propEventStrangeMagicWonderMin = 0.65;
        double strangeEventStrangeMagicWonderMin = 0.7;
        double strangeEventSpotlightAttentionMin = 0.65;
        double quietPracticePrecisionMin = 0.65;
        friend bool operator==(const PlayerEvents&, const PlayerEvents&) = default;
    };
    struct PlayerAttention {
        double lingerSecondsForPlayerSeen = 5.0;
        friend bool operator==(const PlayerAttention&, const PlayerAttention&) = default;
    };
    struct MemoryGate {
        double minImportanceForMemoryRecord = 0.45;
        double playerInvolvedAttentionMin = 0.6;
        double tagPlayerSeenMin = 0.6;
        double tagTogethernessMin = 0.65;
        double tagMysteriousMin = 0.65;
        friend bool operator==(const MemoryGate&, const MemoryGate&) = default;
    };

    std::int64_t schemaVersion = 1;
    PerformanceMissTriggers performanceMissTriggers;
    PerformanceSuccessTriggers performanceSuccessTriggers;
    NearSuccessTriggers nearSuccessTriggers;
    PlayerEvents playerEvents;
    PlayerAttention playerAttention;
    MemoryGate memoryGate;

    friend bool operator==(const FleaNarrativeTuning&, const FleaNarrativeTuning&) = default;

    static const FleaNarrativeTuning& defaults();

    // A copy of the process-wide tuning; safe from any thread.
    static FleaNarrativeTuning current();
    static void setCurrent(const FleaNarrativeTuning& tuning);

    // Decodes a whole document and installs it; on any failure nothing changes, nothing
    // is logged and the result is false.
    static bool install(std::string_view jsonText);

    // No file is watched in this build: the callback is never called.
    static void enableHotReload(std::function<void()> onChange = nullptr);

    OrderedJson toJson() const;
    // Every key required; unknown keys ignored; schemaVersion must be an integer.
    static FleaNarrativeTuning fromJson(const JsonReader& reader);
};

}  // namespace tw
