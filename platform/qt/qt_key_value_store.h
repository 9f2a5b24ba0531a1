#pragma once
// The cloud key-value store as a JSON file that something else writes: read at start
// and again whenever an event in its folder names the file (editors and sync tools
// replace files by renaming, which ends a watch on the file itself), or the file a link
// there leads to changes. Other files in the folder are never looked at. A read that
// fails keeps the values read before and is logged once per distinct problem. Observers
// hear only of changes that alter a value. The file is never written. Main thread only.
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <optional>

#include "platform/key_value_store.h"
#include "platform/notification_center.h"

namespace tw {

class QtKeyValueStore final : public QObject, public KeyValueStore {
   public:
    using Reader = std::function<KeyValuesFile(const std::filesystem::path&)>;

    // Creates the file's folder when it is missing, so that it can be watched.
    explicit QtKeyValueStore(std::filesystem::path file, Reader read = readKeyValuesFile);
    ~QtKeyValueStore() override;

    std::optional<std::string> stringForKey(const std::string& key) const override;
    std::int64_t longLongForKey(const std::string& key) const override;
    void synchronize() override;
    Token observeExternalChanges(std::function<void()> observer) override;
    void removeObserver(Token token) override;

   private:
    void reload();
    void readEvents();
    void watchLinkTarget();

    std::filesystem::path file_;
    Reader read_;
    KeyValues values_;
    std::optional<std::size_t> warned_;  // the unusable file last warned about
    int inotify_ = -1;
    int folderWatch_ = -1;
    int linkWatch_ = -1;  // the file a link at `file_` leads to
    std::unique_ptr<QSocketNotifier> notifier_;
    NotificationCenter changes_;
};

}  // namespace tw
