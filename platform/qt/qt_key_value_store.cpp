#include "platform/qt/qt_key_value_store.h"

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/paths.h"

namespace tw {
namespace {

constexpr const char* changedName = "changed";

}  // namespace

QtKeyValueStore::QtKeyValueStore(std::filesystem::path file, Reader read, PathWatchOptions watchOptions)
    : file_(std::move(file)),
      read_(std::move(read)),
      fileWatch_([this] { reload(); }, watchOptions),
      linkTargetWatch_([this] { reload(); }, watchOptions) {
    paths::ensureDirectory(file_.parent_path());
    fileWatch_.watch(file_);
    reload();
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
    watchLinkTarget();
    KeyValuesFile read = read_(file_);
    if (read.status == KeyValuesFile::Status::unusable) {
        if (warned_ != read.fingerprint) {
            warned_ = read.fingerprint;
            log::warning("The key-value file " + file_.string() + " " + read.problem +
                         "; keeping the values last read and leaving it as it is.");
        }
        return;
    }
    warned_.reset();
    if (read.values == values_) return;
    values_ = std::move(read.values);
    changes_.post(changedName);
}

void QtKeyValueStore::watchLinkTarget() {
    // Not a link, a loop or a link to a folder or device: nothing but the file's own name.
    std::string ignored;
    const auto target = atomic_file::linkTarget(file_, ignored);
    linkTargetWatch_.watch(target && *target != file_ ? *target : std::filesystem::path());
}

}  // namespace tw
