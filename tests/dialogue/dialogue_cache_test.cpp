#include "dialogue/dialogue_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "dialogue_test_support.h"
#include "platform/log.h"
#include "platform/sha256.h"
#include "platform/testing/finished_process.h"
#include "platform/testing/hostile_files.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using testing::lineWithText;
using testing::makeRequest;
using testing::memory;

constexpr double kDay = 86400;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class DialogueCacheTest : public ::testing::Test {
   protected:
    std::unique_ptr<DialogueCache> makeCache(std::optional<std::filesystem::path> file) {
        return std::make_unique<DialogueCache>(std::move(file), clock,
                                               std::make_unique<InlineSerialExecutor>());
    }
    static std::optional<AgentDialogueLine> get(DialogueCache& cache, const std::string& key) {
        std::optional<AgentDialogueLine> out;
        cache.get(key, [&](std::optional<AgentDialogueLine> line) { out = std::move(line); });
        return out;
    }
    static std::size_t count(DialogueCache& cache) {
        std::size_t out = 0;
        cache.count([&](std::size_t n) { out = n; });
        return out;
    }
    std::string fileWithEntries(int n, double ageSeconds) {
        std::vector<std::pair<std::string, DialogueCache::Entry>> entries;
        for (int i = 0; i < n; ++i) {
            entries.emplace_back("twd:f:" + std::to_string(i),
                                 DialogueCache::Entry{lineWithText("line " + std::to_string(i)),
                                                      clock.now().adding(-ageSeconds)});
        }
        return DialogueCache::encodeFile(entries);
    }

    testing::ManualClock clock;
};

TEST(DialogueCacheKey, HashesTheNineSortedPartsUnderTheFleaPrefix) {
    DialogueRequest request = makeRequest();
    request.recent_memories = {memory("m2"), memory("m1")};
    EXPECT_EQ(DialogueCache::cacheKeyText(request),
              "pip|pip|earnest||anxious,brave||m1,m2|clean_success|thought_bubble");
    const std::string key = DialogueCache::makeCacheKey(request);
    EXPECT_EQ(key, "twd:pip:" + sha256Hex(DialogueCache::cacheKeyText(request)).substr(0, 24));
    EXPECT_EQ(key.size(), request.flea_id.size() + 29);
}

TEST(DialogueCacheKey, IgnoresOrderSeedAndNameButNotChannel) {
    DialogueRequest a = makeRequest();
    a.voice_card.superstitions = {"salt", "east"};
    a.recent_memories = {memory("m1", "x"), memory("m2", "y")};
    DialogueRequest b = a;
    b.seed = 99;
    b.voice_card.name = "Someone Else";
    b.voice_card.pronouns = "she/her";
    b.voice_card.traits = {"anxious", "brave"};
    b.voice_card.superstitions = {"east", "salt"};
    b.recent_memories = {memory("m2", "other"), memory("m1", "")};
    EXPECT_EQ(DialogueCache::makeCacheKey(a), DialogueCache::makeCacheKey(b));

    DialogueRequest noAmbition = makeRequest();
    DialogueRequest emptyAmbition = makeRequest();
    emptyAmbition.voice_card.ambition = "";
    EXPECT_EQ(DialogueCache::makeCacheKey(noAmbition), DialogueCache::makeCacheKey(emptyAmbition));

    DialogueRequest diary = makeRequest();
    diary.channel = AgentDialogueChannel::diary_line;
    EXPECT_NE(DialogueCache::makeCacheKey(diary), DialogueCache::makeCacheKey(makeRequest()));
}

TEST_F(DialogueCacheTest, EvictsLeastRecentlyStoredOrReadBeyondFiveHundred) {
    auto cache = makeCache(std::nullopt);
    for (int i = 0; i < 500; ++i) cache->set(testing::numbered("k", i), lineWithText("t"));
    cache->set("k500", lineWithText("t"));
    EXPECT_FALSE(get(*cache, "k0"));
    EXPECT_TRUE(get(*cache, "k1"));
    EXPECT_EQ(count(*cache), 500u);

    // k1 was just read, so k2 is now the oldest; overwriting k2 does not refresh it.
    cache->set("k2", lineWithText("replaced"));
    EXPECT_EQ(get(*cache, "k2")->text, "replaced");  // ...but reading it does
    cache->set("k501", lineWithText("t"));
    EXPECT_TRUE(get(*cache, "k1"));
    EXPECT_TRUE(get(*cache, "k2"));
    EXPECT_FALSE(get(*cache, "k3"));
}

TEST_F(DialogueCacheTest, InvalidateRemovesOnlyThatFleasKeys) {
    const auto file = testing::scratchDirectory("invalidate") / DialogueCache::fileName;
    auto cache = makeCache(file);
    const std::string pip = DialogueCache::makeCacheKey(makeRequest("pip"));
    const std::string pip2 = DialogueCache::makeCacheKey(makeRequest("pip2"));
    cache->set(pip, lineWithText("a", pip));
    cache->set(pip2, lineWithText("b", pip2));
    cache->invalidate("pip");
    EXPECT_FALSE(get(*cache, pip));
    EXPECT_TRUE(get(*cache, pip2));
    auto restarted = makeCache(file);
    EXPECT_EQ(count(*restarted), 1u);
}

