// The shared pieces of the troupe JSON formats: dates, UUIDs, numbers, string lists
// and the untagged setting value.
#include <cmath>
#include <limits>

#include "troupe/event_model/troupe_json.h"

namespace tw {

OrderedJson troupeDateJson(Date date) {
    auto text = iso8601String(date);
    if (!text) throw JsonEncodeError("Date " + std::to_string(date.seconds) + " has no ISO 8601 form");
    return *text;
}

Date troupeDate(const JsonReader& in) {
    const std::string& text = in.string();
    // The troupe coders write whole seconds only: "yyyy-MM-ddTHH:mm:ssZ".
    constexpr std::size_t kLength = 20;
    auto date = text.size() == kLength ? parseIso8601(text) : std::nullopt;
    if (!date) in.fail(JsonErrorKind::dataCorrupted, "Expected date string to be ISO8601-formatted.");
    return *date;
}

OrderedJson troupeUuidJson(const Uuid& id) { return id.uuidString(); }

double troupeDouble(const JsonReader& in) {
    const double value = in.number();
    // A literal too large for a double would come back as infinity and could never be written again.
    if (!std::isfinite(value)) in.fail(JsonErrorKind::dataCorrupted, "Number does not fit a finite double");
    return value;
}

std::vector<std::string> troupeStringList(const JsonReader& in) {
    std::vector<std::string> out;
    const auto items = in.elements();
    out.reserve(items.size());
    for (const auto& item : items) out.push_back(item.string());
    return out;
}

OrderedJson troupeStringListJson(const std::vector<std::string>& list) {
    OrderedJson out = OrderedJson::array();
    for (const auto& s : list) out.push_back(s);
    return out;
}

OrderedJson toJson(const TroupeSettingValue& value) {
    switch (value.valueCase()) {
        case TroupeSettingValue::Case::string:
            return *value.asString();
        case TroupeSettingValue::Case::bool_:
            return *value.asBool();
        case TroupeSettingValue::Case::int_:
            return *value.asInt();
        case TroupeSettingValue::Case::double_:
            return finiteJson(*value.asDouble(), "setting value");
        case TroupeSettingValue::Case::stringArray:
            return troupeStringListJson(*value.asStringArray());
        case TroupeSettingValue::Case::null:
            return nullptr;
    }
    return nullptr;
}

// Readings in a fixed order, the first that fits wins: null, bool, int64, double,
// string, array of strings.
template <>
TroupeSettingValue fromJson<TroupeSettingValue>(const JsonReader& in) {
    switch (in.type()) {
        case JsonType::null:
            return TroupeSettingValue::null();
        case JsonType::boolean:
            return TroupeSettingValue::ofBool(in.boolean());
        case JsonType::integer:
            return TroupeSettingValue::ofInt(in.int64());
        case JsonType::unsignedInteger: {
            const auto u = in.uint64();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return TroupeSettingValue::ofInt(static_cast<std::int64_t>(u));
            }
            return TroupeSettingValue::ofDouble(static_cast<double>(u));
        }
        case JsonType::floating:
            if (std::isfinite(in.number())) return TroupeSettingValue::ofDouble(in.number());
            break;
        case JsonType::string:
            return TroupeSettingValue::ofString(in.string());
        case JsonType::array: {
            std::vector<std::string> list;
            list.reserve(in.size());
            bool allStrings = true;
            for (const auto& item : in.elements()) {
                if (item.type() != JsonType::string) {
                    allStrings = false;
                    break;
                }
                list.push_back(item.string());
            }
            if (allStrings) return TroupeSettingValue::ofStringArray(std::move(list));
            break;
        }
        case JsonType::object:
            break;
    }
    in.fail(JsonErrorKind::typeMismatch, "Unsupported setting value type");
}

}  // namespace tw

namespace tw {

void troupeExpectObject(const JsonReader& in) {
    if (in.isNull()) in.fail(JsonErrorKind::valueNotFound, "Expected an object but found null");
    if (!in.isObject()) in.fail(JsonErrorKind::typeMismatch, "Expected an object");
}

}  // namespace tw
