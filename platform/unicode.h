#pragma once
// Unicode helpers on ICU. All text is UTF-8; invalid sequences are repaired to U+FFFD
// before any other work, so no function here fails on bad bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace tw::unicode {

std::string repairUtf8(std::string_view text);
std::size_t graphemeCount(std::string_view text);
// The first `count` extended grapheme clusters (never splits a ZWJ sequence, a
// skin-tone emoji or a flag pair).
std::string graphemePrefix(std::string_view text, std::size_t count);
std::string nfc(std::string_view text);
std::string nfd(std::string_view text);
bool canonicallyEqual(std::string_view a, std::string_view b);
// Locale-free (root locale) case mapping.
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);
// Trims Unicode whitespace and newlines at both ends.
std::string trimmed(std::string_view text);

}  // namespace tw::unicode
