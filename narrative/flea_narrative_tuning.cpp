#include "narrative/flea_narrative_tuning.h"

#include <memory>
#include <mutex>

#include "platform/log.h"

namespace tw {

namespace {

using T = FleaNarrativeTuning;

// One row per threshold: its group, key and place. The order is the key order.
template <typename Group>
struct Field {
    const char* key;
    double Group::*member;
};

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

template <typename Group, std::size_t N>
OrderedJson groupJson(const Group& group, const Field<Group> (&fields)[N]) {
    OrderedJson out = OrderedJson::object();
    for (const auto& field : fields) out[field.key] = finiteJson(group.*field.member, field.key);
    return out;
}

template <typename Group, std::size_t N>
Group decodeGroup(const JsonReader& reader, const Field<Group> (&fields)[N]) {
    Group out;
    for (const auto& field : fields) out.*field.member = reader[field.key].number();
    return out;
}

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
    } catch (const JsonDecodeError& error) {
        log::warning("Narrative tuning not installed: " + std::string(toString(error.kind())) + " at \"" +
                     error.path() + "\" (" + error.detail() + ")");
        return false;
    }
}

void FleaNarrativeTuning::enableHotReload(std::function<void()> /*onChange*/) {}

OrderedJson FleaNarrativeTuning::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["schemaVersion"] = schemaVersion;
    out["performanceMissTriggers"] = groupJson(performanceMissTriggers, kMiss);
    out["performanceSuccessTriggers"] = groupJson(performanceSuccessTriggers, kSuccess);
    out["nearSuccessTriggers"] = groupJson(nearSuccessTriggers, kNear);
    out["playerEvents"] = groupJson(playerEvents, kPlayerEvents);
    out["playerAttention"] = groupJson(playerAttention, kPlayerAttention);
    out["memoryGate"] = groupJson(memoryGate, kMemoryGate);
    return out;
}

FleaNarrativeTuning FleaNarrativeTuning::fromJson(const JsonReader& reader) {
    FleaNarrativeTuning out;
    out.schemaVersion = reader["schemaVersion"].int64();
    out.performanceMissTriggers = decodeGroup(reader["performanceMissTriggers"], kMiss);
    out.performanceSuccessTriggers = decodeGroup(reader["performanceSuccessTriggers"], kSuccess);
    out.nearSuccessTriggers = decodeGroup(reader["nearSuccessTriggers"], kNear);
    out.playerEvents = decodeGroup(reader["playerEvents"], kPlayerEvents);
    out.playerAttention = decodeGroup(reader["playerAttention"], kPlayerAttention);
    out.memoryGate = decodeGroup(reader["memoryGate"], kMemoryGate);
    return out;
}

}  // namespace tw
