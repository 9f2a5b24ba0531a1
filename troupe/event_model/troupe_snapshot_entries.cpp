#include "troupe/event_model/troupe_snapshot_entries.h"

#include <cmath>
#include <functional>

#include "troupe/event_model/troupe_json.h"
#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/event_model/troupe_value_rules.h"

namespace tw {

using troupe_rules::optionalTextEqual;
using troupe_rules::textEqual;
using troupe_rules::textListEqual;

namespace {

template <TroupeEnum E>
OrderedJson enumJson(E value) {
    return std::string(rawValue(value));
}

}  // namespace

// MARK: - TroupeFlea

bool operator==(const TroupeFlea& a, const TroupeFlea& b) {
    return a.id == b.id && textEqual(a.name, b.name) && a.bodyColorIndex == b.bodyColorIndex &&
           textEqual(a.hatKind, b.hatKind) && textEqual(a.discoveredAct, b.discoveredAct) &&
           a.createdAt == b.createdAt && textListEqual(a.traits, b.traits) &&
           optionalTextEqual(a.voiceStyle, b.voiceStyle) && optionalTextEqual(a.ambition, b.ambition) &&
           textListEqual(a.superstitions, b.superstitions) && a.xp == b.xp &&
           troupe_ops::textSetEqual(a.unlockedNodeIds, b.unlockedNodeIds) && a.tombstoned == b.tombstoned;
}

OrderedJson TroupeFlea::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["id"] = id.uuidString();
    json["name"] = name;
    json["bodyColorIndex"] = bodyColorIndex;
    json["hatKind"] = hatKind;
    json["discoveredAct"] = discoveredAct;
    json["createdAt"] = troupeDateJson(createdAt);
    json["traits"] = troupeStringListJson(traits);
    if (voiceStyle) json["voiceStyle"] = *voiceStyle;
    if (ambition) json["ambition"] = *ambition;
    json["superstitions"] = troupeStringListJson(superstitions);
    json["xp"] = xp;
    OrderedJson nodes = OrderedJson::array();
    for (const auto& node : unlockedNodeIds) nodes.push_back(node);
    json["unlockedNodeIds"] = std::move(nodes);
    json["tombstoned"] = tombstoned;
    return json;
}

TroupeFlea TroupeFlea::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeFlea flea;
    flea.id = reader["id"].uuid();
    flea.name = reader["name"].string();
    flea.bodyColorIndex = reader["bodyColorIndex"].int64();
    flea.hatKind = reader["hatKind"].string();
    flea.discoveredAct = reader["discoveredAct"].string();
    flea.createdAt = troupeDate(reader["createdAt"]);
    flea.traits = troupeStringList(reader["traits"]);
    flea.voiceStyle = reader.optionalString("voiceStyle");
    flea.ambition = reader.optionalString("ambition");
    flea.superstitions = troupeStringList(reader["superstitions"]);
    flea.xp = reader["xp"].int64();
    for (const auto& element : reader["unlockedNodeIds"].elements())
        flea.unlockedNodeIds.insert(element.string());
    flea.tombstoned = reader["tombstoned"].boolean();
    return flea;
}

// MARK: - TroupeCumulativeStats

void TroupeCumulativeStats::apply(TroupeCumulativeStat stat, double delta) {
    if (std::isnan(delta) || delta < 0) return;
    switch (stat) {
        case TroupeCumulativeStat::clicks:
            clicks += delta;
            break;
        case TroupeCumulativeStat::keystrokes:
            keystrokes += delta;
            break;
        case TroupeCumulativeStat::sessions:
            sessions += delta;
            break;
        case TroupeCumulativeStat::hoursSeconds:
            hoursSeconds += delta;
            break;
        case TroupeCumulativeStat::mouseDistance:
            mouseDistance += delta;
            break;
        case TroupeCumulativeStat::combos:
            combos += delta;
            break;
    }
}

OrderedJson TroupeCumulativeStats::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["clicks"] = finiteJson(clicks, "clicks");
    json["keystrokes"] = finiteJson(keystrokes, "keystrokes");
    json["sessions"] = finiteJson(sessions, "sessions");
    json["hoursSeconds"] = finiteJson(hoursSeconds, "hoursSeconds");
    json["mouseDistance"] = finiteJson(mouseDistance, "mouseDistance");
    json["combos"] = finiteJson(combos, "combos");
    return json;
}

TroupeCumulativeStats TroupeCumulativeStats::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeCumulativeStats stats;
    stats.clicks = troupeDouble(reader["clicks"]);
    stats.keystrokes = troupeDouble(reader["keystrokes"]);
    stats.sessions = troupeDouble(reader["sessions"]);
    stats.hoursSeconds = troupeDouble(reader["hoursSeconds"]);
    stats.mouseDistance = troupeDouble(reader["mouseDistance"]);
    stats.combos = troupeDouble(reader["combos"]);
    return stats;
}

