#pragma once
// Defaults kept only in memory; flush() counts calls so tests can check durability points.
#include <map>
#include <mutex>

#include "platform/defaults.h"

namespace tw::testing {

class InMemoryDefaults final : public Defaults {
   public:
    std::optional<DefaultsValue> object(const std::string& key) const override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    void set(const std::string& key, DefaultsValue value) override {
        std::lock_guard lock(mutex_);
        values_[key] = std::move(value);
    }
    void remove(const std::string& key) override {
        std::lock_guard lock(mutex_);
        values_.erase(key);
    }
    // Every value here was set as a DefaultsValue, so none is unreadable.
    bool hasUnreadableValue(const std::string&) const override { return false; }
    bool moveUnreadableValue(const std::string&, const std::string&) override { return false; }
    bool flush() override {
        std::lock_guard lock(mutex_);
        ++flushCount_;
        flushed_ = values_;
        return true;
    }
    // What a restart would see: the values as of the last flush().
    std::map<std::string, DefaultsValue> flushedValues() const {
        std::lock_guard lock(mutex_);
        return flushed_;
    }
    int flushCount() const {
        std::lock_guard lock(mutex_);
        return flushCount_;
    }

   private:
    mutable std::mutex mutex_;
    std::map<std::string, DefaultsValue> values_;
    std::map<std::string, DefaultsValue> flushed_;
    int flushCount_ = 0;
};

}  // namespace tw::testing
