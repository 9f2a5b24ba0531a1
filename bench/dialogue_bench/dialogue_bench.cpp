// Costs of the dialogue path: the cache key, a cache hit, a template miss that rewrites
// the cache file, and reading a full cache file against a plain JSON parse of it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialogue/dialogue_cache.h"
#include "dialogue/flea_dialogue_router.h"
#include "dialogue/template_dialogue_generator.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

DialogueRequest sampleRequest(std::uint64_t n) {
    DialogueRequest request;
    request.flea_id = "pip";
    request.voice_card.flea_id = "pip";
    request.voice_card.name = "Pip";
    request.voice_card.voice_style = "earnest";
    request.voice_card.traits = {"brave", "anxious", "proud"};
    request.voice_card.superstitions = {"east first", "chalk twice"};
    for (int i = 0; i < 3; ++i) {
        AgentMemory memory;
        memory.id = "memory-" + std::to_string(n) + "-" + std::to_string(i);
        memory.summary = "Zing caught me on the wire";
        request.recent_memories.push_back(memory);
    }
    request.outcome_kind = "clean_success";
    request.seed = n;
    return request;
}

std::filesystem::path benchFile(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "tumblewick-dialogue-bench";
    std::filesystem::create_directories(dir);
    const auto file = dir / name;
    std::filesystem::remove(file);
    return file;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void BM_CacheKey(benchmark::State& state) {
    const DialogueRequest request = sampleRequest(1);
    for (auto _ : state) benchmark::DoNotOptimize(DialogueCache::makeCacheKey(request));
}
BENCHMARK(BM_CacheKey);

void BM_CacheHit(benchmark::State& state) {
    testing::ManualClock clock;
    DialogueCache cache(std::nullopt, clock, std::make_unique<InlineSerialExecutor>());
    for (std::uint64_t i = 0; i < 500; ++i) {
        const auto request = sampleRequest(i);
        cache.set(DialogueCache::makeCacheKey(request),
                  AgentDialogueLine{"Bell hit clean.", AgentDialogueTone::proud, std::nullopt,
                                    AgentDialogueGenerator::template_, DialogueCache::makeCacheKey(request)});
    }
    const std::string key = DialogueCache::makeCacheKey(sampleRequest(250));
    for (auto _ : state) {
        cache.get(key, [](std::optional<AgentDialogueLine> line) { benchmark::DoNotOptimize(line); });
    }
}
BENCHMARK(BM_CacheHit);

// A full cache (500 lines) is rewritten on every miss.
void BM_TemplateMissWithCacheFileOnDisk(benchmark::State& state) {
    testing::ManualClock clock;
    auto cache = std::make_shared<DialogueCache>(benchFile("miss.json"), clock,
                                                 std::make_unique<InlineSerialExecutor>());
    FleaDialogueRouter router(nullptr,
                              std::make_shared<TemplateDialogueGenerator>(
                                  processStringHashFunction(), std::make_unique<InlineSerialExecutor>()),
                              cache, clock, noTelemetry(), false, std::make_unique<InlineSerialExecutor>());
    std::uint64_t n = 0;
    for (; n < 500; ++n) router.generate(sampleRequest(n), [](FleaDialogueResult) {});
    for (auto _ : state) {
        router.generate(sampleRequest(n++), [](FleaDialogueResult r) { benchmark::DoNotOptimize(r); });
    }
}
BENCHMARK(BM_TemplateMissWithCacheFileOnDisk);

std::filesystem::path fullCacheFile() {
    const auto file = benchFile("full.json");
    std::vector<std::pair<std::string, DialogueCache::Entry>> entries;
    testing::ManualClock clock;
    for (std::uint64_t i = 0; i < DialogueCache::maxOnDiskEntries; ++i) {
        const std::string key = DialogueCache::makeCacheKey(sampleRequest(i));
        entries.emplace_back(
            key, DialogueCache::Entry{AgentDialogueLine{"That's exactly the line, and then some more words.",
                                                        AgentDialogueTone::proud, std::string("memory-1"),
                                                        AgentDialogueGenerator::llm, key},
                                      clock.now()});
    }
    std::ofstream(file, std::ios::binary) << DialogueCache::encodeFile(entries);
    return file;
}

void BM_LoadTwoThousandEntryFile(benchmark::State& state) {
    const auto file = fullCacheFile();
    testing::ManualClock clock;
    for (auto _ : state) {
        DialogueCache cache(file, clock, std::make_unique<InlineSerialExecutor>());
        cache.count([](std::size_t n) { benchmark::DoNotOptimize(n); });
    }
}
BENCHMARK(BM_LoadTwoThousandEntryFile);

// Baseline: read the same file and parse it as JSON, nothing more.
void BM_PlainJsonParseOfTheSameFile(benchmark::State& state) {
    const auto file = fullCacheFile();
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(readFile(file)));
}
BENCHMARK(BM_PlainJsonParseOfTheSameFile);

}  // namespace
}  // namespace tw

BENCHMARK_MAIN();