TEST_F(DialogueCacheTest, SurvivesARestartWithStoredAtAndLine) {
    const auto file = testing::scratchDirectory("restart") / DialogueCache::fileName;
    AgentDialogueLine line{"Bell hit clean.", AgentDialogueTone::proud, std::string("m1"),
                           AgentDialogueGenerator::llm, "twd:pip:abc"};
    makeCache(file)->set("twd:pip:abc", line);
    const auto decoded = DialogueCache::decodeFile(readFile(file));
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].second.storedAt, clock.now());
    EXPECT_EQ(get(*makeCache(file), "twd:pip:abc"), line);
}

TEST_F(DialogueCacheTest, LoadDropsEntriesThirtyDaysOldAndKeepsFutureOnes) {
    const auto file = testing::scratchDirectory("ttl") / DialogueCache::fileName;
    const Date now = clock.now();
    DialogueCache::Entry fresh{lineWithText("29 days"), now.adding(-29 * kDay)};
    DialogueCache::Entry stale{lineWithText("31 days"), now.adding(-31 * kDay)};
    DialogueCache::Entry edge{lineWithText("30 days"), now.adding(-30 * kDay)};
    DialogueCache::Entry future{lineWithText("tomorrow"), now.adding(kDay)};
    writeFile(file, DialogueCache::encodeFile({{"a", fresh}, {"b", stale}, {"c", edge}, {"d", future}}));
    auto cache = makeCache(file);
    EXPECT_TRUE(get(*cache, "a"));
    EXPECT_FALSE(get(*cache, "b"));
    EXPECT_FALSE(get(*cache, "c"));
    EXPECT_TRUE(get(*cache, "d"));
}

TEST_F(DialogueCacheTest, LoadTakesAtMostTwoThousandAndTheNextStoreEvictsToFiveHundred) {
    const auto file = testing::scratchDirectory("cap") / DialogueCache::fileName;
    writeFile(file, fileWithEntries(3000, 60));
    auto cache = makeCache(file);
    EXPECT_EQ(count(*cache), 2000u);
    EXPECT_FALSE(get(*cache, "twd:f:2000"));  // beyond the first 2000 in file order
    cache->set("new", lineWithText("t"));
    EXPECT_EQ(count(*cache), 500u);
    EXPECT_EQ(DialogueCache::decodeFile(readFile(file)).size(), 500u);
}

TEST_F(DialogueCacheTest, MalformedFilesGiveAnEmptyCacheAndALogLine) {
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    const auto dir = testing::scratchDirectory("malformed");
    const std::vector<std::string> bad = {
        "not json",
        "[1,2]",
        R"({"k": {"line": {"text": "x"}, "storedAt": 1}})",
        R"({"k": {"line": {"text": "x", "tone": "proud", "generated_by": "template", "cache_key": "k"},
                  "storedAt": "yesterday"}})",
        R"({"k": {"line": {"text": "x", "tone": "grumpy", "generated_by": "template", "cache_key": "k"},
                  "storedAt": 1}})",
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const auto file = dir / ("cache" + std::to_string(i) + ".json");
        writeFile(file, bad[i]);
        auto cache = makeCache(file);
        EXPECT_EQ(count(*cache), 0u) << bad[i];
        cache->set("only", lineWithText("t"));
        EXPECT_EQ(DialogueCache::decodeFile(readFile(file)).size(), 1u) << bad[i];
    }
    log::setSinkForTesting(nullptr);
    EXPECT_EQ(lines.size(), bad.size());
}

TEST_F(DialogueCacheTest, ClearAllWritesTheEmptyObject) {
    const auto file = testing::scratchDirectory("clear") / DialogueCache::fileName;
    writeFile(file, fileWithEntries(3, 60));
    auto cache = makeCache(file);
    cache->clearAll();
    EXPECT_EQ(readFile(file), "{}");
    EXPECT_FALSE(get(*cache, "twd:f:0"));
}

TEST_F(DialogueCacheTest, ClearedLinesStayClearedWhenTheWriteFails) {
    log::setSinkForTesting([](std::string_view) {});
    const auto dir = testing::scratchDirectory("clear-fails");
    const auto file = dir / DialogueCache::fileName;
    writeFile(file, fileWithEntries(3, 60));
    // A folder where the writers' lock file should go makes every write fail.
    std::filesystem::create_directory(dir / "DialogueCache.json.lock");
    auto cache = makeCache(file);
    cache->clearAll();
    EXPECT_FALSE(get(*cache, "twd:f:0"));
    EXPECT_EQ(count(*cache), 0u);
    EXPECT_EQ(DialogueCache::decodeFile(readFile(file)).size(), 3u);  // the old file is untouched
    log::setSinkForTesting(nullptr);
}

