#include "platform/defaults_file_format.h"

#include <cstring>
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

bool isJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The end of the string token starting at `at` (its opening quote).
std::size_t stringEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return text.size();
}

// The end of the value token starting at `at`.
std::size_t valueEnd(std::string_view text, std::size_t at) {
    if (text[at] == '"') return stringEnd(text, at);
    if (text[at] != '{' && text[at] != '[') {
        std::size_t i = at;
        while (i < text.size() && !isJsonSpace(text[i]) && text[i] != ',' && text[i] != '}' && text[i] != ']')
            ++i;
        return i;
    }
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == '"') {
            i = stringEnd(text, i) - 1;
        } else if (text[i] == '{' || text[i] == '[') {
            ++depth;
        } else if ((text[i] == '}' || text[i] == ']') && --depth == 0) {
            return i + 1;
        }
    }
    return text.size();
}

// Each top-level member's value as it stands in `text`, a document already parsed as an
// object (the last of duplicate keys wins, as in the parsed document).
std::map<std::string, std::string_view> memberTexts(std::string_view text) {
    std::map<std::string, std::string_view> members;
    std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const auto skipSpace = [&] {
        while (i < text.size() && isJsonSpace(text[i])) ++i;
    };
    skipSpace();
    ++i;  // '{'
    for (;;) {
        skipSpace();
        if (i >= text.size() || text[i] != '"') break;
        const std::size_t keyEnd = stringEnd(text, i);
        const std::string_view keyToken = text.substr(i, keyEnd - i);
        std::string key = keyToken.find('\\') == std::string_view::npos
                              ? std::string(keyToken.substr(1, keyToken.size() - 2))
                              : parseJson(keyToken).get<std::string>();
        i = keyEnd;
        skipSpace();
        ++i;  // ':'
        skipSpace();
        const std::size_t end = valueEnd(text, i);
        members[std::move(key)] = text.substr(i, end - i);
        i = end;
        skipSpace();
        if (i >= text.size() || text[i] != ',') break;
        ++i;
    }
    return members;
}

// An entry written by this build, nested one level into the file: lines after the first indented.
std::string nested(const OrderedJson& entry) {
    std::string out;
    for (char c : dumpJson(entry, 2)) {
        out += c;
        if (c == '\n') out += "  ";
    }
    return out;
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
    std::optional<std::map<std::string, std::string_view>> texts;  // found on the first raw entry
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
        if (!texts) texts = memberTexts(text);
        const auto found = texts->find(key);
        contents.unreadable.emplace(
            key, found != texts->end() ? std::string(found->second) : dumpJson(entry.raw()));
    }
    return contents;
}

std::string encode(const Contents& contents) {
    // Keys in sorted order; a readable value wins over a raw entry of the same key,
    // and either wins over a removal.
    std::map<std::string_view, std::string> entries;
    for (const auto& [key, when] : contents.removed) {
        entries[key] =
            nested(OrderedJson{{"type", kRemovedType}, {"value", finiteJson(when.seconds, "removal date")}});
    }
    for (const auto& [key, raw] : contents.unreadable) entries[key] = raw;
    for (const auto& [key, value] : contents.values) entries[key] = nested(encodeValue(value));
    if (entries.empty()) return "{}\n";
    // Written member by member, so that raw entries keep their text to the byte.
    std::string out = "{";
    const char* separator = "\n  ";
    for (const auto& [key, entry] : entries) {
        out += separator;
        out += dumpJson(OrderedJson(std::string(key)));
        out += ": ";
        out += entry;
        separator = ",\n  ";
    }
    out += "\n}\n";
    return out;
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
