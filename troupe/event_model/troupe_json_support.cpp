// The shared pieces of the troupe JSON formats: dates, UUIDs, numbers, string lists
// and the untagged setting value.
#include "troupe/event_model/troupe_record_reading.h"

namespace tw {

OrderedJson troupeDateJson(Date date) {
    auto text = iso8601String(date);
    if (!text) throw JsonEncodeError("Date " + std::to_string(date.seconds) + " has no ISO 8601 form");
    return *text;
}

OrderedJson troupeUuidJson(const Uuid& id) { return id.uuidString(); }

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

template <>
TroupeSettingValue fromJson<TroupeSettingValue>(const JsonReader& in) {
    return readTroupeSettingValue(in);
}

}  // namespace tw
