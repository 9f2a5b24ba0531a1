#include "dialogue/banned_word_lint.h"

#include "platform/unicode.h"

namespace tw {

const std::set<std::string>& BannedWordLint::bannedSubstrings() {
    static const std::set<std::string> entries{"fail", "failure", "broken", "stupid", "hate", "kill"};
    return entries;
}

bool BannedWordLint::violates(std::string_view text) {
    const std::string lower = unicode::lowercased(text);
    for (const std::string& entry : bannedSubstrings()) {
        if (lower.find(entry) != std::string::npos) return true;
    }
    return false;
}

std::string cutToDialogueLength(std::string_view text) {
    constexpr std::size_t kLimit = 140;
    // Cheap exit: fewer bytes than the limit means fewer clusters too.
    if (text.size() <= kLimit) return std::string(text);
    if (unicode::graphemeCount(text) <= kLimit) return std::string(text);
    return unicode::graphemePrefix(text, kLimit - 1) + "…";
}

}  // namespace tw
