#include "troupe/store/troupe_event_index.h"

#include <bit>

#include "troupe/snapshot/troupe_uuid_set.h"

namespace tw {

namespace {

// Kept under 3/4 full, so probes stay short and a free slot always exists.
std::size_t capacityFor(std::size_t ids) { return std::bit_ceil(ids + ids / 2 + 16); }

}  // namespace

TroupeEventIndex::TroupeEventIndex(std::size_t expected) {
    const std::size_t capacity = capacityFor(expected);
    slots_.resize(capacity);
    mask_ = capacity - 1;
}

void TroupeEventIndex::reserve(std::size_t expected) {
    if (const std::size_t capacity = capacityFor(expected); capacity > slots_.size()) rehash(capacity);
}

std::size_t TroupeEventIndex::slotFor(const Uuid& id) const {
    std::size_t slot = TroupeUuidHash{}(id)&mask_;
    while (slots_[slot].used() && slots_[slot].id != id) slot = (slot + 1) & mask_;
    return slot;
}

void TroupeEventIndex::prefetch(const Uuid& id) const {
    __builtin_prefetch(&slots_[TroupeUuidHash{}(id)&mask_]);
}

bool TroupeEventIndex::insert(const Uuid& id, std::uint64_t offset) {
    if ((size_ + 1) * 4 > slots_.size() * 3) grow();
    Slot& slot = slots_[slotFor(id)];
    if (slot.used()) return false;
    slot = Slot{id, offset + 1};
    ++size_;
    return true;
}

std::optional<std::uint64_t> TroupeEventIndex::find(const Uuid& id) const {
    const Slot& slot = slots_[slotFor(id)];
    if (!slot.used()) return std::nullopt;
    return slot.offsetPlusOne - 1;
}

void TroupeEventIndex::grow() { rehash(slots_.size() * 2); }

void TroupeEventIndex::rehash(std::size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.used()) slots_[slotFor(slot.id)] = slot;
    }
}

}  // namespace tw
