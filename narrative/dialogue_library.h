#pragma once
// The canned narrative line bank: six lines per outcome, shared by the per-event
// dialogue and by flea conversations. No language model is involved.
#include <optional>
#include <string>

#include "narrative/narrative_vocabulary.h"

namespace tw {

struct DialogueLibraryLines {
    std::string thought{};
    std::string colony{};
    std::string diary{};
    std::optional<std::string> gossip{};
    std::string postShow{};
    std::optional<std::string> relationship{};

    friend bool operator==(const DialogueLibraryLines&, const DialogueLibraryLines&) = default;
};

struct DialogueLibrary {
    // `other` is the name of another flea of the scene; it is used unchanged, even empty.
    static DialogueLibraryLines lines(FleaOutcome outcome, const std::optional<std::string>& other);
};

}  // namespace tw
