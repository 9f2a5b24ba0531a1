// Arbitrary bytes offered to every agent, dialogue and stage-state record decoder. Whatever one
// decodes must encode, decode to an equal value and encode to the same text again.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "agent/agent_records_json.h"
#include "agent/dialogue_records_json.h"
#include "agent/flea_stage_state.h"
#include "platform/json.h"

namespace {

template <typename T>
void roundTrip(const tw::OrderedJson& document) {
    T value;
    try {
        value = tw::decodeJson<T>(tw::JsonReader(document));
    } catch (const tw::JsonDecodeError&) {
        return;
    }
    std::string first;
    try {
        first = tw::dumpJson(tw::toJson(value));
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // the decoder let through a value its own encoder refuses
    }
    const tw::OrderedJson reparsed = tw::parseJson(first);
    const T again = tw::decodeJson<T>(tw::JsonReader(reparsed));
    if (!(again == value)) std::abort();
    if (tw::dumpJson(tw::toJson(again)) != first) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::optional<tw::OrderedJson> document;
    try {
        document = tw::parseJson(input);
    } catch (const tw::JsonDecodeError&) {
        return 0;
    }
    roundTrip<tw::VoiceCard>(*document);
    roundTrip<tw::MoodDimensions>(*document);
    roundTrip<tw::WorldSnapshot>(*document);
    roundTrip<tw::StageState>(*document);
    roundTrip<tw::AgentMemory>(*document);
    roundTrip<tw::MemoriesByTier>(*document);
    roundTrip<tw::AgentPosition>(*document);
    roundTrip<tw::DialogueHook>(*document);
    roundTrip<tw::AgentIntent>(*document);
    roundTrip<tw::AgentInput>(*document);
    roundTrip<tw::DialogueRequest>(*document);
    roundTrip<tw::AgentDialogueLine>(*document);
    roundTrip<tw::FleaStageState>(*document);
    return 0;
}
