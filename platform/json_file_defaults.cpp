// A defaults suite kept in memory and saved as one JSON file by a writer thread.
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <set>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "platform/defaults_file_format.h"
#include "platform/log.h"
#include "platform/paths.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;
using atomic_file::ReadStatus;

using defaults_file::kMaxFileBytes;

bool isFinite(const DefaultsValue& value) {
    if (const auto* d = std::get_if<double>(&value)) return std::isfinite(*d);
    if (const auto* date = std::get_if<Date>(&value)) return std::isfinite(date->seconds);
    return true;
}

Date wallClockNow() {
    const auto unix = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    return Date::fromUnix(unix.count());
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

}  // namespace

struct JsonFileDefaults::Writer {
    fs::path file;
    double coalesceSeconds = 1.0;

    mutable std::mutex mutex;  // guards the fields up to `thread`
    std::condition_variable changed;
    std::map<std::string, DefaultsValue> values;
    std::map<std::string, std::string> unreadable;  // entries kept as their JSON text for later builds
    std::map<std::string, std::string> entriesWithUnreadableKeys;  // no key of ours: kept whole
    std::set<std::string> dirty;                                   // set or removed since the last write
    bool readOnly = false;
    bool pending = false;
    bool stopping = false;
    SteadyClock::time_point deadline;

    std::mutex io;          // one write at a time: the writer thread or flush(); guards the fields below
    bool fileSeen = false;  // the file was read or written by this suite
    bool failureReported = false;  // a failed save is said once, until a save succeeds
    std::thread thread;

    void load();
    // Sets (or, given nullopt, removes) one key and schedules a coalesced write.
    void change(const std::string& key, std::optional<DefaultsValue> value);
    bool moveUnreadable(const std::string& from, const std::string& to);
    void scheduleWriteLocked();  // under `mutex`
    bool write();
    // The file's contents to build the next save on; nullopt when it must not be saved.
    // `parsed` tells whether the contents came from the file as it was.
    std::optional<defaults_file::Contents> readForSave(std::size_t heldKeys, bool& parsed);
    bool setAside(const std::string& what, const std::string& outcome);
    void reportFailure(const std::string& message);
    void run();
};

// Moves an unusable file out of the way (through a link, the file it leads to, so the
// link keeps working); false when even that failed.
bool JsonFileDefaults::Writer::setAside(const std::string& what, const std::string& outcome) {
    std::string error;
    const auto where = atomic_file::linkTarget(file, error);
    if (!where) {
        log::warning("Defaults: " + file.string() + " " + what + " and could not be moved aside: " + error);
        return false;
    }
    if (auto target = atomic_file::moveAside(*where, error)) {
        log::warning("Defaults: " + file.string() + " " + what + "; moved it to " + target->string() +
                     " and " + outcome);
        return true;
    }
    log::warning("Defaults: " + file.string() + " " + what + " and could not be moved aside: " + error);
    return false;
}

void JsonFileDefaults::Writer::reportFailure(const std::string& message) {
    if (failureReported) return;
    failureReported = true;
    log::warning(message + "; changes are kept in memory and saved again with the next change");
}

void JsonFileDefaults::Writer::load() {
    // Under the writers' lock: a temp file seen now belongs to no write in progress.
    atomic_file::Lock folderLock(folderOf(file), false);
    if (folderLock.held()) {
        atomic_file::removeStaleTemps(file);
        std::string ignored;
        // Saves through a link write their temp files beside the file it leads to.
        if (auto target = atomic_file::linkTarget(file, ignored); target && *target != file)
            atomic_file::removeStaleTemps(*target);
    }

    auto result = atomic_file::read(file, kMaxFileBytes);
    switch (result.status) {
        case ReadStatus::missing:
            return;
        case ReadStatus::notAFile:
        case ReadStatus::failed:
            readOnly = true;
            log::warning("Defaults: " + file.string() + " " + atomic_file::describe(result, kMaxFileBytes) +
                         "; keeping this suite read-only so nothing is overwritten");
            return;
        case ReadStatus::tooLarge:
            if (!setAside(atomic_file::describe(result, kMaxFileBytes), "started empty")) readOnly = true;
            return;
        case ReadStatus::ok:
            break;
    }
    try {
        auto contents = defaults_file::decode(result.text);
        values = std::move(contents.values);
        unreadable = std::move(contents.unreadable);
        entriesWithUnreadableKeys = std::move(contents.entriesWithUnreadableKeys);
        fileSeen = true;
    } catch (const std::exception&) {
        if (!setAside("could not be parsed", "started empty")) readOnly = true;
    }
}

