#include "platform/defaults_file_format.h"

#include <stdexcept>

#include "platform/log.h"

namespace tw::defaults_file {

namespace {

constexpr char kRemovedType[] = "removed";

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

OrderedJson encodeValue(const DefaultsValue& value) {
    OrderedJson entry = OrderedJson::object();
    std::visit(
        [&entry](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                entry["type"] = "bool";
                entry["value"] = v;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                entry["type"] = "int";
                entry["value"] = v;
            } else if constexpr (std::is_same_v<T, double>) {
                entry["type"] = "double";
                entry["value"] = finiteJson(v, "double value");
            } else if constexpr (std::is_same_v<T, std::string>) {
                entry["type"] = "string";
                entry["value"] = v;
            } else if constexpr (std::is_same_v<T, Date>) {
                entry["type"] = "date";
                entry["value"] = finiteJson(v.seconds, "date value");
            } else {
                entry["type"] = "data";
                entry["value"] = base64Encode(v.bytes);
            }
        },
        value);
    return entry;
}

// nullopt for an entry of a type this build does not know; throws JsonDecodeError
// for a known type whose value is malformed.
std::optional<DefaultsValue> decodeValue(const JsonReader& entry) {
    const std::string& type = entry["type"].string();
    const JsonReader value = entry["value"];
    if (type == "bool") return DefaultsValue{value.boolean()};
    if (type == "int") return DefaultsValue{value.int64()};
    if (type == "double") return DefaultsValue{value.number()};
    if (type == "string") return DefaultsValue{value.string()};
    if (type == "date") return DefaultsValue{Date{value.number()}};
    if (type == "data") {
        auto bytes = base64Decode(value.string());
        if (!bytes) value.fail(JsonErrorKind::dataCorrupted, "not base64");
        return DefaultsValue{DefaultsData{std::move(*bytes)}};
    }
    return std::nullopt;
}

}  // namespace

std::string base64Encode(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const std::uint32_t n = std::uint32_t{bytes[i]} << 16;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

// Strict: padded groups of four, no whitespace, no bits left over in the last group.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
        std::uint32_t n = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            if (j >= 4 - static_cast<std::size_t>(padding)) {
                n <<= 6;
                continue;
            }
            const int digit = base64Digit(text[i + j]);
            if (digit < 0) return std::nullopt;
            n = (n << 6) | static_cast<std::uint32_t>(digit);
        }
        if ((padding == 1 && (n & 0xFF) != 0) || (padding == 2 && (n & 0xFFFF) != 0)) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
        if (padding < 1) out.push_back(static_cast<std::uint8_t>(n));
    }
    return out;
}

Contents decode(const std::string& text, bool logSkipped) {
    const JsonDocument document = JsonDocument::parse(text, kMaxFileBytes);
    const JsonReader root(document);
    if (!root.isObject()) throw std::runtime_error("A defaults file must hold one JSON object");
    Contents contents;
    for (const auto& [key, entry] : root.members()) {
        try {
            if (entry.isObject() && entry.has("type") && entry["type"].string() == kRemovedType) {
                contents.removed.emplace(key, Date{entry["value"].number()});
                continue;
            }
            if (auto value = decodeValue(entry)) {
                contents.values.emplace(key, std::move(*value));
                continue;
            }
            if (logSkipped)
                log::warning("Defaults: skipped \"" + key + "\" of unknown type \"" + entry["type"].string() +
                             "\"");
        } catch (const JsonDecodeError& error) {
            if (logSkipped)
                log::warning("Defaults: skipped unreadable \"" + key + "\" (" + toString(error.kind()) +
                             " at " + error.path() + ")");
        }
        contents.unreadable.emplace(key, entry.raw());
    }
    return contents;
}

std::string encode(const Contents& contents) {
    // Keys in sorted order; a readable value wins over a raw entry of the same key,
    // and either wins over a removal.
    std::map<std::string_view, OrderedJson> entries;
    for (const auto& [key, when] : contents.removed) {
        entries[key] =
            OrderedJson{{"type", kRemovedType}, {"value", finiteJson(when.seconds, "removal date")}};
    }
    for (const auto& [key, raw] : contents.unreadable) entries[key] = raw;
    for (const auto& [key, value] : contents.values) entries[key] = encodeValue(value);
    OrderedJson document = OrderedJson::object();
    // Appended without a lookup: document[key] would search the whole ordered object
    // each time, quadratic in the number of keys.
    auto& members = document.get_ref<OrderedJson::object_t&>();
    members.reserve(entries.size());
    for (auto& [key, entry] : entries) members.emplace_back(std::string(key), std::move(entry));
    return dumpJson(document, 2) + "\n";
}

}  // namespace tw::defaults_file

namespace tw {

std::string encodeDefaultsFile(const std::map<std::string, DefaultsValue>& values) {
    return defaults_file::encode(defaults_file::Contents{values, {}, {}});
}

std::map<std::string, DefaultsValue> decodeDefaultsFile(const std::string& text) {
    return defaults_file::decode(text).values;
}

}  // namespace tw
