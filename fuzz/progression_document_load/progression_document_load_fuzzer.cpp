// Arbitrary bytes as the progression document. The reader is forgiving and must never
// crash; reading is deterministic, and whatever level table it installs must keep the
// level and progress-bar lookups safe for any experience value.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "Tumblewick/colony/mac_flea_levels.h"
#include "Tumblewick/colony/progression_loader.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tw::log::setSinkForTesting([](std::string_view) {});  // broken documents log a line each
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tw::MacFleaLevels::thresholds() = tw::MacFleaLevels::builtInThresholds();

    const tw::ProgressionSpec spec = tw::readProgressionSpec(input);
    if (!spec.levelThresholds.empty() && tw::MacFleaLevels::thresholds() != spec.levelThresholds)
        std::abort();
    if (!(tw::readProgressionSpec(input) == spec)) std::abort();

    constexpr std::int64_t kProbes[] = {std::numeric_limits<std::int64_t>::min(), -1, 0, 1, 15, 1000, 2600,
                                        std::numeric_limits<std::int64_t>::max()};
    const auto& table = tw::MacFleaLevels::thresholds();
    for (const std::int64_t xp : kProbes) {
        const std::int64_t level = tw::MacFleaLevels::level(xp);
        if (level < 1 || level > static_cast<std::int64_t>(table.size()) + 1) std::abort();
        const auto bounds = tw::MacFleaLevels::progressBounds(xp);
        (void)bounds;
    }
    tw::MacFleaLevels::thresholds() = tw::MacFleaLevels::builtInThresholds();
    return 0;
}