void JsonFileDefaults::Writer::change(const std::string& key, std::optional<DefaultsValue> value) {
    std::lock_guard lock(mutex);
    if (value) {
        values[key] = std::move(*value);
    } else {
        values.erase(key);
    }
    unreadable.erase(key);
    dirty.insert(key);
    scheduleWriteLocked();
}

bool JsonFileDefaults::Writer::moveUnreadable(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex);
    auto found = unreadable.find(from);
    if (found == unreadable.end()) return false;
    if (from == to) return true;
    std::string raw = std::move(found->second);
    unreadable.erase(found);
    values.erase(to);
    unreadable[to] = std::move(raw);
    dirty.insert(from);
    dirty.insert(to);
    scheduleWriteLocked();
    return true;
}

void JsonFileDefaults::Writer::scheduleWriteLocked() {
    if (pending || readOnly) return;
    pending = true;
    deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                        std::chrono::duration<double>(coalesceSeconds));
    changed.notify_all();
}

std::optional<defaults_file::Contents> JsonFileDefaults::Writer::readForSave(std::size_t heldKeys,
                                                                             bool& parsed) {
    parsed = false;
    const std::string keeping = "saving the " + std::to_string(heldKeys) + " keys this suite holds";
    // Through a link, the file it leads to: when that went (or was set aside), it is
    // written again there, as a removed file is.
    std::string error;
    const auto target = atomic_file::linkTarget(file, error);
    if (!target) {
        reportFailure("Defaults: cannot save " + file.string() + ": " + error);
        return std::nullopt;
    }
    auto result = atomic_file::read(*target, kMaxFileBytes);
    switch (result.status) {
        case ReadStatus::missing:
            if (fileSeen) log::info("Defaults: " + file.string() + " was removed; " + keeping);
            return defaults_file::Contents{};
        case ReadStatus::notAFile:
        case ReadStatus::failed:
            reportFailure("Defaults: cannot save " + file.string() + ": it " +
                          atomic_file::describe(result, kMaxFileBytes));
            return std::nullopt;
        case ReadStatus::tooLarge:
            if (!setAside(atomic_file::describe(result, kMaxFileBytes), keeping)) return std::nullopt;
            return defaults_file::Contents{};
        case ReadStatus::ok:
            break;
    }
    try {
        auto contents = defaults_file::decode(result.text, false);
        parsed = true;
        return contents;
    } catch (const std::exception&) {
        if (!setAside("could not be parsed", keeping)) return std::nullopt;
        return defaults_file::Contents{};
    }
}

bool JsonFileDefaults::Writer::write() {
    std::lock_guard ioLock(io);
    // Per key changed: the value set, the unreadable entry moved there, or (neither) a removal.
    struct Change {
        std::optional<DefaultsValue> value;
        std::optional<std::string> raw;
    };
    std::map<std::string, Change> changes;
    std::map<std::string, DefaultsValue> held;
    std::map<std::string, std::string> heldUnreadable;
    std::map<std::string, std::string> heldWithUnreadableKeys;
    {
        std::lock_guard lock(mutex);
        pending = false;
        if (readOnly) return false;
        if (dirty.empty()) return true;
        for (const auto& key : dirty) {
            Change& change = changes[key];
            if (auto it = values.find(key); it != values.end()) {
                change.value = it->second;
            } else if (auto raw = unreadable.find(key); raw != unreadable.end()) {
                change.raw = raw->second;
            }
        }
        dirty.clear();
        held = values;
        heldUnreadable = unreadable;
        heldWithUnreadableKeys = entriesWithUnreadableKeys;
    }
    const auto restoreDirty = [&] {
        std::lock_guard lock(mutex);
        for (const auto& [key, change] : changes) dirty.insert(key);
    };

    const fs::path folder = folderOf(file);
    if (!paths::ensureDirectory(folder)) {
        restoreDirty();
        return false;
    }
    // Other suites on this file (in this process or another) write under the same
    // lock, and each merges what is on disk, so no one loses the others' keys.
    atomic_file::Lock folderLock(folder, false);

    bool parsed = false;
    auto onDisk = readForSave(held.size() + heldUnreadable.size() + heldWithUnreadableKeys.size(), parsed);
    if (!onDisk) {
        restoreDirty();
        return false;
    }
    defaults_file::Contents merged = std::move(*onDisk);
    const Date now = wallClockNow();
    std::erase_if(merged.removed, [&](const auto& entry) {
        return now.since(entry.second) > defaults_file::kRemovedEntryLifetimeSeconds;
    });
    for (auto& [key, change] : changes) {
        merged.values.erase(key);
        merged.unreadable.erase(key);
        merged.removed.erase(key);
        if (change.value) {
            merged.values.emplace(key, std::move(*change.value));
        } else if (change.raw) {
            merged.unreadable.emplace(key, std::move(*change.raw));
        } else {
            merged.removed.emplace(key, now);
        }
    }
    // A key held here stays unless another suite removed it: a file that vanished,
    // broke or was rewritten by someone else never takes keys away.
    std::size_t restored = 0;
    const auto lacks = [&merged](const std::string& key) {
        return merged.values.count(key) == 0 && merged.unreadable.count(key) == 0 &&
               merged.removed.count(key) == 0;
    };
    for (auto& [key, value] : held) {
        if (lacks(key)) {
            merged.values.emplace(key, std::move(value));
            ++restored;
        }
    }
    for (auto& [key, raw] : heldUnreadable) {
        if (lacks(key)) {
            merged.unreadable.emplace(key, std::move(raw));
            ++restored;
        }
    }
    for (auto& [keyText, raw] : heldWithUnreadableKeys) {
        if (merged.entriesWithUnreadableKeys.emplace(keyText, std::move(raw)).second) ++restored;
    }
    if (restored > 0 && parsed && fileSeen) {
        log::info("Defaults: " + file.string() + " lacked " + std::to_string(restored) +
                  " keys this suite holds; wrote them back");
    }

    std::string encoded;
    try {
        encoded = defaults_file::encode(merged);
    } catch (const std::exception& error) {
        log::warning(std::string("Defaults: cannot encode ") + file.string() + ": " + error.what());
        restoreDirty();
        return false;
    }
    std::string error;
    // A settings file may be a link into a folder of dotfiles: the link stays.
    if (!atomic_file::replace(file, encoded, true, error, atomic_file::Links::follow)) {
        reportFailure("Defaults: cannot save " + file.string() + ": " + error);
        restoreDirty();
        return false;
    }
    fileSeen = true;
    failureReported = false;

    // Take up what other writers saved, except keys changed here meanwhile.
    std::lock_guard lock(mutex);
    for (const auto& key : dirty) {
        merged.values.erase(key);
        merged.unreadable.erase(key);
        if (auto it = values.find(key); it != values.end()) merged.values[key] = it->second;
        if (auto it = unreadable.find(key); it != unreadable.end()) merged.unreadable[key] = it->second;
    }
    values = std::move(merged.values);
    unreadable = std::move(merged.unreadable);
    entriesWithUnreadableKeys = std::move(merged.entriesWithUnreadableKeys);
    return true;
}

