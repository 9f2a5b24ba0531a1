#pragma once
// The closed vocabulary of the troupe log. Every case has exactly one wire string;
// the same strings travel through the log, the cloud records, the server and the
// export bundles, so they are fixed byte for byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/raw_enum.h"

namespace tw {

enum class TroupeEventKind {
    fleaCreated,
    fleaRenamed,
    fleaRecustomized,
    fleaDeleted,
    xpEarned,
    nodeUnlocked,
    actAssigned,
    cumulativeStatTick,
    milestoneEarned,
    milestoneAcknowledged,
    surpriseEventFired,
    settingChanged,
    deviceSessionStart,
    deviceSessionEnd,
    legacyStateSnapshot,
    checkpoint,
    fleaMessageFromUser,
    fleaMessageFromFlea,
    letterWritten,
    letterRead,
    letterAcknowledged,
    conversationStarted,
    anniversaryTriggered,
};

// `template` is a C++ keyword, hence the trailing underscore; the wire string is "template".
enum class TroupeMessageSource { foundation, template_, manual };

enum class TroupeAnniversaryKind { oneYear, twoYear, fiveYear, adoption };

enum class TroupeCumulativeStat { clicks, keystrokes, sessions, hoursSeconds, mouseDistance, combos };

enum class TroupeXPSource { click, keystroke, practice, milestone, manual };
// The only troupe enumeration without a list of cases: XP sources are written and
// matched one at a time, and nothing is meant to walk them.
template <>
inline constexpr bool offersAllCases<TroupeXPSource> = false;

// The first four are other devices' kinds; the desktop kinds follow. linuxDesktop is
// the kind this application reports for itself.
enum class TroupeDeviceKind {
    iPhone,
    iPad,
    appleTV,
    appleWatch,
    linuxDesktop,
    windowsDesktop,
    bsdDesktop,
    otherDesktop,
};

// Case <-> wire string tables, in declaration order.
template <typename E>
struct TroupeEnumTraits;

// Each table also serves the shared rawValue / fromRawValue / allCases.
#define TW_TROUPE_ENUM_TRAITS(Enum, Count, ...)                                                       \
    template <>                                                                                       \
    struct TroupeEnumTraits<Enum> {                                                                   \
        static constexpr const char* typeName = #Enum;                                                \
        static constexpr std::array<std::pair<Enum, std::string_view>, Count> entries{{__VA_ARGS__}}; \
    };                                                                                                \
    template <>                                                                                       \
    struct RawEnumCases<Enum> {                                                                       \
        static constexpr const auto& table = TroupeEnumTraits<Enum>::entries;                         \
    };

TW_TROUPE_ENUM_TRAITS(
    TroupeEventKind, 23, {TroupeEventKind::fleaCreated, "flea_created"},
    {TroupeEventKind::fleaRenamed, "flea_renamed"}, {TroupeEventKind::fleaRecustomized, "flea_recustomized"},
    {TroupeEventKind::fleaDeleted, "flea_deleted"}, {TroupeEventKind::xpEarned, "xp_earned"},
    {TroupeEventKind::nodeUnlocked, "node_unlocked"}, {TroupeEventKind::actAssigned, "act_assigned"},
    {TroupeEventKind::cumulativeStatTick, "cumulative_stat_tick"},
    {TroupeEventKind::milestoneEarned, "milestone_earned"},
    {TroupeEventKind::milestoneAcknowledged, "milestone_acknowledged"},
    {TroupeEventKind::surpriseEventFired, "surprise_event_fired"},
    {TroupeEventKind::settingChanged, "setting_changed"},
    {TroupeEventKind::deviceSessionStart, "device_session_start"},
    {TroupeEventKind::deviceSessionEnd, "device_session_end"},
    {TroupeEventKind::legacyStateSnapshot, "legacy_state_snapshot"},
    {TroupeEventKind::checkpoint, "checkpoint"},
    {TroupeEventKind::fleaMessageFromUser, "flea_message_from_user"},
    {TroupeEventKind::fleaMessageFromFlea, "flea_message_from_flea"},
    {TroupeEventKind::letterWritten, "letter_written"}, {TroupeEventKind::letterRead, "letter_read"},
    {TroupeEventKind::letterAcknowledged, "letter_acknowledged"},
    {TroupeEventKind::conversationStarted, "conversation_started"},
    {TroupeEventKind::anniversaryTriggered, "anniversary_triggered"})

TW_TROUPE_ENUM_TRAITS(TroupeMessageSource, 3, {TroupeMessageSource::foundation, "foundation"},
                      {TroupeMessageSource::template_, "template"}, {TroupeMessageSource::manual, "manual"})

TW_TROUPE_ENUM_TRAITS(TroupeAnniversaryKind, 4, {TroupeAnniversaryKind::oneYear, "1y"},
                      {TroupeAnniversaryKind::twoYear, "2y"}, {TroupeAnniversaryKind::fiveYear, "5y"},
                      {TroupeAnniversaryKind::adoption, "adoption"})

TW_TROUPE_ENUM_TRAITS(TroupeCumulativeStat, 6, {TroupeCumulativeStat::clicks, "clicks"},
                      {TroupeCumulativeStat::keystrokes, "keystrokes"},
                      {TroupeCumulativeStat::sessions, "sessions"},
                      {TroupeCumulativeStat::hoursSeconds, "hoursSeconds"},
                      {TroupeCumulativeStat::mouseDistance, "mouseDistance"},
                      {TroupeCumulativeStat::combos, "combos"})

TW_TROUPE_ENUM_TRAITS(TroupeXPSource, 5, {TroupeXPSource::click, "click"},
                      {TroupeXPSource::keystroke, "keystroke"}, {TroupeXPSource::practice, "practice"},
                      {TroupeXPSource::milestone, "milestone"}, {TroupeXPSource::manual, "manual"})

TW_TROUPE_ENUM_TRAITS(TroupeDeviceKind, 8, {TroupeDeviceKind::iPhone, "iPhone"},
                      {TroupeDeviceKind::iPad, "iPad"}, {TroupeDeviceKind::appleTV, "AppleTV"},
                      {TroupeDeviceKind::appleWatch, "AppleWatch"},
                      {TroupeDeviceKind::linuxDesktop, "LinuxDesktop"},
                      {TroupeDeviceKind::windowsDesktop, "WindowsDesktop"},
                      {TroupeDeviceKind::bsdDesktop, "BSDDesktop"},
                      {TroupeDeviceKind::otherDesktop, "OtherDesktop"})

#undef TW_TROUPE_ENUM_TRAITS

template <typename E>
concept TroupeEnum = requires {
    TroupeEnumTraits<E>::entries;
};

// Hashing feeds the wire string, as every device agrees on it.
template <TroupeEnum E>
std::size_t troupeEnumHash(E value) {
    return std::hash<std::string_view>{}(rawValue(value));
}

// The schema version of every event this program builds, and the highest it understands.
inline constexpr std::int64_t troupeSchemaVersion = 1;

// The setting keys that follow the user between devices. Exact, case-sensitive membership.
const std::set<std::string, std::less<>>& troupePortableSettingKeys();
bool isTroupePortableSettingKey(std::string_view key);

}  // namespace tw
