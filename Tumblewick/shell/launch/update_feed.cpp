#include "Tumblewick/shell/launch/update_feed.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Tumblewick/shell/configuration/configuration.h"
#include "platform/json.h"

namespace tw {
namespace {

std::string_view withoutPrefix(std::string_view version) {
    if (!version.empty() && (version.front() == 'v' || version.front() == 'V')) version.remove_prefix(1);
    return version;
}

std::vector<std::int64_t> versionNumbers(std::string_view text) {
    text = withoutPrefix(text);
    std::vector<std::int64_t> numbers;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (const auto number = parseDecimalInteger(part)) numbers.push_back(*number);
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return numbers;
}

std::optional<std::string> stringMember(const JsonReader& object, std::string_view key) {
    if (!object.isObject() || !object.has(key)) return std::nullopt;
    const JsonReader value = object[key];
    if (value.type() != JsonType::string) return std::nullopt;
    return value.string();
}

}  // namespace

std::optional<std::string> updateFeedUrl(std::string_view origin) {
    if (!origin.starts_with("https://") && !origin.starts_with("http://")) return std::nullopt;
    while (origin.ends_with('/')) origin.remove_suffix(1);
    return std::string(origin) + "/dl/releases.json";
}

std::optional<std::string> feedVersion(std::string_view body) {
    if (body.size() > kUpdateFeedMaxBytes) return std::nullopt;
    try {
        const JsonDocument document = JsonDocument::parse(body, kUpdateFeedMaxBytes);
        const JsonReader root(document);
        if (root.isArray()) {
            if (root.size() == 0) return std::nullopt;
            return stringMember(root.at(0), "version");
        }
        if (root.has("latest")) {
            if (auto version = stringMember(root["latest"], "version")) return version;
        }
        return stringMember(root, "version");
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

bool isNewerVersion(std::string_view remote, std::string_view current) {
    const auto theirs = versionNumbers(remote);
    const auto ours = versionNumbers(current);
    for (std::size_t i = 0; i < std::max(theirs.size(), ours.size()); ++i) {
        const std::int64_t a = i < theirs.size() ? theirs[i] : 0;
        const std::int64_t b = i < ours.size() ? ours[i] : 0;
        if (a != b) return a > b;
    }
    return false;
}

}  // namespace tw
