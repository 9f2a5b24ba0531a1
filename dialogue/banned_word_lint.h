#pragma once
// The two rules every spoken line obeys: at most 140 user-perceived characters, and
// none of a handful of words that break the circus's gentle voice.
#include <set>
#include <string>
#include <string_view>

namespace tw {

struct BannedWordLint {
    BannedWordLint() = delete;

    static const std::set<std::string>& bannedSubstrings();
    // Plain substrings of the locale-free lower-cased text: "skill" holds "kill".
    static bool violates(std::string_view text);
};

// A text of 141 or more grapheme clusters becomes its first 139 plus "…"; shorter
// texts come back unchanged.
std::string cutToDialogueLength(std::string_view text);

}  // namespace tw
