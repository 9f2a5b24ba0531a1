// Arbitrary bytes as a narrative state document. Whatever decodes must encode, and the
// encoded text must decode to the same state and encode to the same text again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "narrative/flea_narrative_state.h"
#include "platform/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tw::FleaNarrativeState state;
    try {
        const tw::OrderedJson document = tw::parseJson(input);
        state = tw::FleaNarrativeState::fromJson(tw::JsonReader(document));
    } catch (const tw::JsonDecodeError&) {
        return 0;
    }
    std::string first;
    try {
        first = tw::dumpJson(state.toJson());
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // the decoder let through a value its own encoder refuses
    }
    const tw::OrderedJson reparsed = tw::parseJson(first);
    const tw::FleaNarrativeState again = tw::FleaNarrativeState::fromJson(tw::JsonReader(reparsed));
    if (!(again == state)) std::abort();
    if (tw::dumpJson(again.toJson()) != first) std::abort();
    return 0;
}
