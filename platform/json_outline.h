#pragma once
// A JSON object's members as they stand in its text, found by JSON's grammar alone:
// numbers are not converted and escapes not decoded, so a value that no parser can
// hold (a number past a double, a lone surrogate) still has its place in the text and
// a reader can keep it as written.
#include <optional>
#include <string_view>
#include <vector>

namespace tw {

struct JsonMemberText {
    std::string_view key;    // the key's string token, quotes included
    std::string_view value;  // the value as written
};

// The members of `text` in document order when it is one JSON object (after an
// optional byte order mark); nullopt when it is not, or is cut short. Values may nest
// to any depth: the scan takes time linear in the text and never recurses.
std::optional<std::vector<JsonMemberText>> jsonObjectMembers(std::string_view text);

}  // namespace tw
