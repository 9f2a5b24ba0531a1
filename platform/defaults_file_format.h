#pragma once
// The defaults file's typed JSON, with room for entries this build cannot read:
// they are carried over as their exact JSON text, so a rewrite neither drops nor
// alters them (a number past 64 bits stays as written). A key removed by one
// store is written as a "removed" entry for a while, so that other stores on the same
// file drop it too, while a key that merely went missing from the file is kept.
#include <map>
#include <string>

#include "platform/defaults.h"
#include "platform/json.h"

namespace tw::defaults_file {

struct Contents {
    std::map<std::string, DefaultsValue> values;
    std::map<std::string, std::string> unreadable;  // raw entries' JSON text, by key
    std::map<std::string, Date> removed;            // when each key was removed
    // Entries whose key no string can hold, kept whole: their text by the key's text
    // as written, quotes included.
    std::map<std::string, std::string> entriesWithUnreadableKeys;
};

// A settings file holds a few hundred keys; one this large was not written by us and
// would take the app's memory to parse.
constexpr std::uint64_t kMaxFileBytes = kJsonSizeLimit;

// How long a "removed" entry stays in the file: far longer than two instances of the
// app overlap, short enough that the file does not collect every key ever removed.
constexpr double kRemovedEntryLifetimeSeconds = 30 * 86400.0;

// Throws std::runtime_error (JsonDecodeError included) when the text is not a defaults
// file: not one JSON object, cut short or too large. An entry that cannot be read,
// even as JSON (nested too deep, say), is kept as written and spoils no other.
Contents decode(const std::string& text, bool logSkipped = true);
// Throws JsonEncodeError for a non-finite double or date.
std::string encode(const Contents& contents);

std::string base64Encode(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace tw::defaults_file
