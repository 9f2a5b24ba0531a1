#pragma once
// The running story arc as the cloud key-value store publishes it under five keys.
// Read only, and afresh on every question; empty texts count as absent.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/key_value_store.h"

namespace tw {

inline constexpr const char* ARC_ACTIVE_ID_KEY = "tw_arc_active_id";
inline constexpr const char* ARC_ACTIVE_DAY_KEY = "tw_arc_active_day";
inline constexpr const char* ARC_ACTIVE_HEADLINE_KEY = "tw_arc_active_headline";
inline constexpr const char* ARC_ACTIVE_BODY_KEY = "tw_arc_active_body";
inline constexpr const char* ARC_ACTIVE_STATUS_KEY = "tw_arc_active_status";

class ArcKVSReader {
   public:
    explicit ArcKVSReader(const KeyValueStore& store) : store_(store) {}

    std::optional<std::string> arcID() const { return text(ARC_ACTIVE_ID_KEY); }
    // The 0-based day; 0 when absent.
    std::int64_t dayIndex() const { return store_.longLongForKey(ARC_ACTIVE_DAY_KEY); }
    std::optional<std::string> headline() const { return text(ARC_ACTIVE_HEADLINE_KEY); }
    std::optional<std::string> bodyLine() const { return text(ARC_ACTIVE_BODY_KEY); }
    std::optional<std::string> status() const { return text(ARC_ACTIVE_STATUS_KEY); }
    // A headline and the status exactly "active".
    bool shouldShow() const;

   private:
    std::optional<std::string> text(const char* key) const;
    const KeyValueStore& store_;
};

}  // namespace tw
