#pragma once
// Whose diary line comes next and what it asks for: the resident who spoke most in the
// last hour, else a resident drawn at random.
#include <random>
#include <vector>

#include "agent/dialogue_records.h"
#include "agent/host/agent_activity.h"
#include "platform/date.h"

namespace tw::agent_host {

class DiaryPicker final {
   public:
    static constexpr double busiestWindowSeconds = 3600.0;

    DiaryPicker() : random_(std::random_device{}()) {}

    // The request for a diary line at `now`; its flea_id names the flea.
    DialogueRequest nextRequest(const std::vector<RecentLine>& lines, Date now);

   private:
    std::mt19937_64 random_;
};

}  // namespace tw::agent_host
