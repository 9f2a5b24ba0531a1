#pragma once
// Which flea the spotlight is on, who put it there, and when the host may move it: after
// the user has left the strip alone for a while, the host lights the busiest resident
// and moves on at a steady pace until the user acts again.
#include <optional>
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/date.h"
#include "platform/defaults.h"

namespace tw::agent_host {

class Spotlight final {
   public:
    static constexpr double autoIdleSeconds = 30.0;
    static constexpr double autoRotateSeconds = 8.0;

    // `defaults` holds the auto-spotlight setting and must outlive the spotlight; `now`
    // counts as the user's last interaction.
    Spotlight(Defaults& defaults, Date now) : defaults_(defaults), lastUserInteractionAt_(now) {}

    const std::optional<std::string>& attended() const { return attended_; }
    bool isAttended(const std::string& fleaID) const { return attended_ && *attended_ == fleaID; }
    bool autoActive() const { return autoActive_; }
    Date lastUserInteractionAt() const { return lastUserInteractionAt_; }

    // The user's choice (none clears it); the host stops leading.
    void attend(std::optional<std::string> fleaID, Date now);
    // The user's choice stays; the host stops leading and the idle wait restarts.
    void noteUserInteraction(Date now);
    // Read from the defaults once (a stored Boolean, else on), then cached.
    bool enabled();
    // Switching off clears a spotlight the host chose, never one the user chose.
    void setEnabled(bool enabled);
    // Once a tick: moves the spotlight when the host may, by the feed's recent lines.
    void tick(Date now, const std::vector<RecentLine>& lines);

   private:
    Defaults& defaults_;
    std::optional<std::string> attended_;
    Date lastUserInteractionAt_;
    bool autoActive_ = false;
    Date autoLastRotateAt_{};  // read only while autoActive_
    std::optional<bool> enabled_;
};

}  // namespace tw::agent_host
