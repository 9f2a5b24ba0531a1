#pragma once
// The hand-written lines of the template generator. The order inside each list is
// data: recent picks are remembered by position.
#include <map>
#include <string>
#include <vector>

#include "agent/dialogue_records.h"

namespace tw {

struct CandidateLine {
    std::string text;  // may hold "{flea}" and "{partner}"
    AgentDialogueTone tone = AgentDialogueTone::cozy;
    friend bool operator==(const CandidateLine&, const CandidateLine&) = default;
};

using TemplateBank = std::map<std::string, std::vector<CandidateLine>>;

// Lower-case outcome kind -> lines.
const TemplateBank& genericBank();
// Lower-case flea name + "_" + lower-case outcome kind -> lines.
const TemplateBank& residentBank();
// For outcome kinds the generic bank lacks.
const std::vector<CandidateLine>& defaultCandidateLines();

}  // namespace tw
