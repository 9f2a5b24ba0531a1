#include "platform/key_value_store.h"

#include <limits>

#include "platform/atomic_file.h"
#include "platform/json.h"
#include "platform/log.h"

namespace tw {
namespace {

// Far above any real store: the cloud store this stands for holds at most 1 MB.
constexpr std::uint64_t maxFileBytes = std::uint64_t{4} << 20;

}  // namespace

std::optional<std::string> KeyValues::string(const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&it->second)) return *text;
    return std::nullopt;
}

std::int64_t KeyValues::longLong(const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end()) return 0;
    if (const auto* number = std::get_if<std::int64_t>(&it->second)) return *number;
    return 0;
}

KeyValues parseKeyValues(std::string_view text) {
    const JsonDocument document = JsonDocument::parse(text, maxFileBytes);
    const JsonReader root(document);
    if (!root.isObject()) root.fail(JsonErrorKind::typeMismatch, "expected an object of keys and values");
    KeyValues result;
    for (const auto& [key, value] : root.members()) {
        switch (value.type()) {
            case JsonType::string:
                result.values[key] = value.string();
                break;
            case JsonType::integer:
                result.values[key] = value.int64();
                break;
            case JsonType::unsignedInteger:
                // Past the largest signed integer it is no 64-bit integer: it reads as 0.
                if (value.uint64() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                    result.values[key] = value.int64();
                } else {
                    result.values[key] = KeyValues::Other{};
                }
                break;
            default:
                result.values[key] = KeyValues::Other{};
                break;
        }
    }
    return result;
}

KeyValuesFile readKeyValuesFile(const std::filesystem::path& file) {
    KeyValuesFile result;
    const atomic_file::ReadResult read = atomic_file::read(file, maxFileBytes);
    if (read.status == atomic_file::ReadStatus::missing) return result;
    if (read.status != atomic_file::ReadStatus::ok) {
        result.status = KeyValuesFile::Status::unusable;
        result.problem = atomic_file::describe(read, maxFileBytes);
        result.fingerprint = std::hash<std::string>{}(result.problem);
        return result;
    }
    try {
        result.values = parseKeyValues(read.text);
        result.status = KeyValuesFile::Status::ok;
    } catch (const JsonDecodeError& error) {
        result.status = KeyValuesFile::Status::unusable;
        result.problem = std::string("is not a JSON object of keys and values (") + error.what() + ")";
        result.fingerprint = std::hash<std::string>{}(read.text);
    }
    return result;
}

KeyValues loadKeyValuesFile(const std::filesystem::path& file) {
    KeyValuesFile read = readKeyValuesFile(file);
    if (read.status == KeyValuesFile::Status::unusable)
        log::warning("The key-value file " + file.string() + " " + read.problem +
                     "; reading it as empty and leaving it as it is.");
    return std::move(read.values);
}

}  // namespace tw
