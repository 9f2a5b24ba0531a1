#pragma once
// Finished dialogue lines under a key derived from the request that produced them, in
// memory (at most 500, least recently stored or read evicted first) and mirrored to
// one JSON file that survives restarts for 30 days. Several processes may share the
// file: each publishes whole versions under a lock, and the last one written wins.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "agent/dialogue_records.h"
#include "platform/clock.h"
#include "platform/json.h"
#include "platform/serial_executor.h"

namespace tw {

class DialogueCache {
   public:
    static constexpr std::size_t maxInMemoryEntries = 500;
    static constexpr std::size_t maxOnDiskEntries = 2000;
    static constexpr double onDiskTTLSeconds = 2'592'000;  // 30 days
    static constexpr const char* fileName = "DialogueCache.json";

    struct Entry {
        AgentDialogueLine line;
        Date storedAt;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // Without a file the cache lives in memory only. `clock` must outlive the cache.
    DialogueCache(std::optional<std::filesystem::path> diskURL, const Clock& clock,
                  std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>());
    ~DialogueCache();
    DialogueCache(const DialogueCache&) = delete;
    DialogueCache& operator=(const DialogueCache&) = delete;

    // "twd:" + flea id + ":" + 24 hex digits of SHA-256 over nine request fields.
    static std::string makeCacheKey(const DialogueRequest& request);
    // The text those 24 digits are hashed from (parts joined by "|").
    static std::string cacheKeyText(const DialogueRequest& request);

    // Completions run on the cache's executor.
    void get(std::string key, std::function<void(std::optional<AgentDialogueLine>)> done);
    void set(std::string key, AgentDialogueLine line, std::function<void()> done = {});
    void invalidate(std::string flea_id, std::function<void()> done = {});
    void count(std::function<void(std::size_t)> done);
    void clearAll(std::function<void()> done = {});

    const std::optional<std::filesystem::path>& diskURL() const { return diskURL_; }

    // The file's text for `entries` (distinct keys, written in the given order), and
    // its strict reading (throws JsonDecodeError).
    static std::string encodeFile(const std::vector<std::pair<std::string, Entry>>& entries);
    static std::vector<std::pair<std::string, Entry>> decodeFile(std::string_view text);

   private:
    struct Slot {
        Entry entry;
        std::list<std::string>::iterator order;
    };

    std::optional<AgentDialogueLine> getNow(const std::string& key);
    void setNow(const std::string& key, AgentDialogueLine line);
    void invalidateNow(const std::string& flea_id);
    void clearAllNow();
    void ensureLoaded();
    void saveToDiskBestEffort();
    void erase(const std::string& key);
    std::vector<std::pair<std::string, Entry>> snapshot() const;

    std::unordered_map<std::string, Slot> memory_;
    std::list<std::string> insertionOrder_;  // least recently stored or read first
    bool diskLoaded_ = false;
    bool writeFailureLogged_ = false;
    const std::optional<std::filesystem::path> diskURL_;
    const Clock& clock_;
    std::unique_ptr<SerialExecutor> executor_;  // last: drained before the state goes
};

}  // namespace tw
