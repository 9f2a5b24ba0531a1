#pragma once
// The strip's line announcing a newer version, "v<version> available".
#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// The line holds at most 32 characters, so no feed can make the strip measure and draw
// a long text every frame.
inline constexpr std::size_t kUpdateNoticeMaxCharacters = 32;

// The version as the line takes it: without a "v" of its own (the line adds one), and
// cut with an ellipsis where the line would grow longer.
std::string shownUpdateVersion(std::string_view feedVersion);

// The whole line for the version the feed named.
std::string updateNoticeText(std::string_view feedVersion);

}  // namespace tw
