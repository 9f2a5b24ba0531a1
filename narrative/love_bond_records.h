#pragma once
// A flea's love statistics, the bond of a pair of fleas, and the lines and
// exchanges of a flea conversation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "narrative/narrative_event_record.h"
#include "narrative/narrative_vocabulary.h"
#include "platform/clock.h"
#include "platform/json.h"
#include "platform/value_hash.h"

namespace tw {

struct FleaLoveStats {
    double bond = 0.2;
    double spotlightLove = 0.2;
    double tentWarmth = 0.4;
    double backstageLove = 0.3;
    double backstageBuzz = 0.3;
    double precisionConfidence = 0.25;
    double fame = 0.2;
    double resilience = 0.3;
    double playfulness = 0.3;
    double daringIdentity = 0.25;
    double quietResolve = 0.25;
    double discipline = 0.25;
    double wonder = 0.25;
    double superstition = 0.15;
    double chemistry = 0.2;
    double trust = 0.3;
    double admiration = 0.25;
    double ambitionClarity = 0.25;

    friend bool operator==(const FleaLoveStats&, const FleaLoveStats&) = default;

    // Every value clamped to 0..1 (NaN to 0).
    static FleaLoveStats make(FleaLoveStats values);

    // Adds each outcome's increments in list order, clamping after every addition.
    void apply(const std::vector<FleaOutcome>& outcomes);

    OrderedJson toJson() const;
    static FleaLoveStats fromJson(const JsonReader& reader);
};

struct FleaPairBond {
    double affection = 0.2;
    Date lastInteraction{};
    std::optional<std::string> lastDialogueLine{};
    std::int64_t interactionCount = 0;

    friend bool operator==(const FleaPairBond&, const FleaPairBond&) = default;

    // affection clamped to 0..1 (NaN to 0), a negative interactionCount becomes 0.
    static FleaPairBond make(FleaPairBond values);

    OrderedJson toJson() const;
    static FleaPairBond fromJson(const JsonReader& reader);
};

struct FleaConversationLine {
    std::string speaker{};
    std::string text{};

    friend bool operator==(const FleaConversationLine&, const FleaConversationLine&) = default;

    OrderedJson toJson() const;
    static FleaConversationLine fromJson(const JsonReader& reader);
};

struct FleaConversationExchange {
    Uuid id = Uuid::random();
    Date createdAt = SystemClock().now();
    std::vector<FleaReference> participants{};
    std::vector<FleaConversationLine> lines{};
    std::string outcome = "bonding_moment";
    std::string setting{};

    friend bool operator==(const FleaConversationExchange&, const FleaConversationExchange&) = default;

    OrderedJson toJson() const;
    static FleaConversationExchange fromJson(const JsonReader& reader);
};

}  // namespace tw

TW_DECLARE_STD_HASH(tw::FleaConversationLine);
