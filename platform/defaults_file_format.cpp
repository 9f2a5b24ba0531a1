#include "platform/defaults_file_format.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/json_document.h"
#include "platform/json_outline.h"
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

// A key's string from its token; nullopt when no string can hold it.
std::optional<std::string> keyOf(std::string_view token) {
    const std::string_view inner = token.substr(1, token.size() - 2);
    const bool plain = std::all_of(inner.begin(), inner.end(),
                                   [](char c) { return c != '\\' && static_cast<unsigned char>(c) < 0x80; });
    if (plain) return std::string(inner);
    try {
        const JsonDocument document = JsonDocument::parse(token);
        return JsonReader(document).string();
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

// Reads one entry: a removal or a value. False (said in the log) when this build
// cannot read it.
bool readEntry(Contents& contents, const std::string& key, const JsonReader& entry, bool logSkipped) {
    try {
        if (entry.isObject() && entry.has("type") && entry["type"].string() == kRemovedType) {
            contents.removed.emplace(key, Date{entry["value"].number()});
            return true;
        }
        if (auto value = decodeValue(entry)) {
            contents.values.emplace(key, std::move(*value));
            return true;
        }
        if (logSkipped)
            log::warning("Defaults: skipped \"" + key + "\" of unknown type \"" + entry["type"].string() +
                         "\"");
    } catch (const JsonDecodeError& error) {
        if (logSkipped)
            log::warning("Defaults: skipped unreadable \"" + key + "\" (" + toString(error.kind()) + " at " +
                         error.path() + ")");
    }
    return false;
}

// A file the parser refused whole, read one entry at a time: an entry holding what no
// parser can (a number past a double, a lone surrogate, even in its key, nesting past
// the parser's depth limit) is kept as written and the others load. Throws `refusal` when the file is not an
// object's text.
Contents decodeEntryByEntry(std::string_view text, bool logSkipped, const JsonDecodeError& refusal) {
    const auto members = jsonObjectMembers(text);
    if (!members) throw refusal;
    Contents contents;
    for (const JsonMemberText& member : *members) {
        const auto key = keyOf(member.key);
        if (!key) {
            if (logSkipped)
                log::warning("Defaults: kept an entry whose key cannot be read as it was written");
            contents.entriesWithUnreadableKeys[std::string(member.key)] = std::string(member.value);
            continue;
        }
        // The last of duplicate keys wins, as in a parsed document.
        contents.values.erase(*key);
        contents.unreadable.erase(*key);
        contents.removed.erase(*key);
        try {
            const JsonDocument document = JsonDocument::parse(member.value);
            if (readEntry(contents, *key, JsonReader(document), logSkipped)) continue;
        } catch (const JsonDecodeError& error) {
            if (logSkipped) log::warning("Defaults: kept \"" + *key + "\" as written: " + error.what());
        }
        contents.unreadable[*key] = std::string(member.value);
    }
    return contents;
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
    std::optional<JsonDocument> document;
    try {
        document = JsonDocument::parse(text, kMaxFileBytes);
    } catch (const JsonDecodeError& refusal) {
        if (text.size() > kMaxFileBytes) throw;
        return decodeEntryByEntry(text, logSkipped, refusal);
    }
    const JsonReader root(*document);
    if (!root.isObject()) throw std::runtime_error("A defaults file must hold one JSON object");
    Contents contents;
    std::optional<std::map<std::string, std::string_view>> texts;  // found on the first raw entry
    for (const auto& [key, entry] : root.members()) {
        if (readEntry(contents, key, entry, logSkipped)) continue;
        if (!texts) {
            texts.emplace();
            for (const JsonMemberText& member :
                 jsonObjectMembers(text).value_or(std::vector<JsonMemberText>{}))
                (*texts)[keyOf(member.key).value_or("")] = member.value;
        }
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
    if (entries.empty() && contents.entriesWithUnreadableKeys.empty()) return "{}\n";
    // Written member by member, so that raw entries keep their text to the byte.
    std::string out = "{";
    const char* separator = "\n  ";
    const auto write = [&](const std::string& keyText, const std::string& entry) {
        out += separator;
        out += keyText;
        out += ": ";
        out += entry;
        separator = ",\n  ";
    };
    for (const auto& [key, entry] : entries) write(dumpJson(OrderedJson(std::string(key))), entry);
    for (const auto& [keyText, entry] : contents.entriesWithUnreadableKeys) write(keyText, entry);
    out += "\n}\n";
    return out;
}

}  // namespace tw::defaults_file

namespace tw {

std::string encodeDefaultsFile(const std::map<std::string, DefaultsValue>& values) {
    defaults_file::Contents contents;
    contents.values = values;
    return defaults_file::encode(contents);
}

std::map<std::string, DefaultsValue> decodeDefaultsFile(const std::string& text) {
    return defaults_file::decode(text).values;
}

}  // namespace tw
