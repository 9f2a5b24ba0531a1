#pragma once
// The two orders of memories: recall (per-flea queries) and keep (pruning).
#include <cmath>
#include <limits>

#include "narrative/interpretation_records.h"

namespace tw {

// A score as a sort key: NaN ranks below every number, so a stray NaN cannot break
// the strict weak order the sorts rely on.
inline double rankedScore(double score) {
    return std::isnan(score) ? -std::numeric_limits<double>::infinity() : score;
}

// Higher tier, then higher importance, then newer first.
inline bool recallsBefore(const FleaMemory& a, const FleaMemory& b) {
    if (a.tier != b.tier) return a.tier > b.tier;
    const double ia = rankedScore(a.importance);
    const double ib = rankedScore(b.importance);
    if (ia != ib) return ia > ib;
    return rankedScore(a.createdAt.seconds) > rankedScore(b.createdAt.seconds);
}

// Pinned memories first, then the recall order.
inline bool keepsBefore(const FleaMemory& a, const FleaMemory& b) {
    if (a.pinned != b.pinned) return a.pinned;
    return recallsBefore(a, b);
}

}  // namespace tw
