#pragma once
// The records a folded snapshot is made of: fleas, the troupe-wide counters, devices,
// chat messages, letters and anniversaries. Only the fold creates or changes them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_enums.h"
#include "troupe/event_model/troupe_value_ops.h"

namespace tw {

struct TroupeFlea {
    Uuid id{};
    std::string name{};
    std::int64_t bodyColorIndex = 0;
    std::string hatKind{};
    std::string discoveredAct{};
    Date createdAt{};
    std::vector<std::string> traits{};
    std::optional<std::string> voiceStyle{};
    std::optional<std::string> ambition{};
    std::vector<std::string> superstitions{};
    std::int64_t xp = 0;
    TroupeTextSet unlockedNodeIds{};
    bool tombstoned = false;

    // Strings compare by canonical equivalence, so equality is written out.
    friend bool operator==(const TroupeFlea& a, const TroupeFlea& b);

    OrderedJson toJson() const;
    static TroupeFlea fromJson(const JsonReader& reader);
};

struct TroupeCumulativeStats {
    double clicks = 0;
    double keystrokes = 0;
    double sessions = 0;
    double hoursSeconds = 0;
    double mouseDistance = 0;
    double combos = 0;

    // Adds `delta` to the named counter; a negative or NaN delta changes nothing.
    void apply(TroupeCumulativeStat stat, double delta);

    friend bool operator==(const TroupeCumulativeStats&, const TroupeCumulativeStats&) = default;

    OrderedJson toJson() const;
    static TroupeCumulativeStats fromJson(const JsonReader& reader);
};

struct TroupeDeviceSeen {
    Uuid deviceId{};
    TroupeDeviceKind deviceKind{};
    std::optional<std::string> deviceName{};
    Date lastSeen{};

    friend bool operator==(const TroupeDeviceSeen& a, const TroupeDeviceSeen& b);

    OrderedJson toJson() const;
    static TroupeDeviceSeen fromJson(const JsonReader& reader);
};

struct TroupeMessageEntry {
    enum class Speaker { user, flea };
    static std::string_view rawValue(Speaker speaker);
    static std::optional<Speaker> speakerFromRawValue(std::string_view raw);

    Uuid id{};
    Speaker speaker = Speaker::user;
    std::string body{};
    Date ts{};
    std::optional<TroupeMessageSource> modelTier{};
    std::optional<Uuid> conversationId{};

    friend bool operator==(const TroupeMessageEntry& a, const TroupeMessageEntry& b);

    OrderedJson toJson() const;
    static TroupeMessageEntry fromJson(const JsonReader& reader);
};

struct TroupeLetterEntry {
    Uuid id{};
    Uuid fleaId{};
    std::string body{};
    Date periodStart{};
    Date periodEnd{};
    Date writtenAt{};
    std::optional<TroupeAnniversaryKind> anniversaryKind{};
    std::set<Uuid> readBy{};
    std::optional<Date> acknowledgedAt{};

    friend bool operator==(const TroupeLetterEntry& a, const TroupeLetterEntry& b);

    OrderedJson toJson() const;
    static TroupeLetterEntry fromJson(const JsonReader& reader);
};

struct TroupeAnniversaryEntry {
    Uuid fleaId{};
    TroupeAnniversaryKind kind{};
    Date firstSeenAt{};

    friend bool operator==(const TroupeAnniversaryEntry&, const TroupeAnniversaryEntry&) = default;

    OrderedJson toJson() const;
    static TroupeAnniversaryEntry fromJson(const JsonReader& reader);
};

}  // namespace tw

template <>
struct std::hash<tw::TroupeFlea> {
    std::size_t operator()(const tw::TroupeFlea& value) const;
};
template <>
struct std::hash<tw::TroupeCumulativeStats> {
    std::size_t operator()(const tw::TroupeCumulativeStats& value) const;
};
template <>
struct std::hash<tw::TroupeDeviceSeen> {
    std::size_t operator()(const tw::TroupeDeviceSeen& value) const;
};
template <>
struct std::hash<tw::TroupeMessageEntry> {
    std::size_t operator()(const tw::TroupeMessageEntry& value) const;
};
template <>
struct std::hash<tw::TroupeLetterEntry> {
    std::size_t operator()(const tw::TroupeLetterEntry& value) const;
};
template <>
struct std::hash<tw::TroupeAnniversaryEntry> {
    std::size_t operator()(const tw::TroupeAnniversaryEntry& value) const;
};
