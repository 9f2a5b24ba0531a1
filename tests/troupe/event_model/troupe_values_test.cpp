// Enumerations, the clock window, setting values, and the equality and hashing rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <unordered_set>

#include "troupe/event_model/troupe_json.h"
#include "troupe_test_ids.h"

namespace tw {
namespace {

using namespace troupe_test;

template <TroupeEnum E>
void expectWireStringsRoundTrip() {
    std::set<std::string_view> seen;
    for (const auto& [value, raw] : TroupeEnumTraits<E>::entries) {
        EXPECT_EQ(fromRawValue<E>(raw), value) << raw;
        EXPECT_FALSE(raw.empty());
        EXPECT_TRUE(seen.insert(raw).second) << "duplicate " << raw;
    }
}

// Every troupe enumeration lists its cases except the XP sources.
template <typename E>
concept ListsAllCases = requires {
    allCases<E>();
};
static_assert(!ListsAllCases<TroupeXPSource>);
static_assert(ListsAllCases<TroupeAnniversaryKind> && ListsAllCases<TroupeDeviceKind>);

TEST(TroupeEnums, WireStringsAreExactAndDistinct) {
    expectWireStringsRoundTrip<TroupeEventKind>();
    expectWireStringsRoundTrip<TroupeMessageSource>();
    expectWireStringsRoundTrip<TroupeAnniversaryKind>();
    expectWireStringsRoundTrip<TroupeCumulativeStat>();
    expectWireStringsRoundTrip<TroupeXPSource>();
    expectWireStringsRoundTrip<TroupeDeviceKind>();

    EXPECT_EQ(fromRawValue<TroupeEventKind>("Flea_created"), std::nullopt);
    EXPECT_EQ(fromRawValue<TroupeEventKind>("flea-created"), std::nullopt);
    EXPECT_EQ(fromRawValue<TroupeEventKind>(" flea_created"), std::nullopt);
    EXPECT_EQ(rawValue(TroupeDeviceKind::appleTV), "AppleTV");
    EXPECT_EQ(fromRawValue<TroupeDeviceKind>("appleTV"), std::nullopt);
    EXPECT_EQ(rawValue(TroupeAnniversaryKind::oneYear), "1y");
    EXPECT_EQ(fromRawValue<TroupeAnniversaryKind>("oneYear"), std::nullopt);
    EXPECT_EQ(rawValue(TroupeMessageSource::template_), "template");

    const auto kinds = allCases<TroupeEventKind>();
    ASSERT_EQ(kinds.size(), 23u);
    EXPECT_EQ(kinds.front(), TroupeEventKind::fleaCreated);
    EXPECT_EQ(kinds.back(), TroupeEventKind::anniversaryTriggered);
    const auto devices = allCases<TroupeDeviceKind>();
    ASSERT_EQ(devices.size(), 8u);
    EXPECT_EQ(devices.front(), TroupeDeviceKind::iPhone);
    EXPECT_EQ(devices[4], TroupeDeviceKind::linuxDesktop);
}

TEST(TroupeEnums, PortableSettingKeysMatchExactly) {
    EXPECT_EQ(troupePortableSettingKeys().size(), 5u);
    EXPECT_TRUE(isTroupePortableSettingKey("theme"));
    EXPECT_TRUE(isTroupePortableSettingKey("pinnedAct"));
    EXPECT_FALSE(isTroupePortableSettingKey("Theme"));
    EXPECT_FALSE(isTroupePortableSettingKey("theme "));
    EXPECT_EQ(troupeSchemaVersion, 1);
}

TEST(TroupeClockWindow, BoundsAreInclusiveAndNaNIsOutside) {
    const Date now{760000000};
    EXPECT_TRUE(TroupeClock::isWithinSkewWindow(now, now));
    EXPECT_TRUE(TroupeClock::isWithinSkewWindow(now.adding(172800), now));
    EXPECT_FALSE(TroupeClock::isWithinSkewWindow(now.adding(172800.001), now));
    EXPECT_TRUE(TroupeClock::isWithinSkewWindow(now.adding(-157680000), now));
    EXPECT_FALSE(TroupeClock::isWithinSkewWindow(now.adding(-157680000.5), now));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(TroupeClock::isWithinSkewWindow(Date{nan}, now));
    EXPECT_FALSE(TroupeClock::isWithinSkewWindow(now, Date{nan}));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(TroupeClock::isWithinSkewWindow(Date{inf}, Date{inf}));
}

TroupeSettingValue readSetting(const std::string& text) {
    const OrderedJson json = parseJson(text);
    return fromJson<TroupeSettingValue>(JsonReader(json));
}

TEST(TroupeSettingValues, ReadingsApplyInOrder) {
    EXPECT_EQ(readSetting("null"), TroupeSettingValue::null());
    EXPECT_EQ(readSetting("true"), TroupeSettingValue::ofBool(true));
    EXPECT_EQ(readSetting("0"), TroupeSettingValue::ofInt(0));
    EXPECT_EQ(readSetting("-7"), TroupeSettingValue::ofInt(-7));
    EXPECT_EQ(readSetting("9223372036854775807"),
              TroupeSettingValue::ofInt(std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(readSetting("9223372036854775808"), TroupeSettingValue::ofDouble(9223372036854775808.0));
    EXPECT_EQ(readSetting("2.5"), TroupeSettingValue::ofDouble(2.5));
    EXPECT_EQ(readSetting("1.0"), TroupeSettingValue::ofDouble(1.0));
    EXPECT_EQ(readSetting(R"("2.5")"), TroupeSettingValue::ofString("2.5"));
    EXPECT_EQ(readSetting(R"("true")"), TroupeSettingValue::ofString("true"));
    EXPECT_EQ(readSetting("[]"), TroupeSettingValue::ofStringArray({}));
    EXPECT_EQ(readSetting(R"(["a","b"])"), TroupeSettingValue::ofStringArray({"a", "b"}));
    EXPECT_THROW(readSetting("[1]"), JsonDecodeError);
    EXPECT_THROW(readSetting("{}"), JsonDecodeError);

    // Same printed value, different case: never equal.
    EXPECT_NE(TroupeSettingValue::ofInt(1), TroupeSettingValue::ofDouble(1.0));
    EXPECT_NE(TroupeSettingValue::ofString("true"), TroupeSettingValue::ofBool(true));
    EXPECT_NE(TroupeSettingValue::ofStringArray({"a", "b"}), TroupeSettingValue::ofStringArray({"b", "a"}));
}

TEST(TroupeEncoding, NonFiniteNumbersAndUnwritableDatesFailInsteadOfWritingNull) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto event = [](TroupePayload payload, Date ts = Date{0}) {
        return TroupeEvent{id(kEvent), TroupeEventKind::deviceSessionEnd, std::move(payload), ts, id(kDevice),
                           1};
    };
    EXPECT_THROW(encodeTroupeEventLine(event(TroupeDeviceSessionEnd{inf})), JsonEncodeError);
    EXPECT_THROW(encodeTroupeEventLine(event(TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, nan})),
                 JsonEncodeError);
    EXPECT_THROW(
        encodeTroupeEventLine(event(TroupeSettingChanged{"theme", TroupeSettingValue::ofDouble(-inf)})),
        JsonEncodeError);
    EXPECT_THROW(encodeTroupeEventLine(event(TroupeMilestoneEarned{"m"}, Date{nan})), JsonEncodeError);
    EXPECT_THROW(encodeTroupeEventLine(event(TroupeMilestoneEarned{"m"}, Date{1e15})), JsonEncodeError);
    EXPECT_THROW(encodeTroupeEventLine(event(TroupeCheckpointPayload{nullptr, Date{0}})), JsonEncodeError);
}

template <typename T>
std::size_t hashOf(const T& value) {
    return std::hash<T>{}(value);
}

TEST(TroupeEquality, TextComparesByCanonicalEquivalence) {
    const std::string composed = "Zo\xC3\xAB";     // ë as one code point
    const std::string decomposed = "Zoe\xCC\x88";  // e + combining diaeresis
    const TroupeFleaRenamed a{id(kFlea), composed};
    const TroupeFleaRenamed b{id(kFlea), decomposed};
    EXPECT_EQ(a, b);
    EXPECT_EQ(hashOf(a), hashOf(b));
    EXPECT_NE(a, (TroupeFleaRenamed{id(kFlea), "Zoe"}));

    EXPECT_EQ((TroupeDeviceSessionStart{TroupeDeviceKind::iPad, composed}),
              (TroupeDeviceSessionStart{TroupeDeviceKind::iPad, decomposed}));
    EXPECT_NE((TroupeDeviceSessionStart{TroupeDeviceKind::iPad, std::nullopt}),
              (TroupeDeviceSessionStart{TroupeDeviceKind::iPad, ""}));
    EXPECT_EQ(TroupeSettingValue::ofStringArray({composed}), TroupeSettingValue::ofStringArray({decomposed}));

    // Map keys match up to equivalence too, regardless of order.
    TroupeLegacyStateSnapshot x{"p", "v", {}, std::nullopt, {}, {}, {}};
    TroupeLegacyStateSnapshot y = x;
    x.portableSettings = {{composed, TroupeSettingValue::ofInt(1)}, {"theme", TroupeSettingValue::null()}};
    y.portableSettings = {{"theme", TroupeSettingValue::null()}, {decomposed, TroupeSettingValue::ofInt(1)}};
    EXPECT_EQ(x, y);
    EXPECT_EQ(hashOf(x), hashOf(y));
    y.portableSettings[decomposed] = TroupeSettingValue::ofDouble(1);
    EXPECT_NE(x, y);
}

TEST(TroupeEquality, MapsHoldingTwoSpellingsOfOneKeyMatchEntryByEntry) {
    // A decoded map may hold the composed and the decomposed spelling side by side;
    // equality must not collapse them, or equal maps would hash apart.
    const std::string composed = "caf\xC3\xA9";
    const std::string decomposed = "cafe\xCC\x81";
    auto legacy = [](std::map<std::string, TroupeSettingValue> settings) {
        return TroupeLegacyStateSnapshot{"p", "v", {}, std::nullopt, {}, {}, std::move(settings)};
    };
    const auto one = TroupeSettingValue::ofInt(1);
    const auto two = TroupeSettingValue::ofInt(2);
    const auto both = legacy({{composed, one}, {decomposed, two}});

    EXPECT_NE(both, legacy({{composed, two}, {decomposed, two}}));
    EXPECT_NE(both, legacy({{composed, one}}));
    EXPECT_NE(legacy({{composed, one}}), both);
    EXPECT_NE(legacy({{composed, one}, {decomposed, one}}), legacy({{composed, one}}));

    const auto swapped = legacy({{composed, two}, {decomposed, one}});
    EXPECT_EQ(both, swapped);
    EXPECT_EQ(hashOf(both), hashOf(swapped));
}

TEST(TroupeEquality, DoublesCompareNumerically) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const TroupePayload tick{TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, nan}};
    EXPECT_NE(tick, tick);
    const TroupePayload plusZero{TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.0}};
    const TroupePayload minusZero{TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, -0.0}};
    EXPECT_EQ(plusZero, minusZero);
    EXPECT_EQ(hashOf(plusZero), hashOf(minusZero));
    EXPECT_EQ(TroupeSettingValue::ofDouble(-0.0), TroupeSettingValue::ofDouble(0.0));
    EXPECT_EQ(hashOf(TroupeSettingValue::ofDouble(-0.0)), hashOf(TroupeSettingValue::ofDouble(0.0)));
}

