#pragma once
// The cloud key-value store as a JSON file that something else writes: read at start
// and again whenever it, or the file a link at its name leads to, may have changed
// (see path_watch.h). Other files in its folder are never looked at. A read that fails
// keeps the values read before and is logged once per distinct problem. Observers hear
// only of changes that alter a value. The file is never written. Main thread only.
#include <functional>
#include <optional>

#include "platform/key_value_store.h"
#include "platform/notification_center.h"
#include "platform/qt/path_watch.h"

namespace tw {

class QtKeyValueStore final : public KeyValueStore {
   public:
    using Reader = std::function<KeyValuesFile(const std::filesystem::path&)>;

    // Creates the file's folder when it is missing, for whatever publishes the file.
    explicit QtKeyValueStore(std::filesystem::path file, Reader read = readKeyValuesFile,
                             PathWatchOptions watchOptions = {});

    std::optional<std::string> stringForKey(const std::string& key) const override;
    std::int64_t longLongForKey(const std::string& key) const override;
    void synchronize() override;
    Token observeExternalChanges(std::function<void()> observer) override;
    void removeObserver(Token token) override;

   private:
    void reload();
    void watchLinkTarget();

    std::filesystem::path file_;
    Reader read_;
    KeyValues values_;
    std::optional<std::size_t> warned_;  // the unusable file last warned about
    NotificationCenter changes_;
    PathWatch fileWatch_;
    PathWatch linkTargetWatch_;  // where a link at `file_` leads, made yet or not
};

}  // namespace tw
