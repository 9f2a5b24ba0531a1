#pragma once
// Bodies of the flea lifecycle and progress events.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_enums.h"

namespace tw {

// "flea_created"
struct TroupeFleaCreated {
    Uuid fleaId;
    std::string name;
    std::int64_t bodyColorIndex = 0;
    std::string hatKind;
    std::string discoveredAct;
    Date createdAt;
    std::vector<std::string> traits;  // always written, [] included
    friend bool operator==(const TroupeFleaCreated& a, const TroupeFleaCreated& b);
};

// "flea_renamed"
struct TroupeFleaRenamed {
    Uuid fleaId;
    std::string newName;
    friend bool operator==(const TroupeFleaRenamed& a, const TroupeFleaRenamed& b);
};

// "flea_recustomized": each present field carries that attribute's new value;
// an empty list is a value, distinct from an absent one.
struct TroupeFleaRecustomized {
    Uuid fleaId;
    std::optional<std::string> hatKind;
    std::optional<std::int64_t> bodyColorIndex;
    std::optional<std::vector<std::string>> traits;
    std::optional<std::string> voiceStyle;
    std::optional<std::string> ambition;
    std::optional<std::vector<std::string>> superstitions;
    friend bool operator==(const TroupeFleaRecustomized& a, const TroupeFleaRecustomized& b);
};

// "flea_deleted"
struct TroupeFleaIdOnly {
    Uuid fleaId;
    friend bool operator==(const TroupeFleaIdOnly&, const TroupeFleaIdOnly&) = default;
};

// "xp_earned": no fleaId means every flea earned `amount` at once.
struct TroupeXPEarned {
    std::optional<Uuid> fleaId;
    std::int64_t amount = 0;
    TroupeXPSource source = TroupeXPSource::click;
    friend bool operator==(const TroupeXPEarned&, const TroupeXPEarned&) = default;
};

// "node_unlocked"
struct TroupeNodeUnlocked {
    Uuid fleaId;
    std::string actKey;
    std::string nodeId;
    std::int64_t xpCost = 0;
    friend bool operator==(const TroupeNodeUnlocked& a, const TroupeNodeUnlocked& b);
};

// "act_assigned"
struct TroupeActAssigned {
    Uuid fleaId;
    std::string actKey;
    friend bool operator==(const TroupeActAssigned& a, const TroupeActAssigned& b);
};

}  // namespace tw

#define TW_TROUPE_DECLARE_HASH(Type)                         \
    template <>                                              \
    struct std::hash<tw::Type> {                             \
        std::size_t operator()(const tw::Type& value) const; \
    };

TW_TROUPE_DECLARE_HASH(TroupeFleaCreated)
TW_TROUPE_DECLARE_HASH(TroupeFleaRenamed)
TW_TROUPE_DECLARE_HASH(TroupeFleaRecustomized)
TW_TROUPE_DECLARE_HASH(TroupeFleaIdOnly)
TW_TROUPE_DECLARE_HASH(TroupeXPEarned)
TW_TROUPE_DECLARE_HASH(TroupeNodeUnlocked)
TW_TROUPE_DECLARE_HASH(TroupeActAssigned)
