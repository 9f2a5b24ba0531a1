#include "platform/qt/qt_key_value_store.h"

#include "platform/paths.h"

namespace tw {
namespace {

constexpr const char* changedName = "changed";

}  // namespace

QtKeyValueStore::QtKeyValueStore(std::filesystem::path file) : file_(std::move(file)) {
    const std::filesystem::path folder = file_.parent_path();
    if (paths::ensureDirectory(folder)) watcher_.addPath(QString::fromStdString(folder.string()));
    watchFile();
    values_ = loadKeyValuesFile(file_);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { reload(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { reload(); });
}

std::optional<std::string> QtKeyValueStore::stringForKey(const std::string& key) const {
    return values_.string(key);
}

std::int64_t QtKeyValueStore::longLongForKey(const std::string& key) const { return values_.longLong(key); }

void QtKeyValueStore::synchronize() { reload(); }

KeyValueStore::Token QtKeyValueStore::observeExternalChanges(std::function<void()> observer) {
    return changes_.addObserver(changedName,
                                [observer = std::move(observer)](const Notification&) { observer(); });
}

void QtKeyValueStore::removeObserver(Token token) { changes_.removeObserver(token); }

void QtKeyValueStore::reload() {
    watchFile();
    KeyValues fresh = loadKeyValuesFile(file_);
    if (fresh == values_) return;
    values_ = std::move(fresh);
    changes_.post(changedName);
}

void QtKeyValueStore::watchFile() {
    const QString path = QString::fromStdString(file_.string());
    if (!watcher_.files().contains(path) && std::filesystem::exists(file_)) watcher_.addPath(path);
}

}  // namespace tw
