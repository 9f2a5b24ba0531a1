#pragma once
// The one input of the narrative engine: which flea, what kind of event, in which
// act, how it went and under which circumstances.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "narrative/narrative_vocabulary.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"
#include "platform/value_hash.h"

namespace tw {

// A flea named by an optional id and a name; without an id the name is its identity.
struct FleaReference {
    std::optional<Uuid> id{};
    std::string name{};

    friend bool operator==(const FleaReference&, const FleaReference&) = default;

    // The id's text when there is one, else the name: the flea's part of a pair key.
    std::string keyText() const { return id ? id->uuidString() : name; }

    OrderedJson toJson() const;
    static FleaReference fromJson(const JsonReader& reader);
};

// Six scores of how the event went. Aggregate fields store as given; make() clamps.
struct FleaEventResultMetrics {
    double precision = 0.5;
    double daring = 0.5;
    double charm = 0.5;
    double heart = 0.5;
    double novelty = 0.5;
    double recovery = 0.5;

    friend bool operator==(const FleaEventResultMetrics&, const FleaEventResultMetrics&) = default;

    // Every score clamped to 0..1; NaN becomes 0.
    static FleaEventResultMetrics make(FleaEventResultMetrics values);

    OrderedJson toJson() const;
    static FleaEventResultMetrics fromJson(const JsonReader& reader);
};

struct FleaEventContext {
    double tentWarmth = 0.6;
    double backstageBuzz = 0.5;
    double houseTrust = 0.5;
    double wonder = 0.4;
    double playerAttention = 0.5;
    double relationshipRelevance = 0.4;
    double troupeReaction = 0.4;
    std::int64_t recurrenceCount = 0;
    bool playerPinned = false;
    std::optional<TumblewickEventType> previousEventType{};
    double attentionLingerSeconds = 0;
    bool riskyTrickPending = false;
    bool supporterIsRival = false;
    std::set<FleaTrait> primaryFleaTraits{};
    bool isFirstAttemptOnAct = false;

    friend bool operator==(const FleaEventContext&, const FleaEventContext&) = default;

    bool has(FleaTrait trait) const { return primaryFleaTraits.count(trait) > 0; }

    // Levels clamped to 0..1 (NaN to 0), recurrenceCount at least 0,
    // attentionLingerSeconds at least 0 (NaN to 0) and not capped above.
    static FleaEventContext make(FleaEventContext values);

    OrderedJson toJson() const;
    static FleaEventContext fromJson(const JsonReader& reader);
};

struct TumblewickEventRecord {
    Uuid id = Uuid::random();
    Date occurredAt = SystemClock().now();
    TumblewickEventType type = TumblewickEventType::performanceSuccess;
    FleaReference primaryFlea{};
    std::vector<FleaReference> involvedFleas{};
    std::string act{};
    FleaEventResultMetrics rawResult{};
    FleaEventContext context{};
    std::string fact{};

    friend bool operator==(const TumblewickEventRecord&, const TumblewickEventRecord&) = default;

    OrderedJson toJson() const;
    static TumblewickEventRecord fromJson(const JsonReader& reader);
};

}  // namespace tw

// A hash agreeing with ==, so references can key unordered containers.
TW_DECLARE_STD_HASH(tw::FleaReference);
