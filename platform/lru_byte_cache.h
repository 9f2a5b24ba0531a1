#pragma once
// A map that holds at most a budget of bytes, forgetting the least recently used
// entries first. Each entry's size is given by whoever inserts it; an entry larger than
// the whole budget is not kept. The owner may also keep time (any count that grows)
// and forget what has not been used since some moment. Not thread-safe.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

namespace tw {

template <typename Key, typename Value, typename Hash = std::hash<Key>>
class LruByteCache {
   public:
    explicit LruByteCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

   private:
    struct Entry;

   public:
    // Where an entry lives: use() reaches it again without the hash look-up. Valid until
    // the entry is evicted or erased.
    using Handle = typename std::list<Entry>::iterator;

    // The entry for `key`, now the most recently used; null when absent.
    // Recency counts in the owner's moments: an entry found again at the moment it was
    // last used keeps its place, which spares a busy frame's many look-ups the reordering.
    Value* find(const Key& key) {
        const std::optional<Handle> found = findHandle(key);
        return found ? &use(*found) : nullptr;
    }
    std::optional<Handle> findHandle(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) return std::nullopt;
        return found->second;
    }
    // The entry at `handle`, now the most recently used.
    Value& use(Handle handle) {
        if (handle->usedAt != now_) {
            order_.splice(order_.begin(), order_, handle);
            handle->usedAt = now_;
        }
        return handle->value;
    }

    // The moment that finds and inserts from now on are stamped with.
    void setNow(std::uint64_t now) { now_ = now; }
    // Forgets every entry last used before `moment`; returns the bytes freed.
    std::size_t forgetUnusedSince(std::uint64_t moment) {
        const std::size_t before = bytes_;
        while (!order_.empty() && order_.back().usedAt < moment) evictOldest();
        return before - bytes_;
    }

    // Keeps `value` under `key` (replacing any entry there) and evicts until the budget
    // holds. Returns the kept value, or null when it alone exceeds the budget.
    Value* insert(const Key& key, Value value, std::size_t bytes) {
        erase(key);
        if (bytes > budget_) return nullptr;
        while (bytes_ + bytes > budget_) evictOldest();
        order_.push_front(Entry{key, std::move(value), bytes, now_});
        index_.emplace(key, order_.begin());
        bytes_ += bytes;
        return &order_.front().value;
    }

    void erase(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) return;
        bytes_ -= found->second->bytes;
        order_.erase(found->second);
        index_.erase(found);
    }

    void clear() {
        index_.clear();
        order_.clear();
        bytes_ = 0;
    }

    std::size_t size() const { return index_.size(); }
    std::size_t bytes() const { return bytes_; }
    std::size_t budget() const { return budget_; }

   private:
    struct Entry {
        Key key;
        Value value;
        std::size_t bytes;
        std::uint64_t usedAt;
    };

    void evictOldest() {
        const Entry& oldest = order_.back();
        bytes_ -= oldest.bytes;
        index_.erase(oldest.key);
        order_.pop_back();
    }

    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::uint64_t now_ = 0;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
};

}  // namespace tw
