#include "dialogue/dialogue_cache.h"

#include <algorithm>
#include <system_error>

#include "agent/dialogue_records_json.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/sha256.h"

namespace tw {

namespace {

std::string joinedSorted(std::vector<std::string> parts) {
    // std::string compares bytes, and UTF-8 byte order is code point order.
    std::sort(parts.begin(), parts.end());
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += ',';
        out += parts[i];
    }
    return out;
}

// Real files hold at most a few thousand short lines; anything this large is not ours.
constexpr std::uint64_t kMaxFileBytes = 16ull * 1024 * 1024;

std::filesystem::path lockPath(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

// Every process of the app may write the file: each writes its own temp file and renames
// it over the file under a lock beside it, so a reader always finds one whole version.
// A regular file there is ours to replace, even one that could not be read; anything
// else (a FIFO, a device, a folder, a broken link) is someone else's and stays.
bool writeAtomically(const std::filesystem::path& file, const std::string& bytes, std::string& error) {
    atomic_file::Lock lock(lockPath(file), true);
    if (!lock.held()) {
        error = lock.error();
        return false;
    }
    if (auto why = atomic_file::notForReplacing(file)) {
        error = std::move(*why);
        return false;
    }
    return atomic_file::replace(file, bytes, false, error);
}

}  // namespace

DialogueCache::DialogueCache(std::optional<std::filesystem::path> diskURL, const Clock& clock,
                             std::unique_ptr<SerialExecutor> executor)
    : diskURL_(std::move(diskURL)), clock_(clock), executor_(std::move(executor)) {}

DialogueCache::~DialogueCache() { executor_->drain(); }

std::string DialogueCache::cacheKeyText(const DialogueRequest& request) {
    const VoiceCard& card = request.voice_card;
    std::vector<std::string> memoryIds;
    memoryIds.reserve(request.recent_memories.size());
    for (const AgentMemory& memory : request.recent_memories) memoryIds.push_back(memory.id);

    std::string text;
    text += request.flea_id;
    text += '|';
    text += card.flea_id;
    text += '|';
    text += card.voice_style;
    text += '|';
    text += card.ambition.value_or("");
    text += '|';
    text += joinedSorted(card.traits);
    text += '|';
    text += joinedSorted(card.superstitions);
    text += '|';
    text += joinedSorted(std::move(memoryIds));
    text += '|';
    text += request.outcome_kind;
    text += '|';
    text += rawValue(request.channel);
    return text;
}

std::string DialogueCache::makeCacheKey(const DialogueRequest& request) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto digest = sha256(cacheKeyText(request));
    std::string key = "twd:" + request.flea_id + ":";
    key.reserve(key.size() + 24);
    for (std::size_t i = 0; i < 12; ++i) {
        key += kHex[digest[i] >> 4];
        key += kHex[digest[i] & 0x0f];
    }
    return key;
}

void DialogueCache::get(std::string key, std::function<void(std::optional<AgentDialogueLine>)> done) {
    executor_->execute([this, key = std::move(key), done = std::move(done)] { done(getNow(key)); });
}

void DialogueCache::set(std::string key, AgentDialogueLine line, std::function<void()> done) {
    executor_->execute(
        [this, key = std::move(key), line = std::move(line), done = std::move(done)]() mutable {
            setNow(key, std::move(line));
            if (done) done();
        });
}

void DialogueCache::invalidate(std::string flea_id, std::function<void()> done) {
    executor_->execute([this, flea_id = std::move(flea_id), done = std::move(done)] {
        invalidateNow(flea_id);
        if (done) done();
    });
}

void DialogueCache::count(std::function<void(std::size_t)> done) {
    executor_->execute([this, done = std::move(done)] {
        ensureLoaded();
        done(memory_.size());
    });
}

void DialogueCache::clearAll(std::function<void()> done) {
    executor_->execute([this, done = std::move(done)] {
        clearAllNow();
        if (done) done();
    });
}

std::optional<AgentDialogueLine> DialogueCache::getNow(const std::string& key) {
    ensureLoaded();
    auto it = memory_.find(key);
    if (it == memory_.end()) return std::nullopt;
    // A read protects a line from eviction just as a store does.
    insertionOrder_.splice(insertionOrder_.end(), insertionOrder_, it->second.order);
    return it->second.entry.line;
}

void DialogueCache::setNow(const std::string& key, AgentDialogueLine line) {
    ensureLoaded();
    Entry entry{std::move(line), clock_.now()};
    auto it = memory_.find(key);
    if (it != memory_.end()) {
        // Overwriting keeps the key's place in the eviction order.
        it->second.entry = std::move(entry);
    } else {
        insertionOrder_.push_back(key);
        memory_.emplace(key, Slot{std::move(entry), std::prev(insertionOrder_.end())});
    }
    while (insertionOrder_.size() > maxInMemoryEntries) erase(insertionOrder_.front());
    saveToDiskBestEffort();
}

