#pragma once
// Small JSON helpers shared by the narrative records: dates as seconds since 2001,
// UUIDs as upper-case text, arrays decoded element by element, and runs of plain
// number fields driven by one table per record.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"

namespace tw::narrative_json {

inline OrderedJson date(Date value, std::string_view what = "date") {
    return finiteJson(value.seconds, what);
}
inline OrderedJson uuid(const Uuid& value) { return OrderedJson(value.uuidString()); }

template <typename T, typename Decode>
std::vector<T> array(const JsonReader& reader, Decode decode) {
    std::vector<T> out;
    for (const JsonReader& element : reader.elements()) out.push_back(decode(element));
    return out;
}

template <typename T, typename Encode>
OrderedJson array(const std::vector<T>& values, Encode encode) {
    OrderedJson out = OrderedJson::array();
    for (const T& value : values) out.push_back(encode(value));
    return out;
}

// Records that encode themselves: one toJson() per element.
template <typename T>
OrderedJson records(const std::vector<T>& values) {
    return array(values, [](const T& value) { return value.toJson(); });
}

inline OrderedJson strings(const std::vector<std::string>& values) {
    return array(values, [](const std::string& s) { return OrderedJson(s); });
}
inline std::vector<std::string> strings(const JsonReader& reader) {
    return array<std::string>(reader, [](const JsonReader& r) { return r.string(); });
}

// One number field of a record and its JSON key; a table of them lists the fields in key order.
template <typename Record>
struct NumberField {
    const char* key;
    double Record::*member;
};

// An object of the fields in table order; a NaN or infinite value fails with the key's name.
template <typename Record, std::size_t N>
OrderedJson numbers(const Record& record, const NumberField<Record> (&fields)[N]) {
    OrderedJson out = OrderedJson::object();
    for (const auto& field : fields) out[field.key] = finiteJson(record.*field.member, field.key);
    return out;
}

// Every key required, read in table order.
template <typename Record, std::size_t N>
void readNumbers(const JsonReader& reader, Record& record, const NumberField<Record> (&fields)[N]) {
    for (const auto& field : fields) record.*field.member = reader[field.key].number();
}

}  // namespace tw::narrative_json
