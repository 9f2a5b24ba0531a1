#include "troupe/surfaces/troupe_watch_bridge.h"

#include "platform/log.h"
#include "troupe/event_model/troupe_json.h"

namespace tw {

Defaults* TroupeWatchBridge::appGroupDefaults = nullptr;

OrderedJson TroupeWatchBridge::summaryJson(const TroupeSnapshot& snapshot, const Uuid& deviceId,
                                           std::optional<Uuid> troupeId, Date generatedAt) {
    OrderedJson summary = OrderedJson::object();
    summary["schemaVersion"] = summarySchemaVersion;
    summary["generatedAt"] = troupeDateJson(generatedAt);
    summary["deviceId"] = troupeUuidJson(deviceId);
    if (troupeId) summary["troupeId"] = troupeUuidJson(*troupeId);
    summary["eventCount"] = snapshot.eventCount;
    if (snapshot.lastEventTs) summary["lastEventTs"] = troupeDateJson(*snapshot.lastEventTs);
    OrderedJson fleas = OrderedJson::array();
    for (const TroupeFlea& flea : snapshot.activeFleas()) {
        OrderedJson entry = OrderedJson::object();
        entry["id"] = troupeUuidJson(flea.id);
        entry["name"] = flea.name;
        entry["act"] = flea.discoveredAct;
        entry["hatKind"] = flea.hatKind;
        entry["bodyColorIndex"] = flea.bodyColorIndex;
        entry["xp"] = flea.xp;
        fleas.push_back(std::move(entry));
    }
    summary["fleas"] = std::move(fleas);
    return summary;
}

void TroupeWatchBridge::writeCurrentSummary(const TroupeStore& store, std::optional<Uuid> troupeId) {
    std::string text;
    try {
        text = dumpJson(summaryJson(store.snapshot(), store.deviceId(), troupeId, store.clock().now()));
    } catch (const JsonEncodeError& error) {
        log::system(std::string("Cannot write the companion summary: ") + error.what());
        return;
    }
    Defaults& suite = appGroupDefaults ? *appGroupDefaults : store.standardDefaults();
    suite.setData(summaryKey, text);
}

}  // namespace tw
