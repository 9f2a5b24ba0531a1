#pragma once
// A key-value store kept in memory; the test changes it "from outside" and observers
// hear of it as they would from the real store.
#include "platform/key_value_store.h"
#include "platform/notification_center.h"

namespace tw::testing {

class InMemoryKeyValueStore final : public KeyValueStore {
   public:
    KeyValues values;
    int synchronizeCount = 0;

    std::optional<std::string> stringForKey(const std::string& key) const override {
        return values.string(key);
    }
    std::int64_t longLongForKey(const std::string& key) const override { return values.longLong(key); }
    void synchronize() override { ++synchronizeCount; }
    Token observeExternalChanges(std::function<void()> observer) override {
        return changes_.addObserver("changed",
                                    [observer = std::move(observer)](const Notification&) { observer(); });
    }
    void removeObserver(Token token) override { changes_.removeObserver(token); }

    void changeExternally(KeyValues next) {
        values = std::move(next);
        changes_.post("changed");
    }

   private:
    NotificationCenter changes_;
};

}  // namespace tw::testing
