#include "troupe/event_model/troupe_snapshot.h"

#include <algorithm>
#include <functional>

#include "troupe/event_model/troupe_json.h"
#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/event_model/troupe_value_rules.h"

namespace tw {

// MARK: - Queries

std::vector<TroupeFlea> TroupeSnapshot::activeFleas() const {
    std::vector<TroupeFlea> live;
    for (const auto& [id, flea] : fleas) {
        if (!flea.tombstoned) live.push_back(flea);
    }
    std::stable_sort(live.begin(), live.end(), [](const TroupeFlea& a, const TroupeFlea& b) {
        return troupe_ops::timeBefore(a.createdAt, b.createdAt);
    });
    return live;
}

TroupeTextSet TroupeSnapshot::unlocks(const Uuid& fleaId) const {
    auto found = fleas.find(fleaId);
    return found == fleas.end() ? TroupeTextSet{} : found->second.unlockedNodeIds;
}

bool TroupeSnapshot::hasAcknowledgedMilestone(const std::string& milestoneId, const Uuid& deviceId) const {
    auto found = milestoneAcksByDevice.find(milestoneId);
    return found != milestoneAcksByDevice.end() && found->second.contains(deviceId);
}

std::optional<Date> TroupeSnapshot::lastSeen(const Uuid& deviceId) const {
    auto found = devices.find(deviceId);
    if (found == devices.end()) return std::nullopt;
    return found->second.lastSeen;
}

std::vector<TroupeLetterEntry> TroupeSnapshot::allLetters() const {
    std::vector<TroupeLetterEntry> letters;
    for (const auto& [fleaId, list] : lettersByFlea) letters.insert(letters.end(), list.begin(), list.end());
    std::stable_sort(letters.begin(), letters.end(),
                     [](const TroupeLetterEntry& a, const TroupeLetterEntry& b) {
                         return troupe_ops::timeBefore(b.writtenAt, a.writtenAt);
                     });
    return letters;
}

std::vector<TroupeLetterEntry> TroupeSnapshot::unreadLetters(const Uuid& deviceId) const {
    std::vector<TroupeLetterEntry> unread;
    for (auto& letter : allLetters()) {
        if (!letter.acknowledgedAt && !letter.readBy.contains(deviceId)) unread.push_back(std::move(letter));
    }
    return unread;
}

namespace {

std::int64_t countSpoken(const std::vector<TroupeMessageEntry>& list, TroupeMessageEntry::Speaker speaker) {
    return std::count_if(list.begin(), list.end(),
                         [speaker](const TroupeMessageEntry& m) { return m.speaker == speaker; });
}

}  // namespace

std::int64_t TroupeSnapshot::totalUserMessageCount() const {
    std::int64_t total = 0;
    for (const auto& [fleaId, list] : conversationsByFlea)
        total += countSpoken(list, TroupeMessageEntry::Speaker::user);
    return total;
}

std::int64_t TroupeSnapshot::totalFleaMessageCount() const {
    std::int64_t total = 0;
    for (const auto& [fleaId, list] : conversationsByFlea)
        total += countSpoken(list, TroupeMessageEntry::Speaker::flea);
    return total;
}

std::optional<Uuid> TroupeSnapshot::mostTalkedToFleaId() const {
    std::optional<Uuid> best;
    std::int64_t bestCount = 0;
    for (const auto& [fleaId, list] : conversationsByFlea) {
        std::int64_t count = countSpoken(list, TroupeMessageEntry::Speaker::user);
        if (!best || count > bestCount) {
            best = fleaId;
            bestCount = count;
        }
    }
    return best;
}

// MARK: - Equality

bool operator==(const TroupeSnapshot& a, const TroupeSnapshot& b) {
    return a.fleas == b.fleas && a.stats == b.stats &&
           troupe_ops::textSetEqual(a.milestonesEarned, b.milestonesEarned) &&
           troupe_ops::textMapEqual(a.milestoneAcksByDevice, b.milestoneAcksByDevice,
                                    std::equal_to<std::set<Uuid>>{}) &&
           troupe_ops::textMapEqual(a.surpriseEventsFired, b.surpriseEventsFired,
                                    std::equal_to<std::int64_t>{}) &&
           troupe_ops::textMapEqual(a.portableSettings, b.portableSettings,
                                    std::equal_to<TroupeSettingValue>{}) &&
           a.devices == b.devices && a.lastEventTs == b.lastEventTs && a.eventCount == b.eventCount &&
           a.conversationsByFlea == b.conversationsByFlea && a.lettersByFlea == b.lettersByFlea &&
           a.anniversariesSeen == b.anniversariesSeen;
}

// MARK: - JSON

namespace {

template <typename V, typename Encode>
OrderedJson alternatingJson(const std::map<Uuid, V>& map, Encode encode) {
    OrderedJson array = OrderedJson::array();
    for (const auto& [key, value] : map) {
        array.push_back(key.uuidString());
        array.push_back(encode(value));
    }
    return array;
}

// [key, value, key, value, ...]; a repeated key keeps its later value.
template <typename V, typename Decode>
std::map<Uuid, V> readAlternating(const JsonReader& reader, Decode decode) {
    std::vector<JsonReader> items = reader.elements();
    if (items.size() % 2 != 0) {
        reader.fail(
            JsonErrorKind::dataCorrupted,
            "expected an even number of alternating keys and values, found " + std::to_string(items.size()));
    }
    std::map<Uuid, V> map;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        Uuid key = items[i].uuid();
        map.insert_or_assign(key, decode(items[i + 1]));
    }
    return map;
}

template <typename T>
OrderedJson listJson(const std::vector<T>& list) {
    OrderedJson array = OrderedJson::array();
    for (const auto& item : list) array.push_back(item.toJson());
    return array;
}

template <typename T>
std::vector<T> readList(const JsonReader& reader) {
    std::vector<T> list;
    for (const auto& element : reader.elements()) list.push_back(T::fromJson(element));
    return list;
}

OrderedJson uuidSetJson(const std::set<Uuid>& set) {
    OrderedJson array = OrderedJson::array();
    for (const auto& id : set) array.push_back(id.uuidString());
    return array;
}

}  // namespace