TEST_F(DialogueCacheTest, ConcurrentWritersOnlyEverPublishWholeFiles) {
    std::mutex logMutex;
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) {
        std::lock_guard lock(logMutex);
        lines.emplace_back(line);
    });
    const auto dir = testing::scratchDirectory("concurrent");
    const auto file = dir / DialogueCache::fileName;
    std::atomic<int> running{3};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&, w] {
            auto cache = makeCache(file);  // one cache per writer, as in separate processes
            for (int i = 0; i < 150; ++i) {
                cache->set("twd:f" + std::to_string(w) + ":" + std::to_string(i),
                           lineWithText(std::string(200, 'x')));
            }
            --running;
        });
    }
    int versions = 0;
    int broken = 0;
    while (running > 0) {
        const std::string text = readFile(file);
        if (text.empty()) continue;  // not published yet
        ++versions;
        try {
            DialogueCache::decodeFile(text);
        } catch (const JsonDecodeError&) {
            ++broken;
        }
    }
    for (auto& writer : writers) writer.join();
    log::setSinkForTesting(nullptr);
    EXPECT_EQ(broken, 0) << "of " << versions;
    EXPECT_TRUE(lines.empty()) << lines.front();
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(DialogueCacheTest, UnusableFilesAreReportedForWhatTheyAreAndTheCacheStartsEmpty) {
    struct Case {
        std::string name;
        void (*make)(const std::filesystem::path& file);
        std::string logged;
        bool writable;
    };
    const std::vector<Case> cases = {
        {"directory",
         [](const auto& file) {
             std::filesystem::remove(file);
             std::filesystem::create_directory(file);
         },
         "is a directory", false},
        // Sparse: the limit is checked before a byte is read.
        {"oversized", [](const auto& file) { std::filesystem::resize_file(file, 17 * 1024 * 1024); },
         "over the 16 MiB limit", true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        const auto file = testing::scratchDirectory("unusable-" + c.name) / DialogueCache::fileName;
        writeFile(file, fileWithEntries(3, 60));
        c.make(file);
        auto cache = makeCache(file);
        EXPECT_EQ(count(*cache), 0u) << c.name;
        cache->set("new", lineWithText("t"));
        cache->set("newer", lineWithText("t"));
        log::setSinkForTesting(nullptr);
        EXPECT_EQ(lines.size(), c.writable ? 1u : 2u) << c.name;  // a failing write is said once
        for (const auto& line : lines) EXPECT_NE(line.find(c.logged), std::string::npos) << line;
        if (c.writable) {
            EXPECT_EQ(DialogueCache::decodeFile(readFile(file)).size(), 2u) << c.name;
        }
    }
}

// Every kind of thing at the cache's path: the cache starts empty and keeps working in
// memory. A regular file it could not use is replaced on the next store; anything else
// (a FIFO, socket, device, folder, broken link) is not the cache's and stays as it was,
// with one line for the load and one for the failing stores. Root reads a file of mode
// 000, so that row is left out when run as root.
TEST_F(DialogueCacheTest, StoresReplaceOnlyARegularFileAtThePath) {
    // Short: a socket's path must fit in 108 bytes.
    const auto root = std::filesystem::temp_directory_path() / ("tw-cache-" + std::to_string(::getpid()));
    int row = 0;
    for (const auto& [kind, name] : testing::hostileKinds()) {
        if (testing::meaninglessHere(kind)) continue;
        const auto folder = root / std::to_string(row++);
        std::filesystem::create_directories(folder);
        const auto file = folder / DialogueCache::fileName;
        testing::makeHostile(file, kind);
        const std::string before = testing::fingerprint(file);
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        {
            auto cache = makeCache(file);
            EXPECT_EQ(count(*cache), 0u) << name;
            cache->set("new", lineWithText("t"));
            cache->set("newer", lineWithText("t"));
            EXPECT_TRUE(get(*cache, "newer")) << name;
        }
        log::setSinkForTesting(nullptr);
        if (testing::isRegular(kind)) {
            EXPECT_EQ(DialogueCache::decodeFile(readFile(file)).size(), 2u) << name;
            EXPECT_EQ(lines.size(), 1u) << name;
        } else {
            EXPECT_EQ(testing::fingerprint(file), before) << name;
            EXPECT_EQ(lines.size(), 2u) << name;
        }
    }
    std::filesystem::remove_all(root);
}

TEST_F(DialogueCacheTest, TempFilesOfFinishedWritersGoAtLoadAndThoseOfRunningOnesStay) {
    const auto dir = testing::scratchDirectory("stale-temps");
    const auto file = dir / DialogueCache::fileName;
    const std::string finished =
        "DialogueCache.json.tmp-" + std::to_string(testing::finishedProcessId()) + "-4";
    const std::string running = "DialogueCache.json.tmp-" + std::to_string(::getppid()) + "-4";
    writeFile(dir / finished, "{");
    writeFile(dir / running, "{");
    auto cache = makeCache(file);
    EXPECT_EQ(count(*cache), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / finished));
    EXPECT_TRUE(std::filesystem::exists(dir / running));
}

}  // namespace
}  // namespace tw
