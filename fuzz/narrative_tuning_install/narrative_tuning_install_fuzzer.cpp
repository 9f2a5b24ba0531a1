// Arbitrary bytes as a tuning document. A refused document must leave the installed
// tuning alone; an accepted one must install exactly what it says, so writing the
// installed tuning out and installing that again changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "narrative/flea_narrative_tuning.h"
#include "platform/json.h"
#include "platform/log.h"

namespace {

// Something other than the defaults, so "left alone" is visible.
tw::FleaNarrativeTuning marker() {
    tw::FleaNarrativeTuning tuning;
    tuning.schemaVersion = 7;
    tuning.memoryGate.tagMysteriousMin = 0.125;
    return tuning;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tw::log::setSinkForTesting([](std::string_view) {});  // every refused document logs a line
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const tw::FleaNarrativeTuning before = marker();
    tw::FleaNarrativeTuning::setCurrent(before);

    if (!tw::FleaNarrativeTuning::install(input)) {
        if (!(tw::FleaNarrativeTuning::current() == before)) std::abort();  // half-installed
        return 0;
    }
    const tw::FleaNarrativeTuning installed = tw::FleaNarrativeTuning::current();
    // install() and a plain decode must agree.
    const tw::OrderedJson document = tw::parseJson(input);
    if (!(tw::FleaNarrativeTuning::fromJson(tw::JsonReader(document)) == installed)) std::abort();

    std::string first;
    try {
        first = tw::dumpJson(installed.toJson());
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // decoding only accepts finite numbers
    }
    tw::FleaNarrativeTuning::setCurrent(before);
    if (!tw::FleaNarrativeTuning::install(first)) std::abort();
    const tw::FleaNarrativeTuning reinstalled = tw::FleaNarrativeTuning::current();
    if (!(reinstalled == installed)) std::abort();
    if (tw::dumpJson(reinstalled.toJson()) != first) std::abort();
    return 0;
}
