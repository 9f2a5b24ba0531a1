#pragma once
// Where a reader's place in a list shown newest first goes when the list is shown again
// with new entries on top, the oldest gone from its foot and parts of some entries'
// texts changed (an age that grew): to the same characters of the same entry, so that
// what the reader selected or looks at stays selected, and in view, across a refresh.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct ShownEntry {
    std::string key{};      // tells the entry from the others while its text changes
    std::u16string text{};  // as shown, in the units of the view's text positions
};
// The entries one after another, newest first, make the text shown.
using ShownList = std::vector<ShownEntry>;

struct TextRange {
    std::size_t anchor = 0;
    std::size_t position = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// How many entries came above the old ones: the old entries must follow them in order,
// as far as the new list goes. None when the new list is not so.
std::optional<std::size_t> entriesAddedAbove(const ShownList& before, const ShownList& after);

// `offset` into the old text, moved to the same character of the same entry in the new
// text; none when that entry is shown no more. A place inside the changed part of an
// entry's text goes to that part's end.
std::optional<std::size_t> keptOffset(const ShownList& before, const ShownList& after, std::size_t offset);
// Both ends so; none when either end's entry is gone.
std::optional<TextRange> keptRange(const ShownList& before, const ShownList& after, TextRange range);

}  // namespace tw