OrderedJson TroupeSnapshot::toJson() const {
    OrderedJson json = OrderedJson::object();
    json["fleas"] = alternatingJson(fleas, [](const TroupeFlea& f) { return f.toJson(); });
    json["stats"] = stats.toJson();
    OrderedJson milestones = OrderedJson::array();
    for (const auto& id : milestonesEarned) milestones.push_back(id);
    json["milestonesEarned"] = std::move(milestones);
    OrderedJson acks = OrderedJson::object();
    for (const auto& [milestone, devicesAcked] : milestoneAcksByDevice)
        acks[milestone] = uuidSetJson(devicesAcked);
    json["milestoneAcksByDevice"] = std::move(acks);
    OrderedJson surprises = OrderedJson::object();
    for (const auto& [kind, count] : surpriseEventsFired) surprises[kind] = count;
    json["surpriseEventsFired"] = std::move(surprises);
    OrderedJson settings = OrderedJson::object();
    for (const auto& [key, value] : portableSettings) settings[key] = tw::toJson(value);
    json["portableSettings"] = std::move(settings);
    json["devices"] = alternatingJson(devices, [](const TroupeDeviceSeen& d) { return d.toJson(); });
    if (lastEventTs) json["lastEventTs"] = troupeDateJson(*lastEventTs);
    json["eventCount"] = eventCount;
    json["conversationsByFlea"] = alternatingJson(
        conversationsByFlea, [](const std::vector<TroupeMessageEntry>& l) { return listJson(l); });
    json["lettersByFlea"] =
        alternatingJson(lettersByFlea, [](const std::vector<TroupeLetterEntry>& l) { return listJson(l); });
    json["anniversariesSeen"] = listJson(anniversariesSeen);
    return json;
}

