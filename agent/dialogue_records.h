#pragma once
// The two records of a dialogue exchange: a request for one short in-character line
// and the line that answers it. JSON lives in dialogue_records_json.h.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/agent_records.h"
#include "platform/raw_enum.h"

namespace tw {

enum class AgentDialogueTone { tender, playful, brave, wistful, proud, mysterious, cozy, electric };

enum class AgentDialogueGenerator { llm, template_ };

template <>
struct RawEnumCases<AgentDialogueTone> {
    static constexpr std::array<std::pair<AgentDialogueTone, std::string_view>, 8> table{{
        {AgentDialogueTone::tender, "tender"},
        {AgentDialogueTone::playful, "playful"},
        {AgentDialogueTone::brave, "brave"},
        {AgentDialogueTone::wistful, "wistful"},
        {AgentDialogueTone::proud, "proud"},
        {AgentDialogueTone::mysterious, "mysterious"},
        {AgentDialogueTone::cozy, "cozy"},
        {AgentDialogueTone::electric, "electric"},
    }};
};

template <>
struct RawEnumCases<AgentDialogueGenerator> {
    static constexpr std::array<std::pair<AgentDialogueGenerator, std::string_view>, 2> table{{
        {AgentDialogueGenerator::llm, "llm"},
        {AgentDialogueGenerator::template_, "template"},
    }};
};

// A request for one line.
struct DialogueRequest {
    static constexpr std::size_t maxRecentMemories = 3;

    std::string flea_id{};
    VoiceCard voice_card{};
    std::vector<AgentMemory> recent_memories{};
    std::string outcome_kind{};
    AgentDialogueChannel channel = AgentDialogueChannel::thought_bubble;
    std::uint64_t seed = 0;

    // Keeps only the first 3 memories.
    static DialogueRequest make(std::string flea_id, VoiceCard voice_card,
                                std::vector<AgentMemory> recent_memories, std::string outcome_kind,
                                AgentDialogueChannel channel, std::uint64_t seed);

    friend bool operator==(const DialogueRequest&, const DialogueRequest&) = default;
};

// One line.
struct AgentDialogueLine {
    static constexpr std::size_t maxTextCharacters = 140;  // grapheme clusters

    std::string text{};
    AgentDialogueTone tone = AgentDialogueTone::tender;
    std::optional<std::string> refers_to_memory_id{};
    AgentDialogueGenerator generated_by = AgentDialogueGenerator::template_;
    std::string cache_key{};

    // Cuts the text to its first 140 user-perceived characters.
    static AgentDialogueLine make(std::string text, AgentDialogueTone tone,
                                  std::optional<std::string> refers_to_memory_id,
                                  AgentDialogueGenerator generated_by, std::string cache_key);

    friend bool operator==(const AgentDialogueLine&, const AgentDialogueLine&) = default;
};

}  // namespace tw

// A hash agreeing with ==, so lines can key unordered containers.
TW_DECLARE_STD_HASH(tw::AgentDialogueLine);
