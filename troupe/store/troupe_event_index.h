#pragma once
// Every event id the log holds, with the byte offset of its line. A long log holds a
// million ids: an open-addressed table of the ids themselves keeps that at about
// 40 bytes an id and one cache line a lookup, and grows as the log does.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/uuid.h"

namespace tw {

class TroupeEventIndex {
   public:
    explicit TroupeEventIndex(std::size_t expected = 0);

    // False (and the first offset kept) when the id is already present.
    bool insert(const Uuid& id, std::uint64_t offset);
    std::optional<std::uint64_t> find(const Uuid& id) const;
    // Hints the slot an id will probe first, so a loop can ask a few ids ahead.
    void prefetch(const Uuid& id) const;
    // Makes room for `expected` ids at once, sparing the copies of growing step by step.
    void reserve(std::size_t expected);
    bool contains(const Uuid& id) const { return find(id).has_value(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return slots_.size(); }

   private:
    struct Slot {
        Uuid id;
        std::uint64_t offsetPlusOne = 0;  // 0: the slot is free
        bool used() const { return offsetPlusOne != 0; }
    };
    std::size_t slotFor(const Uuid& id) const;
    void grow();
    void rehash(std::size_t capacity);

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

}  // namespace tw
