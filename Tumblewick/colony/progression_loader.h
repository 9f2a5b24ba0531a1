#pragma once
// Reading the progression document "flea_progression.json". The reader is forgiving:
// a value of the wrong type counts as absent and takes its default; a missing or
// broken document gives the empty spec, without a word: the colony simply offers
// the plain looks.
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "Tumblewick/colony/progression_spec.h"

namespace tw {

// The shipped document is about 27 KB; a larger one than this is refused unread (the
// empty spec), so a stray huge file never takes the memory to parse it.
constexpr std::size_t kProgressionDocumentLimit = std::size_t{4} << 20;

// Reads the first readable candidate (see progressionDocumentCandidates()).
ProgressionSpec loadProgressionSpec();
// The first candidate that is a regular file the app may read is the document; later
// ones are not tried, even when it does not parse or is over the limit. A FIFO or
// device at a candidate's path is passed over without being read.
ProgressionSpec loadProgressionSpec(const std::vector<std::filesystem::path>& candidates);
// Decodes document text. When the document carries a valid "levels" → "thresholds"
// array, MacFleaLevels::thresholds() is replaced with it.
ProgressionSpec readProgressionSpec(std::string_view text);

// Where the document is looked for, in order: $TW_RESOURCE_DIR, the installed share
// folder and the build's copied resources next to the executable, then
// "shared/flea_progression.json" in the working directory.
std::vector<std::filesystem::path> progressionDocumentCandidates();

// The process-wide cache: absent until the first reader fills it; never cleared.
// Main thread only.
std::optional<ProgressionSpec>& progressionSpec();

}  // namespace tw
