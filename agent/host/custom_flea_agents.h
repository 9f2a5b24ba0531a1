#pragma once
// The user's custom fleas as agents: which of the roster's fleas are registered with the
// scheduler, and the XP each earns for its own decisions, spaced out per flea.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent/agent_records.h"
#include "agent/host/custom_flea_roster.h"
#include "platform/date.h"
#include "platform/uuid.h"

namespace tw::agent_host {

class CustomFleaAgents final {
   public:
    static constexpr double xpSpacingSeconds = 5.0;

    struct Changes {
        std::vector<RosterFlea> added;  // in roster order
        std::vector<Uuid> removed;
    };

    // No roster: residents only. The roster must outlive this.
    explicit CustomFleaAgents(CustomFleaRoster* roster) : roster_(roster) {}

    // Takes the roster's current fleas as the registered ones and says what changed.
    Changes reconcile();
    const std::set<Uuid>& registered() const { return registered_; }
    // Awards a custom flea the XP its decision earns, unless it had some less than
    // xpSpacingSeconds before `now`. Any other flea earns none.
    void awardXP(const std::string& fleaID, AgentAction action, Date now);

   private:
    CustomFleaRoster* roster_;
    std::set<Uuid> registered_;
    std::map<Uuid, Date> lastXPAwardAt_;
};

}  // namespace tw::agent_host
