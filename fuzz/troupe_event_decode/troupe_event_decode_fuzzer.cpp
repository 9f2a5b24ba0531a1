// Arbitrary bytes into the log-line decoder. Whatever decodes must encode again,
// and that line must decode to the same text once more (a stable round trip).
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "troupe/event_model/troupe_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::optional<tw::TroupeEvent> event;
    try {
        event = tw::decodeTroupeEventLine(input);
    } catch (const tw::JsonDecodeError&) {
        return 0;
    }
    std::string first;
    try {
        first = tw::encodeTroupeEventLine(*event);
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // a decoded event that cannot be written again would strand its line
    }
    const std::string second = tw::encodeTroupeEventLine(tw::decodeTroupeEventLine(first));
    if (first != second) std::abort();
    return 0;
}
