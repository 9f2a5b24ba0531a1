// Arbitrary bytes through both log-line readers: the fast one (simdjson) and the
// general parser. Both must give the same event, or the same error at the same path.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "troupe/event_model/troupe_json.h"

namespace {

struct Outcome {
    std::optional<tw::TroupeEvent> event;
    std::string error;  // kind, path and detail
};

template <typename Decode>
Outcome decode(Decode decodeLine, std::string_view line) {
    try {
        return Outcome{decodeLine(line), {}};
    } catch (const tw::JsonDecodeError& error) {
        return Outcome{std::nullopt, error.what()};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const Outcome fast = decode(tw::decodeTroupeEventLine, input);
    const Outcome reference = decode(tw::decodeTroupeEventLineReference, input);
    if (fast.event != reference.event || fast.error != reference.error) std::abort();
    return 0;
}
