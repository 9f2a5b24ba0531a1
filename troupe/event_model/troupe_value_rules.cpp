#include "troupe/event_model/troupe_value_rules.h"

#include <bit>
#include <functional>

#include "platform/unicode.h"
#include "platform/value_hash.h"

namespace tw::troupe_rules {

bool textEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // ASCII has a single canonical form, so different bytes mean different text.
    if (isAscii(a) && isAscii(b)) return false;
    return unicode::canonicallyEqual(a, b);
}

bool optionalTextEqual(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || textEqual(*a, *b);
}

bool textListEqual(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!textEqual(a[i], b[i])) return false;
    }
    return true;
}

bool optionalTextListEqual(const std::optional<std::vector<std::string>>& a,
                           const std::optional<std::vector<std::string>>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || textListEqual(*a, *b);
}

std::string normalizedText(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    return unicode::nfc(text);
}

std::uint64_t spread(std::uint64_t x) { return spreadHash(x); }

void TroupeHasher::word(std::uint64_t value) { state_ = combineHash(state_, value); }

void TroupeHasher::text(std::string_view value) {
    if (isAscii(value)) {
        word(std::hash<std::string_view>{}(value));
    } else {
        word(std::hash<std::string>{}(unicode::nfc(value)));
    }
}

void TroupeHasher::real(double value) {
    if (value == 0) value = 0;  // folds -0 into +0
    word(std::bit_cast<std::uint64_t>(value));
}

void TroupeHasher::textList(const std::vector<std::string>& values) {
    word(values.size());
    for (const auto& v : values) text(v);
}

std::size_t TroupeHasher::value() const { return static_cast<std::size_t>(state_); }

}  // namespace tw::troupe_rules
