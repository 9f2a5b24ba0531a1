#pragma once
// Value helpers the snapshot needs beyond the shared troupe rules: order-free string
// sets compared and hashed by canonical equivalence, and int64 arithmetic that
// saturates at the bounds instead of wrapping.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <string>

#include "platform/date.h"
#include "platform/uuid.h"

namespace tw::troupe_ops {

bool textSetEqual(const std::set<std::string>& a, const std::set<std::string>& b);
std::size_t hashTextSet(const std::set<std::string>& set);  // agrees with textSetEqual

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
