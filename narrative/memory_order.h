#pragma once
// The two orders of memories: recall (per-flea queries) and keep (pruning).
#include "narrative/interpretation_records.h"

namespace tw {

// Higher tier, then higher importance, then newer first.
inline bool recallsBefore(const FleaMemory& a, const FleaMemory& b) {
    if (a.tier != b.tier) return a.tier > b.tier;
    if (a.importance != b.importance) return a.importance > b.importance;
    return a.createdAt > b.createdAt;
}

// Pinned memories first, then the recall order.
inline bool keepsBefore(const FleaMemory& a, const FleaMemory& b) {
    if (a.pinned != b.pinned) return a.pinned;
    return recallsBefore(a, b);
}

}  // namespace tw
