#pragma once
// The release feed: where it is, which version it names, and whether that version is
// newer than the running one.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Feed bodies larger than this are not release feeds; they are refused unread. A release
// list with its notes runs to hundreds of kilobytes, so the cap leaves room for years of it.
inline constexpr std::size_t kUpdateFeedMaxBytes = 8 * 1024 * 1024;

// `origin` + "/dl/releases.json"; none when the origin is empty or not http(s).
std::optional<std::string> updateFeedUrl(std::string_view origin);

// The version a feed body names: {"latest": {"version": ...}}, else a top-level
// {"version": ...}, or the first element of an array of objects. Only strings count.
std::optional<std::string> feedVersion(std::string_view body);

// Compares dot-separated whole numbers position by position, a missing one counting as
// 0; components that are not whole numbers are dropped. A leading "v" or "V" is not
// part of the number, so "v1.3.0" is older than 1.4.0.
bool isNewerVersion(std::string_view remote, std::string_view current);

}  // namespace tw
