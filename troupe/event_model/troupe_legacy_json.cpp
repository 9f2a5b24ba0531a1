// JSON of the whole-state bodies: the legacy state and the checkpoint.
#include <memory>

#include "troupe/event_model/troupe_json.h"
#include "troupe/event_model/troupe_snapshot.h"

namespace tw {

OrderedJson toJson(const TroupeLegacyFleaSnapshot& r) {
    OrderedJson o = OrderedJson::object();
    writeTroupeFleaFields(o, r);
    o["xp"] = r.xp;
    o["unlockedNodeIds"] = troupeStringListJson(r.unlockedNodeIds);
    return o;
}

template <>
TroupeLegacyFleaSnapshot fromJson<TroupeLegacyFleaSnapshot>(const JsonReader& in) {
    troupeExpectObject(in);
    TroupeLegacyFleaSnapshot out;
    readTroupeFleaFields(in, out);
    out.xp = in["xp"].int64();
    out.unlockedNodeIds = troupeStringList(in["unlockedNodeIds"]);
    return out;
}

OrderedJson toJson(const TroupeLegacyStatsBlob& r) {
    OrderedJson o = OrderedJson::object();
    o["clicks"] = r.clicks;
    o["keystrokes"] = r.keystrokes;
    o["sessions"] = r.sessions;
    o["hoursSeconds"] = finiteJson(r.hoursSeconds, "hoursSeconds");
    o["mouseDistance"] = finiteJson(r.mouseDistance, "mouseDistance");
    o["combos"] = r.combos;
    return o;
}

template <>
TroupeLegacyStatsBlob fromJson<TroupeLegacyStatsBlob>(const JsonReader& in) {
    troupeExpectObject(in);
    TroupeLegacyStatsBlob out;
    out.clicks = in["clicks"].int64();
    out.keystrokes = in["keystrokes"].int64();
    out.sessions = in["sessions"].int64();
    out.hoursSeconds = troupeDouble(in["hoursSeconds"]);
    out.mouseDistance = troupeDouble(in["mouseDistance"]);
    out.combos = in["combos"].int64();
    return out;
}

OrderedJson toJson(const TroupeLegacyStateSnapshot& r) {
    OrderedJson o = OrderedJson::object();
    o["originPlatform"] = r.originPlatform;
    o["originVersion"] = r.originVersion;
    OrderedJson fleas = OrderedJson::array();
    for (const auto& flea : r.fleas) fleas.push_back(toJson(flea));
    o["fleas"] = std::move(fleas);
    if (r.stats) o["stats"] = toJson(*r.stats);
    o["milestonesEarned"] = troupeStringListJson(r.milestonesEarned);
    o["surpriseEventsFired"] = troupeStringListJson(r.surpriseEventsFired);
    OrderedJson settings = OrderedJson::object();
    for (const auto& [key, value] : r.portableSettings) settings[key] = toJson(value);
    o["portableSettings"] = std::move(settings);
    return o;
}

template <>
TroupeLegacyStateSnapshot fromJson<TroupeLegacyStateSnapshot>(const JsonReader& in) {
    troupeExpectObject(in);
    TroupeLegacyStateSnapshot out;
    out.originPlatform = in["originPlatform"].string();
    out.originVersion = in["originVersion"].string();
    for (const auto& flea : in["fleas"].elements())
        out.fleas.push_back(fromJson<TroupeLegacyFleaSnapshot>(flea));
    if (auto stats = in.optional("stats")) out.stats = fromJson<TroupeLegacyStatsBlob>(*stats);
    out.milestonesEarned = troupeStringList(in["milestonesEarned"]);
    out.surpriseEventsFired = troupeStringList(in["surpriseEventsFired"]);
    const auto settings = in["portableSettings"];
    troupeExpectObject(settings);
    for (const auto& [key, value] : settings.members()) {
        out.portableSettings.insert_or_assign(key, fromJson<TroupeSettingValue>(value));
    }
    return out;
}

OrderedJson toJson(const TroupeCheckpointPayload& r) {
    if (!r.snapshotBlob) throw JsonEncodeError("Checkpoint without a snapshot");
    OrderedJson o = OrderedJson::object();
    o["snapshotBlob"] = r.snapshotBlob->toJson();
    o["replacesEventsUpTo"] = troupeDateJson(r.replacesEventsUpTo);
    return o;
}

template <>
TroupeCheckpointPayload fromJson<TroupeCheckpointPayload>(const JsonReader& in) {
    troupeExpectObject(in);
    auto snapshot = std::make_shared<const TroupeSnapshot>(
        TroupeSnapshot::fromJson(in["snapshotBlob"]));  // checks for an object first
    return TroupeCheckpointPayload{std::move(snapshot), troupeDate(in["replacesEventsUpTo"])};
}

}  // namespace tw
