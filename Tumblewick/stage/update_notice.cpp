#include "Tumblewick/stage/update_notice.h"

#include "platform/unicode.h"

namespace tw {
namespace {

constexpr std::string_view kAvailable = " available";

}  // namespace

std::string shownUpdateVersion(std::string_view feedVersion) {
    // What "v" and " available" leave of the line.
    constexpr std::size_t room = kUpdateNoticeMaxCharacters - 1 - kAvailable.size();
    std::string_view version = feedVersion;
    if (!version.empty() && (version.front() == 'v' || version.front() == 'V')) version.remove_prefix(1);
    if (version.size() <= room) return std::string(version);
    // The strip asks every frame: only the head of a long version is walked.
    constexpr std::size_t headBytes = 1024;
    const std::string kept = unicode::graphemePrefix(version.substr(0, headBytes), room);
    if (kept.size() == version.size()) return kept;
    return unicode::graphemePrefix(kept, room - 1) + "\u2026";
}

std::string updateNoticeText(std::string_view feedVersion) {
    // Appended rather than "v" + ...: GCC 12 at -O3 reports a false overlap in the latter.
    std::string text = "v";
    text += shownUpdateVersion(feedVersion);
    text += kAvailable;
    return text;
}

}  // namespace tw
