#include "narrative/flea_narrative_tuning.h"

#include <mutex>

#include "narrative/narrative_json.h"

namespace tw {

namespace {

using T = FleaNarrativeTuning;

// One row per threshold: its group, key and place. The order is the key order.
template <typename Group>
using Field = narrative_json::NumberField<Group>;

constexpr Field<T::PerformanceMissTriggers> kMiss[] = {
    {"tenderRecoveryRecoveryMin", &T::PerformanceMissTriggers::tenderRecoveryRecoveryMin},
    {"tenderRecoveryTentWarmthMin", &T::PerformanceMissTriggers::tenderRecoveryTentWarmthMin},
    {"comicBitCharmMin", &T::PerformanceMissTriggers::comicBitCharmMin},
    {"braveAttemptDaringMin", &T::PerformanceMissTriggers::braveAttemptDaringMin},
    {"spotlightAttentionMin", &T::PerformanceMissTriggers::spotlightAttentionMin},
    {"strangeMagicWonderMin", &T::PerformanceMissTriggers::strangeMagicWonderMin},
    {"strangeMagicNoveltyMin", &T::PerformanceMissTriggers::strangeMagicNoveltyMin},
};
constexpr Field<T::PerformanceSuccessTriggers> kSuccess[] = {
    {"cleanSuccessPrecisionMin", &T::PerformanceSuccessTriggers::cleanSuccessPrecisionMin},
    {"spotlightAttentionMin", &T::PerformanceSuccessTriggers::spotlightAttentionMin},
    {"signatureHeartMin", &T::PerformanceSuccessTriggers::signatureHeartMin},
    {"strangeMagicWonderMin", &T::PerformanceSuccessTriggers::strangeMagicWonderMin},
    {"bondingTroupeReactionMin", &T::PerformanceSuccessTriggers::bondingTroupeReactionMin},
};
constexpr Field<T::NearSuccessTriggers> kNear[] = {
    {"braveAttemptDaringMin", &T::NearSuccessTriggers::braveAttemptDaringMin},
    {"quietResolveHeartMin", &T::NearSuccessTriggers::quietResolveHeartMin},
    {"bondingAttentionMin", &T::NearSuccessTriggers::bondingAttentionMin},
    {"comicBitCharmMin", &T::NearSuccessTriggers::comicBitCharmMin},
};
constexpr Field<T::PlayerEvents> kPlayerEvents[] = {
    {"playerGiftStrangeMagicWonderMin", &T::PlayerEvents::playerGiftStrangeMagicWonderMin},
    {"playerGiftStrangeMagicNoveltyMin", &T::PlayerEvents::playerGiftStrangeMagicNoveltyMin},
    {"socialSupportTenderRecoveryMin", &T::PlayerEvents::socialSupportTenderRecoveryMin},
    {"propEventCharmThreshold", &T::PlayerEvents::propEventCharmThreshold},
    {"propEventStrangeMagicWonderMin", &T::PlayerEvents::propEventStrangeMagicWonderMin},
    {"strangeEventStrangeMagicWonderMin", &T::PlayerEvents::strangeEventStrangeMagicWonderMin},
    {"strangeEventSpotlightAttentionMin", &T::PlayerEvents::strangeEventSpotlightAttentionMin},
    {"quietPracticePrecisionMin", &T::PlayerEvents::quietPracticePrecisionMin},
};
constexpr Field<T::PlayerAttention> kPlayerAttention[] = {
    {"lingerSecondsForPlayerSeen", &T::PlayerAttention::lingerSecondsForPlayerSeen},
};
constexpr Field<T::MemoryGate> kMemoryGate[] = {
    {"minImportanceForMemoryRecord", &T::MemoryGate::minImportanceForMemoryRecord},
    {"playerInvolvedAttentionMin", &T::MemoryGate::playerInvolvedAttentionMin},
    {"tagPlayerSeenMin", &T::MemoryGate::tagPlayerSeenMin},
    {"tagTogethernessMin", &T::MemoryGate::tagTogethernessMin},
    {"tagMysteriousMin", &T::MemoryGate::tagMysteriousMin},
};

// The process-wide value: readers copy it under the lock, writers replace it whole.
struct CurrentTuning {
    std::mutex mutex;
    FleaNarrativeTuning value;
};

CurrentTuning& currentTuning() {
    static CurrentTuning instance;
    return instance;
}

}  // namespace

const FleaNarrativeTuning& FleaNarrativeTuning::defaults() {
    static const FleaNarrativeTuning value{};
    return value;
}

FleaNarrativeTuning FleaNarrativeTuning::current() {
    CurrentTuning& c = currentTuning();
    std::lock_guard lock(c.mutex);
    return c.value;
}

void FleaNarrativeTuning::setCurrent(const FleaNarrativeTuning& tuning) {
    CurrentTuning& c = currentTuning();
    std::lock_guard lock(c.mutex);
    c.value = tuning;
}

bool FleaNarrativeTuning::install(std::string_view jsonText) {
    try {
        const OrderedJson document = parseJson(jsonText);
        setCurrent(fromJson(JsonReader(document)));
        return true;
    } catch (const JsonDecodeError&) {
        // The result tells the caller; the tuning in force stays as it was.
        return false;
    }
}

void FleaNarrativeTuning::enableHotReload(std::function<void()> /*onChange*/) {}

OrderedJson FleaNarrativeTuning::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["schemaVersion"] = schemaVersion;
    out["performanceMissTriggers"] = narrative_json::numbers(performanceMissTriggers, kMiss);
    out["performanceSuccessTriggers"] = narrative_json::numbers(performanceSuccessTriggers, kSuccess);
    out["nearSuccessTriggers"] = narrative_json::numbers(nearSuccessTriggers, kNear);
    out["playerEvents"] = narrative_json::numbers(playerEvents, kPlayerEvents);
    out["playerAttention"] = narrative_json::numbers(playerAttention, kPlayerAttention);
    out["memoryGate"] = narrative_json::numbers(memoryGate, kMemoryGate);
    return out;
}

FleaNarrativeTuning FleaNarrativeTuning::fromJson(const JsonReader& reader) {
    FleaNarrativeTuning out;
    out.schemaVersion = reader["schemaVersion"].int64();
    narrative_json::readNumbers(reader["performanceMissTriggers"], out.performanceMissTriggers, kMiss);
    narrative_json::readNumbers(reader["performanceSuccessTriggers"], out.performanceSuccessTriggers,
                                kSuccess);
    narrative_json::readNumbers(reader["nearSuccessTriggers"], out.nearSuccessTriggers, kNear);
    narrative_json::readNumbers(reader["playerEvents"], out.playerEvents, kPlayerEvents);
    narrative_json::readNumbers(reader["playerAttention"], out.playerAttention, kPlayerAttention);
    narrative_json::readNumbers(reader["memoryGate"], out.memoryGate, kMemoryGate);
    return out;
}

}  // namespace tw
