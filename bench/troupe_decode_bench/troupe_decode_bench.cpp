// Decoding realistic log lines, against two parses of the same bytes measured in the
// same run: the general parser into the document the decoders read (what the
// reference decoder pays before decoding) and a bare simdjson parse (the limit).
// DecodeAndFold is what loading a log costs.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <random>
#include <string>
#include <vector>

#include "bench/common/synthetic_troupe_log.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/snapshot/troupe_fold.h"

namespace {

using namespace tw;

std::vector<std::string> makeLines(std::size_t count) {
    return bench::syntheticTroupeLines(count, 7.6e8, 1, TroupeXPSource::practice);
}

constexpr std::int64_t kMaxLines = 1000000;

const std::vector<std::string>& lines() {
    static const std::vector<std::string> all = makeLines(kMaxLines);
    return all;
}

// Runs `each` over the first state.range(0) lines.
template <typename Each>
void overLines(benchmark::State& state, Each each) {
    const auto& all = lines();
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        for (std::size_t i = 0; i < count; ++i) each(all[i]);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SimdjsonParse(benchmark::State& state) {
    simdjson::dom::parser parser;
    overLines(state, [&](const std::string& line) {
        simdjson::dom::element root;
        if (parser.parse(line).get(root) != simdjson::SUCCESS) state.SkipWithError("simdjson refused a line");
        benchmark::DoNotOptimize(root);
    });
}

void BM_GeneralParse(benchmark::State& state) {
    overLines(state, [](const std::string& line) {
        auto document = JsonDocument::parse(line);
        benchmark::DoNotOptimize(document);
    });
}

void BM_TroupeDecodeLines(benchmark::State& state) {
    overLines(state, [](const std::string& line) {
        auto event = decodeTroupeEventLine(line);
        benchmark::DoNotOptimize(event);
    });
}

void BM_TroupeDecodeLinesReference(benchmark::State& state) {
    overLines(state, [](const std::string& line) {
        auto event = decodeTroupeEventLineReference(line);
        benchmark::DoNotOptimize(event);
    });
}

void BM_TroupeDecodeAndFold(benchmark::State& state) {
    const auto& all = lines();
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::vector<TroupeEvent> events;
        events.reserve(count);
        for (std::size_t i = 0; i < count; ++i) events.push_back(decodeTroupeEventLine(all[i]));
        auto snapshot = TroupeFold::fold(events);
        benchmark::DoNotOptimize(snapshot);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_SimdjsonParse)->Arg(100000)->Arg(kMaxLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneralParse)->Arg(100000)->Arg(kMaxLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TroupeDecodeLines)->Arg(100000)->Arg(kMaxLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TroupeDecodeLinesReference)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TroupeDecodeAndFold)->Arg(kMaxLines)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