TEST(TroupeEquality, CasesOptionalsAndEnvelopesStayDistinct) {
    const TroupePayload deleted{TroupeFleaIdOnly{id(kFlea)}};
    const TroupePayload read{TroupeLetterId{id(kFlea)}};
    EXPECT_NE(deleted, read);
    EXPECT_NE(hashOf(deleted), hashOf(read));

    EXPECT_NE((TroupeXPEarned{std::nullopt, 5, TroupeXPSource::click}),
              (TroupeXPEarned{id(kFlea), 5, TroupeXPSource::click}));
    EXPECT_NE((TroupeXPEarned{std::nullopt, 5, TroupeXPSource::click}),
              (TroupeXPEarned{std::nullopt, 5, TroupeXPSource::practice}));
    TroupeFleaRecustomized withEmpty{id(kFlea), {}, {}, std::vector<std::string>{}, {}, {}, {}};
    TroupeFleaRecustomized without{id(kFlea), {}, {}, std::nullopt, {}, {}, {}};
    EXPECT_NE(withEmpty, without);
    EXPECT_NE(hashOf(withEmpty), hashOf(without));

    const TroupeEvent first{id(kEvent), TroupeEventKind::fleaDeleted, deleted, Date{10}, id(kDevice), 1};
    TroupeEvent later = first;
    later.ts = Date{11};
    EXPECT_NE(first, later);
    std::unordered_set<TroupeEvent> set{first, later, first};
    EXPECT_EQ(set.size(), 2u);

    // Code-built messages get fresh ids of their own.
    const TroupeFleaMessageFromUser m1{.fleaId = id(kFlea), .body = "hi", .conversationId = std::nullopt};
    const TroupeFleaMessageFromUser m2{.fleaId = id(kFlea), .body = "hi", .conversationId = std::nullopt};
    EXPECT_NE(m1.messageId, m2.messageId);
}

}  // namespace
}  // namespace tw