// MARK: - TroupeDeviceSeen

bool operator==(const TroupeDeviceSeen& a, const TroupeDeviceSeen& b) {
    return a.deviceId == b.deviceId && a.deviceKind == b.deviceKind &&
           optionalTextEqual(a.deviceName, b.deviceName) && a.lastSeen == b.lastSeen;
}

OrderedJson TroupeDeviceSeen::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["deviceId"] = deviceId.uuidString();
    json["deviceKind"] = enumJson(deviceKind);
    if (deviceName) json["deviceName"] = *deviceName;
    json["lastSeen"] = troupeDateJson(lastSeen);
    return json;
}

TroupeDeviceSeen TroupeDeviceSeen::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeDeviceSeen device;
    device.deviceId = reader["deviceId"].uuid();
    device.deviceKind = troupeEnum<TroupeDeviceKind>(reader["deviceKind"]);
    device.deviceName = reader.optionalString("deviceName");
    device.lastSeen = troupeDate(reader["lastSeen"]);
    return device;
}

// MARK: - TroupeMessageEntry

std::string_view TroupeMessageEntry::rawValue(Speaker speaker) {
    return speaker == Speaker::user ? "user" : "flea";
}

std::optional<TroupeMessageEntry::Speaker> TroupeMessageEntry::speakerFromRawValue(std::string_view raw) {
    if (raw == "user") return Speaker::user;
    if (raw == "flea") return Speaker::flea;
    return std::nullopt;
}

bool operator==(const TroupeMessageEntry& a, const TroupeMessageEntry& b) {
    return a.id == b.id && a.speaker == b.speaker && textEqual(a.body, b.body) && a.ts == b.ts &&
           a.modelTier == b.modelTier && a.conversationId == b.conversationId;
}

OrderedJson TroupeMessageEntry::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["id"] = id.uuidString();
    json["speaker"] = std::string(rawValue(speaker));
    json["body"] = body;
    json["ts"] = troupeDateJson(ts);
    if (modelTier) json["modelTier"] = enumJson(*modelTier);
    if (conversationId) json["conversationId"] = conversationId->uuidString();
    return json;
}

TroupeMessageEntry TroupeMessageEntry::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeMessageEntry entry;
    entry.id = reader["id"].uuid();
    JsonReader speakerReader = reader["speaker"];
    const std::string& speakerText = speakerReader.string();
    auto speaker = speakerFromRawValue(speakerText);
    if (!speaker) speakerReader.fail(JsonErrorKind::dataCorrupted, "unknown speaker \"" + speakerText + "\"");
    entry.speaker = *speaker;
    entry.body = reader["body"].string();
    entry.ts = troupeDate(reader["ts"]);
    if (auto tier = reader.optional("modelTier")) entry.modelTier = troupeEnum<TroupeMessageSource>(*tier);
    entry.conversationId = reader.optionalUuid("conversationId");
    return entry;
}

// MARK: - TroupeLetterEntry

bool operator==(const TroupeLetterEntry& a, const TroupeLetterEntry& b) {
    return a.id == b.id && a.fleaId == b.fleaId && textEqual(a.body, b.body) &&
           a.periodStart == b.periodStart && a.periodEnd == b.periodEnd && a.writtenAt == b.writtenAt &&
           a.anniversaryKind == b.anniversaryKind && a.readBy == b.readBy &&
           a.acknowledgedAt == b.acknowledgedAt;
}

OrderedJson TroupeLetterEntry::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["id"] = id.uuidString();
    json["fleaId"] = fleaId.uuidString();
    json["body"] = body;
    json["periodStart"] = troupeDateJson(periodStart);
    json["periodEnd"] = troupeDateJson(periodEnd);
    json["writtenAt"] = troupeDateJson(writtenAt);
    if (anniversaryKind) json["anniversaryKind"] = enumJson(*anniversaryKind);
    OrderedJson devices = OrderedJson::array();
    for (const auto& device : readBy) devices.push_back(device.uuidString());
    json["readBy"] = std::move(devices);
    if (acknowledgedAt) json["acknowledgedAt"] = troupeDateJson(*acknowledgedAt);
    return json;
}

TroupeLetterEntry TroupeLetterEntry::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeLetterEntry letter;
    letter.id = reader["id"].uuid();
    letter.fleaId = reader["fleaId"].uuid();
    letter.body = reader["body"].string();
    letter.periodStart = troupeDate(reader["periodStart"]);
    letter.periodEnd = troupeDate(reader["periodEnd"]);
    letter.writtenAt = troupeDate(reader["writtenAt"]);
    if (auto kind = reader.optional("anniversaryKind")) {
        letter.anniversaryKind = troupeEnum<TroupeAnniversaryKind>(*kind);
    }
    for (const auto& element : reader["readBy"].elements()) letter.readBy.insert(element.uuid());
    if (auto acknowledged = reader.optional("acknowledgedAt"))
        letter.acknowledgedAt = troupeDate(*acknowledged);
    return letter;
}

