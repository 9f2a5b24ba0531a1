#pragma once
// Equality and hashing rules every troupe record follows: text compares by Unicode
// canonical equivalence, doubles numerically (-0 equals 0, NaN equals nothing), maps
// keyed by text regardless of order. The hash agrees with each rule.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::troupe_rules {

// Byte-equal, or canonically equivalent (composed vs decomposed forms of one text).
bool textEqual(std::string_view a, std::string_view b);
bool optionalTextEqual(const std::optional<std::string>& a, const std::optional<std::string>& b);
bool textListEqual(const std::vector<std::string>& a, const std::vector<std::string>& b);
bool optionalTextListEqual(const std::optional<std::vector<std::string>>& a,
                           const std::optional<std::vector<std::string>>& b);

// The NFC form; ASCII text comes back as is, without a trip through ICU.
std::string normalizedText(std::string_view text);

// Order-free map equality whose keys match up to canonical equivalence.
template <typename V, typename Eq>
bool textMapEqual(const std::map<std::string, V>& a, const std::map<std::string, V>& b, Eq eq) {
    if (a.size() == b.size()) {
        bool same = true;
        for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
            if (ia->first != ib->first || !eq(ia->second, ib->second)) {
                same = false;
                break;
            }
        }
        if (same) return true;
    }
    std::map<std::string, const V*> na;
    std::map<std::string, const V*> nb;
    for (const auto& [k, v] : a) na.emplace(normalizedText(k), &v);
    for (const auto& [k, v] : b) nb.emplace(normalizedText(k), &v);
    if (na.size() != nb.size()) return false;
    for (auto ia = na.begin(), ib = nb.begin(); ia != na.end(); ++ia, ++ib) {
        if (ia->first != ib->first || !eq(*ia->second, *ib->second)) return false;
    }
    return true;
}

// Feeds values in order into one 64-bit state. Not stable between builds; nothing stores it.
class TroupeHasher {
public:
    void word(std::uint64_t value);
    void text(std::string_view value);  // normalized first, so equivalent text hashes alike
    void real(double value);            // -0 fed as +0
    void flag(bool value) { word(value ? 1 : 0); }
    void textList(const std::vector<std::string>& values);
    template <typename T, typename Feed>
    void optional(const std::optional<T>& value, Feed feed) {
        if (!value) {
            word(0);
            return;
        }
        word(1);
        feed(*value);
    }
    std::size_t value() const;

private:
    std::uint64_t state_ = 0x243f6a8885a308d3ULL;
};

// Spreads a hash so that sums of element hashes stay order-free but well mixed.
std::uint64_t spread(std::uint64_t h);

}  // namespace tw::troupe_rules
