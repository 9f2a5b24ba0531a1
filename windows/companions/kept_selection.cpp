#include "windows/companions/kept_selection.h"

#include <algorithm>

namespace tw {
namespace {

// The same place in an entry's new text: the text the two share at either end keeps
// its characters, and a place in the part between goes to that part's end.
std::size_t placeInChangedText(const std::u16string& before, const std::u16string& after,
                               std::size_t offset) {
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (prefix + suffix < shorter &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (offset <= prefix) return offset;
    if (offset >= before.size() - suffix) return offset - before.size() + after.size();
    return after.size() - suffix;
}

}  // namespace

std::optional<std::size_t> entriesAddedAbove(const ShownList& before, const ShownList& after) {
    for (std::size_t added = 0; added < after.size(); ++added) {
        const std::size_t overlap = std::min(before.size(), after.size() - added);
        bool same = overlap > 0;
        for (std::size_t i = 0; same && i < overlap; ++i) same = before[i].key == after[i + added].key;
        if (same) return added;
    }
    return std::nullopt;
}

std::optional<std::size_t> keptOffset(const ShownList& before, const ShownList& after, std::size_t offset) {
    const std::optional<std::size_t> added = entriesAddedAbove(before, after);
    if (!added) return std::nullopt;
    // The entry holding the offset; the end of the text belongs to the last one.
    std::size_t entry = 0;
    std::size_t start = 0;
    while (entry + 1 < before.size() && offset >= start + before[entry].text.size())
        start += before[entry++].text.size();
    if (offset - start > before[entry].text.size()) return std::nullopt;  // past the text's end
    const std::size_t now = entry + *added;
    if (now >= after.size()) return std::nullopt;
    std::size_t newStart = 0;
    for (std::size_t i = 0; i < now; ++i) newStart += after[i].text.size();
    return newStart + placeInChangedText(before[entry].text, after[now].text, offset - start);
}

std::optional<TextRange> keptRange(const ShownList& before, const ShownList& after, TextRange range) {
    const std::optional<std::size_t> anchor = keptOffset(before, after, range.anchor);
    const std::optional<std::size_t> position = keptOffset(before, after, range.position);
    if (!anchor || !position) return std::nullopt;
    return TextRange{*anchor, *position};
}

}  // namespace tw
