#pragma once
// Hashing and a flat set for event ids. Folding a long log checks every id once; an
// open-addressed table of the ids themselves costs one cache line per check, where a
// node-based set costs an allocation and several scattered reads.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/uuid.h"

namespace tw {

struct TroupeUuidHash {
    std::size_t operator()(const Uuid& id) const noexcept {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::memcpy(&high, id.bytes.data(), 8);
        std::memcpy(&low, id.bytes.data() + 8, 8);
        std::uint64_t x = high ^ (low * 0x9e3779b97f4a7c15ULL);
        x ^= x >> 31;
        x *= 0xbf58476d1ce4e5b9ULL;
        x ^= x >> 29;
        return static_cast<std::size_t>(x);
    }
};

// Sized for `expected` ids up front; grows (keeping under 3/4 full) past them.
class TroupeUuidSet {
   public:
    explicit TroupeUuidSet(std::size_t expected = 0) { allocate(std::bit_ceil(expected * 2 + 16)); }

    // Hints the slot an id will probe first, so a loop can ask a few ids ahead.
    void prefetch(const Uuid& id) const {
        std::size_t slot = TroupeUuidHash{}(id)&mask_;
        __builtin_prefetch(&slots_[slot]);
        __builtin_prefetch(&used_[slot]);
    }

    // True when the id was not in the set yet.
    bool insert(const Uuid& id) {
        if ((size_ + 1) * 4 > slots_.size() * 3) grow();
        std::size_t slot = TroupeUuidHash{}(id)&mask_;
        while (used_[slot]) {
            if (slots_[slot] == id) return false;
            slot = (slot + 1) & mask_;
        }
        used_[slot] = 1;
        slots_[slot] = id;
        ++size_;
        return true;
    }

    std::size_t size() const { return size_; }

   private:
    void allocate(std::size_t capacity) {
        slots_.assign(capacity, Uuid{});
        used_.assign(capacity, 0);
        mask_ = capacity - 1;
    }
    void grow() {
        const std::vector<Uuid> slots = std::move(slots_);
        const std::vector<std::uint8_t> used = std::move(used_);
        allocate(slots.size() * 2);
        size_ = 0;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (used[i]) insert(slots[i]);
        }
    }

    std::vector<Uuid> slots_;
    std::vector<std::uint8_t> used_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

}  // namespace tw
