// Arbitrary bytes as a troupe snapshot. Whatever decodes must encode, and the encoded
// text must decode to an equal snapshot (with an equal hash) and the same text again.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "platform/json.h"
#include "troupe/event_model/troupe_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tw::TroupeSnapshot snapshot;
    try {
        const tw::OrderedJson document = tw::parseJson(input);
        snapshot = tw::TroupeSnapshot::fromJson(tw::JsonReader(document));
    } catch (const tw::JsonDecodeError&) {
        return 0;
    }
    std::string first;
    try {
        first = tw::dumpJson(snapshot.toJson());
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // the decoder let through a value its own encoder refuses
    }
    const tw::OrderedJson reparsed = tw::parseJson(first);
    const tw::TroupeSnapshot again = tw::TroupeSnapshot::fromJson(tw::JsonReader(reparsed));
    if (!(again == snapshot)) std::abort();
    if (std::hash<tw::TroupeSnapshot>{}(again) != std::hash<tw::TroupeSnapshot>{}(snapshot)) std::abort();
    if (tw::dumpJson(again.toJson()) != first) std::abort();
    // The queries read every part of a decoded snapshot; none may trip over odd contents.
    (void)snapshot.activeFleas();
    (void)snapshot.allLetters();
    (void)snapshot.totalUserMessageCount();
    (void)snapshot.totalFleaMessageCount();
    (void)snapshot.mostTalkedToFleaId();
    return 0;
}
