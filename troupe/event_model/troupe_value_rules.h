#pragma once
// Equality and hashing rules every troupe record follows: text compares by Unicode
// canonical equivalence, doubles numerically (-0 equals 0, NaN equals nothing), maps
// keyed by text regardless of order. The hash agrees with each rule.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::troupe_rules {

// ASCII text is its own canonical form, so the rules below skip ICU for it. Tested
// eight bytes at a time: it runs on every key comparison of the snapshot's text maps.
inline bool isAscii(std::string_view text) noexcept {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        high |= word;
    }
    for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]);
    return (high & 0x8080808080808080ULL) == 0;
}

// Byte-equal, or canonically equivalent (composed vs decomposed forms of one text).
bool textEqual(std::string_view a, std::string_view b);
bool optionalTextEqual(const std::optional<std::string>& a, const std::optional<std::string>& b);
bool textListEqual(const std::vector<std::string>& a, const std::vector<std::string>& b);
bool optionalTextListEqual(const std::optional<std::vector<std::string>>& a,
                           const std::optional<std::vector<std::string>>& b);

// The NFC form; ASCII text comes back as is, without a trip through ICU.
std::string normalizedText(std::string_view text);

// Order-free map equality whose keys match up to canonical equivalence. Every entry
// must find its own partner: a map may hold two spellings of one key, and those
// must not collapse into one, or equal maps could hash differently (the hashes sum
// over every entry).
template <typename V, typename Eq>
bool textMapEqual(const std::map<std::string, V>& a, const std::map<std::string, V>& b, Eq eq) {
    if (a.size() != b.size()) return false;
    bool same = true;
    for (auto ia = a.begin(), ib = b.begin(); same && ia != a.end(); ++ia, ++ib) {
        same = ia->first == ib->first && eq(ia->second, ib->second);
    }
    if (same) return true;
    std::map<std::string, std::vector<const V*>> groups;
    for (const auto& [k, v] : a) groups[normalizedText(k)].push_back(&v);
    for (const auto& entry : b) {
        auto group = groups.find(normalizedText(entry.first));
        if (group == groups.end()) return false;
        auto& candidates = group->second;
        auto match = std::find_if(candidates.begin(), candidates.end(),
                                  [&](const V* c) { return eq(*c, entry.second); });
        if (match == candidates.end()) return false;
        candidates.erase(match);
    }
    return true;  // equal sizes, so every entry of `a` was matched
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
