#include "dialogue/llm_dialogue_prompt.h"

#include <map>

#include "platform/unicode.h"

namespace tw {

namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += separator;
        out += parts[i];
    }
    return out;
}

}  // namespace

const std::string& LLMDialoguePrompt::fixedInstructions() {
    static const std::string text =
        "You write one short line of dialogue for a tiny circus flea\n"
        "performing on stage. Voice rules:\n"
        "- Brief: \u2264 140 characters. Often much less.\n"
        "- Theatrical, specific, in-character. Never clinical.\n"
        "- No shame or failure framing \u2014 even misses are tender.\n"
        "- Match the flea's voice_style + traits.\n"
        "- Tone field MUST be one of: tender, playful, brave, wistful,\n"
        "  proud, mysterious, cozy, electric.\n"
        "- generated_by MUST be the literal string \"llm\".\n"
        "- cache_key: a short stable identifier you choose.\n"
        "\n";
    return text;
}

std::string LLMDialoguePrompt::outcomeLine(const std::string& outcome_kind) {
    static const std::map<std::string, std::string> lines{
        {"tender_recovery",
         "Outcome: a near-fall, recovered with help. Voice tender, grateful, not melodramatic."},
        {"clean_success", "Outcome: the trick landed cleanly. Voice proud but understated."},
        {"spotlight_bloom", "Outcome: the room and the flea breathed together. Voice electric, present."},
        {"comic_bit", "Outcome: a small joke landed. Voice playful, slightly self-deprecating."},
        {"brave_attempt", "Outcome: the flea tried something harder than usual. Voice brave."},
        {"growth_moment", "Outcome: a tiny improvement over yesterday. Voice wistful, patient."},
        {"strange_magic",
         "Outcome: something mysterious happened \u2014 a glimpse, an omen. Voice mysterious."},
        {"bonding_moment", "Outcome: trust formed with another flea. Voice tender, warm."},
        {"soft_miss", "Outcome: the flea missed but kindly. Voice wistful, never crushed."},
        {"player_gift", "Outcome: the player gave the flea something. Voice tender, grateful."},
        {"return_event", "Outcome: the player came back after being away. Voice cozy, welcoming."},
        {"refusal", "Outcome: the flea is sitting this one out. Voice in-character, no apology."},
        {"pre_action_ritual",
         "Outcome: the flea is doing a tiny superstitious bit before performing. Voice mysterious."},
        {"wander_thought", "Outcome: the flea is mid-walk, observing the tent. Voice cozy."},
    };
    if (auto it = lines.find(unicode::lowercased(outcome_kind)); it != lines.end()) return it->second;
    return "Outcome: " + outcome_kind + ". Voice in-character.";
}

std::string LLMDialoguePrompt::instructions(const DialogueRequest& request) {
    return fixedInstructions() + outcomeLine(request.outcome_kind);
}

std::string LLMDialoguePrompt::prompt(const DialogueRequest& request) {
    const VoiceCard& card = request.voice_card;
    std::string memories;
    const std::size_t shown = std::min<std::size_t>(request.recent_memories.size(), 3);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) memories += '\n';
        memories += "- " + request.recent_memories[i].summary;
    }
    if (shown == 0) memories = "(no recent memories)";

    std::string text;
    text += "Flea: " + card.name;
    text += "\nVoice style: " + card.voice_style;
    text += "\nTraits: " + (card.traits.empty() ? std::string("(none)") : joined(card.traits, ", "));
    text += "\nAmbition: " + card.ambition.value_or("(none)");
    text += "\nSuperstitions: " +
            (card.superstitions.empty() ? std::string("(none)") : joined(card.superstitions, " \u00b7 "));
    text += "\nChannel: " + std::string(rawValue(request.channel));
    text += "\nRecent memories:\n" + memories;
    text += "\n\nWrite " + card.name + "'s line.";
    return text;
}

}  // namespace tw
