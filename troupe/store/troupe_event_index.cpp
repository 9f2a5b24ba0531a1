#include "troupe/store/troupe_event_index.h"

#include <bit>

#include "troupe/snapshot/troupe_uuid_set.h"

namespace tw {

TroupeEventIndex::TroupeEventIndex(std::size_t expected) {
    const std::size_t capacity = std::bit_ceil(expected + expected / 2 + 16);
    slots_.resize(capacity);
    mask_ = capacity - 1;
}

std::size_t TroupeEventIndex::slotFor(const Uuid& id) const {
    std::size_t slot = TroupeUuidHash{}(id)&mask_;
    while (slots_[slot].used && slots_[slot].id != id) slot = (slot + 1) & mask_;
    return slot;
}

bool TroupeEventIndex::insert(const Uuid& id, std::uint64_t offset) {
    // Kept under 3/4 full, so probes stay short and a free slot always exists.
    if ((size_ + 1) * 4 > slots_.size() * 3) grow();
    Slot& slot = slots_[slotFor(id)];
    if (slot.used) return false;
    slot = Slot{id, offset, true};
    ++size_;
    return true;
}

std::optional<std::uint64_t> TroupeEventIndex::find(const Uuid& id) const {
    const Slot& slot = slots_[slotFor(id)];
    if (!slot.used) return std::nullopt;
    return slot.offset;
}

void TroupeEventIndex::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.used) slots_[slotFor(slot.id)] = slot;
    }
}

}  // namespace tw