void JsonFileDefaults::Writer::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return pending || stopping; });
        if (stopping) return;  // the destructor writes what is left
        changed.wait_until(lock, deadline, [this] { return stopping; });
        if (stopping) return;
        lock.unlock();
        write();
        lock.lock();
    }
}

JsonFileDefaults::JsonFileDefaults(fs::path file, double coalesceSeconds)
    : file_(std::move(file)), writer_(std::make_unique<Writer>()) {
    writer_->file = file_;
    writer_->coalesceSeconds = coalesceSeconds > 0 ? coalesceSeconds : 0;
    writer_->load();
    writer_->thread = std::thread([writer = writer_.get()] { writer->run(); });
}

JsonFileDefaults::~JsonFileDefaults() {
    {
        std::lock_guard lock(writer_->mutex);
        writer_->stopping = true;
    }
    writer_->changed.notify_all();
    writer_->thread.join();
    writer_->write();
}

std::optional<DefaultsValue> JsonFileDefaults::object(const std::string& key) const {
    std::lock_guard lock(writer_->mutex);
    auto it = writer_->values.find(key);
    if (it == writer_->values.end()) return std::nullopt;
    return it->second;
}

void JsonFileDefaults::set(const std::string& key, DefaultsValue value) {
    // Such a value could never be saved; refusing it keeps memory and file alike.
    if (!isFinite(value)) {
        log::warning("Defaults: refused a non-finite number for \"" + key + "\"");
        return;
    }
    writer_->change(key, std::move(value));
}

// Marked even when absent here: another suite on the file may have saved it.
void JsonFileDefaults::remove(const std::string& key) { writer_->change(key, std::nullopt); }

bool JsonFileDefaults::flush() { return writer_->write(); }

bool JsonFileDefaults::hasUnreadableValue(const std::string& key) const {
    std::lock_guard lock(writer_->mutex);
    return writer_->unreadable.count(key) > 0;
}

bool JsonFileDefaults::moveUnreadableValue(const std::string& from, const std::string& to) {
    return writer_->moveUnreadable(from, to);
}

bool JsonFileDefaults::isReadOnly() const {
    std::lock_guard lock(writer_->mutex);
    return writer_->readOnly;
}

fs::path JsonFileDefaults::suiteFile(const std::string& suiteName) {
    // A suite name is never a path: no separators, no climbing out of the folder.
    std::string name = suiteName;
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return paths::configDirectory() / (name + ".json");
}

}  // namespace tw
