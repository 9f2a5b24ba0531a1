#include "agent/host/diary_picker.h"

#include "agent/host/agent_host_tables.h"

namespace tw::agent_host {

DialogueRequest DiaryPicker::nextRequest(const std::vector<RecentLine>& lines, Date now) {
    const auto ranked = busiestResidents(lines, busiestWindowSeconds, now);
    std::string name;
    if (ranked.empty()) {
        std::uniform_int_distribution<std::size_t> pick(0, residents.size() - 1);
        name = std::string(residents[pick(random_)].name);
    } else {
        name = ranked.front().first;
    }
    return DialogueRequest{.flea_id = name,
                           .voice_card = plainVoiceCard(name),
                           .recent_memories = {},
                           .outcome_kind = "growth_moment",
                           .channel = AgentDialogueChannel::diary_line,
                           .seed = seedBits(now)};
}

}  // namespace tw::agent_host
