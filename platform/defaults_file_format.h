#pragma once
// The defaults file's typed JSON, with room for entries this build cannot read:
// they are carried over verbatim so a rewrite never drops them.
#include <map>
#include <string>

#include "platform/defaults.h"
#include "platform/json.h"

namespace tw::defaults_file {

struct Contents {
    std::map<std::string, DefaultsValue> values;
    std::map<std::string, OrderedJson> unreadable;  // raw entries, by key
};

// Throws std::runtime_error (JsonDecodeError included) when the text is not a defaults file.
Contents decode(const std::string& text, bool logSkipped = true);
// Throws JsonEncodeError for a non-finite double or date.
std::string encode(const Contents& contents);

std::string base64Encode(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace tw::defaults_file
