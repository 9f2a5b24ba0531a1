// The readers of large outside files, each timed against plain parses of the same
// bytes in the same iteration: x_plain_parse is the reader's time over a parse into a
// map-backed nlohmann value, x_simdjson over a bare simdjson parse (the limit). Only
// the parses are timed: every result, the reader's and the plain parser's tree, is
// freed outside the timing, and each parse starts from a settled heap. A reader that
// stays linear keeps these ratios flat as the key count grows.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <simdjson.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/dialogue_cache.h"
#include "platform/defaults_file_format.h"
#include "troupe/event_model/troupe_json.h"

namespace tw {
namespace {

// A settings file of `count` keys in the file's typed form, mixed types.
std::string settingsFile(std::int64_t count) {
    std::string text = "{";
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string key = "\"tw_setting_" + std::to_string(i) + "\":";
        switch (i % 4) {
            case 0:
                text += key + "{\"type\":\"bool\",\"value\":true},";
                break;
            case 1:
                text += key + "{\"type\":\"int\",\"value\":" + std::to_string(i) + "},";
                break;
            case 2:
                text += key + "{\"type\":\"double\",\"value\":" + std::to_string(i) + ".5},";
                break;
            default:
                text += key + "{\"type\":\"string\",\"value\":\"value " + std::to_string(i) + "\"},";
                break;
        }
    }
    text.back() = '}';
    return text;
}

std::string dialogueCacheFile(std::int64_t count) {
    std::vector<std::pair<std::string, DialogueCache::Entry>> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string key = "twd:Pip:" + std::to_string(1000000000000 + i);
        entries.emplace_back(
            key,
            DialogueCache::Entry{AgentDialogueLine::make("The trapeze was wobbly today, " + std::to_string(i),
                                                         AgentDialogueTone::playful, std::nullopt,
                                                         AgentDialogueGenerator::llm, key),
                                 Date{7.6e8 + static_cast<double>(i)}});
    }
    return DialogueCache::encodeFile(entries);
}

// A valid event line that also carries `count` keys the schema does not know.
std::string eventLineWithKeys(std::int64_t count) {
    std::string text = "{";
    for (std::int64_t i = 0; i < count; ++i)
        text += "\"extra" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    return text +
           R"("deviceId":"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE","id":"11111111-2222-3333-4444-555555555555",)"
           R"("kind":"xp_earned","payload":{"body":{"amount":25,"source":"practice"},"kind":"xp_earned"},)"
           R"("schemaVersion":1,"ts":"2025-02-03T04:05:06Z"})";
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// glibc leaves part of freeing a tree (merging its small blocks) to the next large
// allocation; settling the heap first keeps that out of whichever parse comes next.
void settleHeap() { malloc_trim(0); }

// Times `read` as the benchmark and both plain parses beside it, untimed; `aim` is the
// most the reader may take over the plain parse (0: none).
template <typename Read>
void againstPlainParses(benchmark::State& state, const std::string& text, Read read, double aim = 0) {
    simdjson::dom::parser parser;
    double reader = 0;
    double plain = 0;
    double simd = 0;
    for (auto _ : state) {
        std::optional<decltype(read(text))> result;
        reader += secondsOf([&] { result.emplace(read(text)); });
        state.PauseTiming();
        Json tree;
        settleHeap();
        plain += secondsOf([&] { tree = Json::parse(text); });
        simd += secondsOf([&] {
            simdjson::dom::element root;
            if (parser.parse(text).get(root) != simdjson::SUCCESS)
                state.SkipWithError("simdjson refused the text");
        });
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(tree);
        result.reset();
        tree = Json();
        settleHeap();
        state.ResumeTiming();
    }
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    state.counters["x_plain_parse"] = reader / plain;
    state.counters["x_simdjson"] = reader / simd;
    if (aim > 0) state.counters["aim_met"] = reader / plain <= aim ? 1 : 0;
}

void BM_SettingsFile(benchmark::State& state) {
    const std::string text = settingsFile(state.range(0));
    againstPlainParses(
        state, text, [](const std::string& t) { return defaults_file::decode(t, false); }, 1.5);
}

void BM_DialogueCache(benchmark::State& state) {
    const std::string text = dialogueCacheFile(state.range(0));
    againstPlainParses(state, text, [](const std::string& t) { return DialogueCache::decodeFile(t); });
}

void BM_EventLineWithManyKeys(benchmark::State& state) {
    const std::string text = eventLineWithKeys(state.range(0));
    againstPlainParses(state, text, [](const std::string& t) { return decodeTroupeEventLine(t); });
}

void BM_JsonDocumentParse(benchmark::State& state) {
    const std::string text = settingsFile(state.range(0));
    againstPlainParses(state, text, [](const std::string& t) { return JsonDocument::parse(t); });
}

BENCHMARK(BM_SettingsFile)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogueCache)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EventLineWithManyKeys)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonDocumentParse)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tw

BENCHMARK_MAIN();
