#pragma once
// Value helpers the snapshot needs beyond the shared troupe rules: text-keyed sets and
// dictionaries whose keys are canonical-equivalence classes, their equality and hash,
// and int64 arithmetic that saturates at the bounds instead of wrapping.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/date.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_value_rules.h"

namespace tw {

// Orders text by its NFC form, so canonically equivalent spellings ("caf\u00E9" and
// "cafe\u0301") are one key of a set or map; the spelling inserted first is the one
// kept. Invalid UTF-8 is repaired first, as for equality. ASCII is its own NFC form,
// so two ASCII texts compare by their bytes without a trip through ICU, and the order
// stays one consistent strict weak order.
struct CanonicalTextLess {
    using is_transparent = void;

    bool operator()(std::string_view a, std::string_view b) const {
        if (troupe_rules::isAscii(a) && troupe_rules::isAscii(b)) return a < b;
        return normalizedLess(a, b);
    }

   private:
    static bool normalizedLess(std::string_view a, std::string_view b);
};

using TroupeTextSet = std::set<std::string, CanonicalTextLess>;
template <class V>
using TroupeTextMap = std::map<std::string, V, CanonicalTextLess>;

}  // namespace tw

namespace tw::troupe_ops {

// Both sides hold one key per equivalence class in the same order, so equal
// containers match entry by entry: two keys that neither orders before the other are
// canonically equivalent, which is troupe_rules::textEqual. (troupe_rules::textMapEqual
// serves plain maps, which may hold several spellings of one key and need a matching.)
bool textSetEqual(const TroupeTextSet& a, const TroupeTextSet& b);
std::size_t hashTextSet(const TroupeTextSet& set);  // agrees with textSetEqual

template <typename V, typename Eq>
bool textMapEqual(const TroupeTextMap<V>& a, const TroupeTextMap<V>& b, Eq eq) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const auto& x, const auto& y) {
        return troupe_rules::textEqual(x.first, y.first) && eq(x.second, y.second);
    });
}

// A strict weak order on instants: numeric, with NaN after every number. Sorting with
// a bare `<` would be undefined behaviour once a NaN time slipped into a list.
inline bool timeBefore(Date a, Date b) {
    if (a.seconds != a.seconds) return false;
    if (b.seconds != b.seconds) return true;
    return a.seconds < b.seconds;
}

// The fold's orders: earlier time first, equal times by the lower id. The byte order of
// two ids is the order of their upper-case texts.
inline bool timeThenIdBefore(Date aTime, const Uuid& aId, Date bTime, const Uuid& bId) {
    if (timeBefore(aTime, bTime)) return true;
    if (timeBefore(bTime, aTime)) return false;
    return aId < bId;
}

inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    if (__builtin_add_overflow(a, b, &result)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return result;
}

inline std::int64_t saturatingSub(std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    if (__builtin_sub_overflow(a, b, &result)) {
        return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return result;
}

}  // namespace tw::troupe_ops