// MARK: - TroupeAnniversaryEntry

OrderedJson TroupeAnniversaryEntry::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["fleaId"] = fleaId.uuidString();
    json["kind"] = enumJson(kind);
    json["firstSeenAt"] = troupeDateJson(firstSeenAt);
    return json;
}

TroupeAnniversaryEntry TroupeAnniversaryEntry::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeAnniversaryEntry entry;
    entry.fleaId = reader["fleaId"].uuid();
    entry.kind = troupeEnum<TroupeAnniversaryKind>(reader["kind"]);
    entry.firstSeenAt = troupeDate(reader["firstSeenAt"]);
    return entry;
}

}  // namespace tw

// MARK: - Hashing

using tw::troupe_rules::TroupeHasher;

namespace {

void feedUuid(TroupeHasher& h, const tw::Uuid& id) { h.word(std::hash<tw::Uuid>{}(id)); }
void feedDate(TroupeHasher& h, tw::Date date) { h.real(date.seconds); }

}  // namespace

std::size_t std::hash<tw::TroupeFlea>::operator()(const tw::TroupeFlea& f) const {
    TroupeHasher h;
    feedUuid(h, f.id);
    h.text(f.name);
    h.word(static_cast<std::uint64_t>(f.bodyColorIndex));
    h.text(f.hatKind);
    h.text(f.discoveredAct);
    feedDate(h, f.createdAt);
    h.textList(f.traits);
    h.optional(f.voiceStyle, [&](const std::string& s) { h.text(s); });
    h.optional(f.ambition, [&](const std::string& s) { h.text(s); });
    h.textList(f.superstitions);
    h.word(static_cast<std::uint64_t>(f.xp));
    h.word(tw::troupe_ops::hashTextSet(f.unlockedNodeIds));
    h.flag(f.tombstoned);
    return h.value();
}

std::size_t std::hash<tw::TroupeCumulativeStats>::operator()(const tw::TroupeCumulativeStats& s) const {
    TroupeHasher h;
    h.real(s.clicks);
    h.real(s.keystrokes);
    h.real(s.sessions);
    h.real(s.hoursSeconds);
    h.real(s.mouseDistance);
    h.real(s.combos);
    return h.value();
}

std::size_t std::hash<tw::TroupeDeviceSeen>::operator()(const tw::TroupeDeviceSeen& d) const {
    TroupeHasher h;
    feedUuid(h, d.deviceId);
    h.word(tw::troupeEnumHash(d.deviceKind));
    h.optional(d.deviceName, [&](const std::string& s) { h.text(s); });
    feedDate(h, d.lastSeen);
    return h.value();
}

std::size_t std::hash<tw::TroupeMessageEntry>::operator()(const tw::TroupeMessageEntry& m) const {
    TroupeHasher h;
    feedUuid(h, m.id);
    h.text(tw::TroupeMessageEntry::rawValue(m.speaker));
    h.text(m.body);
    feedDate(h, m.ts);
    h.optional(m.modelTier, [&](tw::TroupeMessageSource tier) { h.word(tw::troupeEnumHash(tier)); });
    h.optional(m.conversationId, [&](const tw::Uuid& id) { feedUuid(h, id); });
    return h.value();
}

std::size_t std::hash<tw::TroupeLetterEntry>::operator()(const tw::TroupeLetterEntry& l) const {
    TroupeHasher h;
    feedUuid(h, l.id);
    feedUuid(h, l.fleaId);
    h.text(l.body);
    feedDate(h, l.periodStart);
    feedDate(h, l.periodEnd);
    feedDate(h, l.writtenAt);
    h.optional(l.anniversaryKind, [&](tw::TroupeAnniversaryKind kind) { h.word(tw::troupeEnumHash(kind)); });
    // A std::set iterates in one order, so feeding it in order is order-free.
    h.word(l.readBy.size());
    for (const auto& device : l.readBy) feedUuid(h, device);
    h.optional(l.acknowledgedAt, [&](tw::Date date) { feedDate(h, date); });
    return h.value();
}

std::size_t std::hash<tw::TroupeAnniversaryEntry>::operator()(const tw::TroupeAnniversaryEntry& a) const {
    TroupeHasher h;
    feedUuid(h, a.fleaId);
    h.word(tw::troupeEnumHash(a.kind));
    feedDate(h, a.firstSeenAt);
    return h.value();
}
