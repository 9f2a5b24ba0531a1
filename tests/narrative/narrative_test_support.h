#pragma once
// Builders shared by the narrative tests.
#include <string>
#include <vector>

#include "narrative/flea_narrative_engine.h"
#include "narrative/flea_narrative_tuning.h"

namespace tw::narrative_test {

inline FleaReference flea(const std::string& name) { return FleaReference{std::nullopt, name}; }

inline TumblewickEventRecord event(TumblewickEventType type, const std::string& name = "Pip",
                                   const std::string& act = "trapeze", Date at = Date{800000000.0}) {
    TumblewickEventRecord record;
    record.type = type;
    record.primaryFlea = flea(name);
    record.act = act;
    record.occurredAt = at;
    return record;
}

inline std::vector<std::string> tags(std::initializer_list<const char*> list) {
    return {list.begin(), list.end()};
}

}  // namespace tw::narrative_test
