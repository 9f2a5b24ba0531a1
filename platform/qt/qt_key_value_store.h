#pragma once
// The cloud key-value store as a JSON file that something else writes: read at start
// and again whenever the file or its folder changes (editors and sync tools replace
// files by renaming, which ends a watch on the file itself). Observers hear only of
// changes that alter a value. The file is never written. Main thread only.
#include <QFileSystemWatcher>
#include <QObject>

#include "platform/key_value_store.h"
#include "platform/notification_center.h"

namespace tw {

class QtKeyValueStore final : public QObject, public KeyValueStore {
   public:
    // Creates the file's folder when it is missing, so that it can be watched.
    explicit QtKeyValueStore(std::filesystem::path file);

    std::optional<std::string> stringForKey(const std::string& key) const override;
    std::int64_t longLongForKey(const std::string& key) const override;
    void synchronize() override;
    Token observeExternalChanges(std::function<void()> observer) override;
    void removeObserver(Token token) override;

   private:
    void reload();
    void watchFile();

    std::filesystem::path file_;
    KeyValues values_;
    QFileSystemWatcher watcher_;
    NotificationCenter changes_;
};

}  // namespace tw