TroupeSnapshot TroupeSnapshot::fromJson(const JsonReader& reader) {
    troupeExpectObject(reader);
    TroupeSnapshot s;
    s.fleas = readAlternating<TroupeFlea>(reader["fleas"],
                                          [](const JsonReader& r) { return TroupeFlea::fromJson(r); });
    s.stats = TroupeCumulativeStats::fromJson(reader["stats"]);
    // Canonically equivalent spellings are one key: the set keeps the first spelling,
    // a dictionary the first spelling with the later value, as for a repeated key.
    for (const auto& element : reader["milestonesEarned"].elements())
        s.milestonesEarned.insert(element.string());
    for (const auto& [milestone, value] : reader["milestoneAcksByDevice"].members()) {
        std::set<Uuid> acked;
        for (const auto& element : value.elements()) acked.insert(element.uuid());
        s.milestoneAcksByDevice.insert_or_assign(milestone, std::move(acked));
    }
    for (const auto& [kind, value] : reader["surpriseEventsFired"].members()) {
        s.surpriseEventsFired.insert_or_assign(kind, value.int64());
    }
    for (const auto& [key, value] : reader["portableSettings"].members()) {
        s.portableSettings.insert_or_assign(key, tw::fromJson<TroupeSettingValue>(value));
    }
    s.devices = readAlternating<TroupeDeviceSeen>(
        reader["devices"], [](const JsonReader& r) { return TroupeDeviceSeen::fromJson(r); });
    if (auto last = reader.optional("lastEventTs")) s.lastEventTs = troupeDate(*last);
    s.eventCount = reader["eventCount"].int64();
    s.conversationsByFlea = readAlternating<std::vector<TroupeMessageEntry>>(
        reader["conversationsByFlea"], [](const JsonReader& r) { return readList<TroupeMessageEntry>(r); });
    s.lettersByFlea = readAlternating<std::vector<TroupeLetterEntry>>(
        reader["lettersByFlea"], [](const JsonReader& r) { return readList<TroupeLetterEntry>(r); });
    s.anniversariesSeen = readList<TroupeAnniversaryEntry>(reader["anniversariesSeen"]);
    return s;
}

}  // namespace tw

// MARK: - Hashing

namespace {

using tw::troupe_rules::spread;
using tw::troupe_rules::TroupeHasher;

// Order-free: a sum of spread element hashes, plus the count.
template <typename Map, typename HashEntry>
std::uint64_t unorderedHash(const Map& map, HashEntry hashEntry) {
    std::uint64_t sum = 0;
    for (const auto& entry : map) sum += spread(hashEntry(entry));
    TroupeHasher h;
    h.word(map.size());
    h.word(sum);
    return h.value();
}

std::uint64_t textKeyHash(const std::string& key) {
    TroupeHasher h;
    h.text(key);
    return h.value();
}

template <typename T>
std::uint64_t listHash(const std::vector<T>& list) {
    TroupeHasher h;
    h.word(list.size());
    for (const auto& item : list) h.word(std::hash<T>{}(item));
    return h.value();
}

std::uint64_t uuidSetHash(const std::set<tw::Uuid>& set) {
    return unorderedHash(set, [](const tw::Uuid& id) { return std::hash<tw::Uuid>{}(id); });
}

}  // namespace

std::size_t std::hash<tw::TroupeSnapshot>::operator()(const tw::TroupeSnapshot& s) const {
    TroupeHasher h;
    h.word(unorderedHash(s.fleas, [](const auto& e) {
        return std::hash<tw::Uuid>{}(e.first) ^ spread(std::hash<tw::TroupeFlea>{}(e.second));
    }));
    h.word(std::hash<tw::TroupeCumulativeStats>{}(s.stats));
    h.word(tw::troupe_ops::hashTextSet(s.milestonesEarned));
    h.word(unorderedHash(s.milestoneAcksByDevice,
                         [](const auto& e) { return textKeyHash(e.first) ^ spread(uuidSetHash(e.second)); }));
    h.word(unorderedHash(s.surpriseEventsFired, [](const auto& e) {
        return textKeyHash(e.first) ^ spread(static_cast<std::uint64_t>(e.second));
    }));
    h.word(unorderedHash(s.portableSettings, [](const auto& e) {
        return textKeyHash(e.first) ^ spread(std::hash<tw::TroupeSettingValue>{}(e.second));
    }));
    h.word(unorderedHash(s.devices, [](const auto& e) {
        return std::hash<tw::Uuid>{}(e.first) ^ spread(std::hash<tw::TroupeDeviceSeen>{}(e.second));
    }));
    h.optional(s.lastEventTs, [&](tw::Date date) { h.real(date.seconds); });
    h.word(static_cast<std::uint64_t>(s.eventCount));
    h.word(unorderedHash(s.conversationsByFlea, [](const auto& e) {
        return std::hash<tw::Uuid>{}(e.first) ^ spread(listHash(e.second));
    }));
    h.word(unorderedHash(s.lettersByFlea, [](const auto& e) {
        return std::hash<tw::Uuid>{}(e.first) ^ spread(listHash(e.second));
    }));
    h.word(listHash(s.anniversariesSeen));
    return h.value();
}
