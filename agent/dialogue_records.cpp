#include "agent/dialogue_records.h"

#include <utility>

#include "platform/unicode.h"

namespace tw {

DialogueRequest DialogueRequest::make(std::string flea_id, VoiceCard voice_card,
                                      std::vector<AgentMemory> recent_memories, std::string outcome_kind,
                                      AgentDialogueChannel channel, std::uint64_t seed) {
    if (recent_memories.size() > maxRecentMemories) recent_memories.resize(maxRecentMemories);
    return DialogueRequest{std::move(flea_id),
                           std::move(voice_card),
                           std::move(recent_memories),
                           std::move(outcome_kind),
                           channel,
                           seed};
}

AgentDialogueLine AgentDialogueLine::make(std::string text, AgentDialogueTone tone,
                                          std::optional<std::string> refers_to_memory_id,
                                          AgentDialogueGenerator generated_by, std::string cache_key) {
    // Count user-perceived characters: a flag or a skin-toned emoji is one, never split.
    if (text.size() > maxTextCharacters && unicode::graphemeCount(text) > maxTextCharacters)
        text = unicode::graphemePrefix(text, maxTextCharacters);
    return AgentDialogueLine{std::move(text), tone, std::move(refers_to_memory_id), generated_by,
                             std::move(cache_key)};
}

}  // namespace tw

std::size_t std::hash<tw::AgentDialogueLine>::operator()(const tw::AgentDialogueLine& v) const noexcept {
    return tw::hashFields(v.text, v.tone, v.refers_to_memory_id, v.generated_by, v.cache_key);
}
