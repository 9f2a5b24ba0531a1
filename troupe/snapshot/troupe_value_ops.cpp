#include "troupe/snapshot/troupe_value_ops.h"

#include <functional>

#include "troupe/event_model/troupe_value_rules.h"

namespace tw::troupe_ops {

namespace {

std::set<std::string> normalizedSet(const std::set<std::string>& set) {
    std::set<std::string> normalized;
    for (const auto& s : set) normalized.insert(troupe_rules::normalizedText(s));
    return normalized;
}

}  // namespace

bool textSetEqual(const std::set<std::string>& a, const std::set<std::string>& b) {
    if (a == b) return true;
    return normalizedSet(a) == normalizedSet(b);
}

std::size_t hashTextSet(const std::set<std::string>& set) {
    // Canonically equivalent members collapse, as they do for equality; the sum keeps
    // the hash independent of element order.
    std::set<std::string> normalized = normalizedSet(set);
    std::uint64_t sum = 0;
    for (const auto& s : normalized) sum += troupe_rules::spread(std::hash<std::string>{}(s));
    troupe_rules::TroupeHasher hasher;
    hasher.word(normalized.size());
    hasher.word(sum);
    return hasher.value();
}

}  // namespace tw::troupe_ops