void DialogueCache::invalidateNow(const std::string& flea_id) {
    ensureLoaded();
    // The trailing colon keeps flea "pip" from matching "pip2".
    const std::string prefix = "twd:" + flea_id + ":";
    std::vector<std::string> doomed;
    for (const auto& [key, slot] : memory_) {
        if (key.compare(0, prefix.size(), prefix) == 0) doomed.push_back(key);
    }
    for (const std::string& key : doomed) erase(key);
    saveToDiskBestEffort();
}

void DialogueCache::clearAllNow() {
    memory_.clear();
    insertionOrder_.clear();
    // Counts as loaded: should the write below fail, a later read must not bring the
    // cleared lines back from the old file.
    diskLoaded_ = true;
    saveToDiskBestEffort();
}

void DialogueCache::erase(const std::string& key) {
    auto it = memory_.find(key);
    if (it == memory_.end()) return;
    insertionOrder_.erase(it->second.order);
    memory_.erase(it);
}

void DialogueCache::ensureLoaded() {
    if (diskLoaded_) return;
    diskLoaded_ = true;  // read at most once per process, whatever happens
    if (!diskURL_) return;

    {
        // Under the writers' lock: a temp file seen now belongs to no write in progress.
        atomic_file::Lock lock(lockPath(*diskURL_), true);
        if (lock.held()) atomic_file::removeStaleTemps(*diskURL_);
    }
    auto file = atomic_file::read(*diskURL_, kMaxFileBytes);
    if (file.status == atomic_file::ReadStatus::missing) return;
    if (file.status != atomic_file::ReadStatus::ok) {
        log::warning("Dialogue cache " + diskURL_->string() + " " +
                     atomic_file::describe(file, kMaxFileBytes) + "; starting empty");
        return;
    }

    std::vector<std::pair<std::string, Entry>> entries;
    try {
        entries = decodeFile(file.text);
    } catch (const JsonDecodeError& error) {
        log::warning("Dialogue cache " + diskURL_->string() + " is malformed (" + toString(error.kind()) +
                     " at \"" + error.path() + "\"); starting empty");
        return;
    }

    const Date now = clock_.now();
    for (auto& [key, entry] : entries) {
        if (memory_.size() >= maxOnDiskEntries) break;
        if (now.since(entry.storedAt) >= onDiskTTLSeconds) continue;  // a future stamp stays
        if (memory_.count(key) != 0) continue;
        insertionOrder_.push_back(key);
        memory_.emplace(key, Slot{std::move(entry), std::prev(insertionOrder_.end())});
    }
}

std::vector<std::pair<std::string, DialogueCache::Entry>> DialogueCache::snapshot() const {
    std::vector<std::pair<std::string, Entry>> entries;
    entries.reserve(memory_.size());
    // Eviction order, so that a later load starts from the same order.
    for (const std::string& key : insertionOrder_) entries.emplace_back(key, memory_.at(key).entry);
    return entries;
}

void DialogueCache::saveToDiskBestEffort() {
    if (!diskURL_) return;
    std::string bytes;
    try {
        bytes = encodeFile(snapshot());
    } catch (const std::exception& error) {
        log::warning(std::string("Dialogue cache not saved: ") + error.what());
        return;
    }
    std::string error;
    if (writeAtomically(*diskURL_, bytes, error)) {
        writeFailureLogged_ = false;
    } else if (!writeFailureLogged_) {
        writeFailureLogged_ = true;  // once per run of failures, not once per line
        log::warning("Dialogue cache not saved: " + error);
    }
}

std::string DialogueCache::encodeFile(const std::vector<std::pair<std::string, Entry>>& entries) {
    OrderedJson root = OrderedJson::object();
    // Appended without a lookup: keys come from a map, and root[key] would search the
    // whole ordered object each time, quadratic in the number of lines.
    auto& members = root.get_ref<OrderedJson::object_t&>();
    members.reserve(entries.size());
    for (const auto& [key, entry] : entries) {
        members.emplace_back(key, OrderedJson{{"line", toJson(entry.line)},
                                              {"storedAt", finiteJson(entry.storedAt.seconds, "storedAt")}});
    }
    return dumpJson(root);
}

std::vector<std::pair<std::string, DialogueCache::Entry>> DialogueCache::decodeFile(std::string_view text) {
    const JsonDocument document = JsonDocument::parse(text);
    const JsonReader root(document);
    if (!root.isObject()) root.fail(JsonErrorKind::typeMismatch, "expected an object");
    std::vector<std::pair<std::string, Entry>> entries;
    entries.reserve(root.size());
    for (const auto& [key, value] : root.members()) {
        Entry entry;
        fromJson(value["line"], entry.line);
        entry.storedAt = value["storedAt"].referenceDate();
        entries.emplace_back(key, std::move(entry));
    }
    return entries;
}

}  // namespace tw
