#pragma once
// The texts the language model is given for one dialogue request.
#include <string>

#include "agent/dialogue_records.h"

namespace tw {

struct LLMDialoguePrompt {
    LLMDialoguePrompt() = delete;

    // The voice rules, ten lines and an empty one; the outcome line follows directly.
    static const std::string& fixedInstructions();
    // The line for the lower-cased outcome kind; unknown kinds are named as given.
    static std::string outcomeLine(const std::string& outcome_kind);
    static std::string instructions(const DialogueRequest& request);
    static std::string prompt(const DialogueRequest& request);
};

}  // namespace tw
