#pragma once
// The summary of the troupe that companion programs read: written as JSON under
// "tw_troupe_watch_summary_v1" into the app-group defaults suite.
#include <optional>
#include <string>

#include "platform/defaults.h"
#include "platform/json.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_store.h"

namespace tw {

class TroupeWatchBridge {
   public:
    static constexpr const char* summaryKey = "tw_troupe_watch_summary_v1";
    static constexpr std::int64_t summarySchemaVersion = 1;

    // The app group's suite, as the app opened it from the group's one identifier (set
    // at launch, cleared at quit). Without it the summary goes to the store's standard
    // defaults.
    static Defaults* appGroupDefaults;

    // Builds the summary from the store's snapshot and device id and writes it; a
    // summary that cannot be encoded writes nothing (and says so in the log).
    static void writeCurrentSummary(const TroupeStore& store, std::optional<Uuid> troupeId);

    // {"schemaVersion", "generatedAt", "deviceId", "troupeId"?, "eventCount",
    //  "lastEventTs"?, "fleas": [{"id", "name", "act", "hatKind", "bodyColorIndex", "xp"}]}
    // with the live fleas, earliest first. Throws JsonEncodeError for an unwritable date.
    static OrderedJson summaryJson(const TroupeSnapshot& snapshot, const Uuid& deviceId,
                                   std::optional<Uuid> troupeId, Date generatedAt);
};

}  // namespace tw
