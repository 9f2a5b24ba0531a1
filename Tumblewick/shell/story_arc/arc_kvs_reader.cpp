#include "Tumblewick/shell/story_arc/arc_kvs_reader.h"

namespace tw {

bool ArcKVSReader::shouldShow() const { return headline().has_value() && status() == "active"; }

std::optional<std::string> ArcKVSReader::text(const char* key) const {
    std::optional<std::string> value = store_.stringForKey(key);
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace tw
