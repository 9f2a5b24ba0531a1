#pragma once
// One run of the fold over a snapshot. Applying an event to a conversation, a letter
// list or the anniversaries means "append, then stable sort", which is quadratic over a
// long log; the session keeps id indexes instead and appends, and finish() sorts each
// touched list once. A stable sort of the appended list gives the same order as the
// repeated sorts did, and nothing reads those orders until the session ends.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include "platform/uuid.h"
#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_snapshot.h"
#include "troupe/snapshot/troupe_uuid_set.h"

namespace tw {

class TroupeFoldSession {
   public:
    explicit TroupeFoldSession(TroupeSnapshot& snapshot) : snapshot_(snapshot) {}
    TroupeFoldSession(const TroupeFoldSession&) = delete;
    TroupeFoldSession& operator=(const TroupeFoldSession&) = delete;

    void apply(const TroupeEvent& event);
    // Puts every list touched by this session into the fold's order.
    void finish();

   private:
    struct MessageIndex {
        TroupeUuidSet ids;
        bool appended = false;
    };
    struct LetterIndex {
        // Position in the flea's list of the letter a search for that id finds first.
        std::unordered_map<Uuid, std::size_t, TroupeUuidHash> firstById;
        bool appended = false;
    };

    void appendMessage(const Uuid& fleaId, TroupeMessageEntry entry);
    void writeLetter(const TroupeEvent& event, const TroupeLetterWritten& letter);
    TroupeLetterEntry* findLetter(const Uuid& letterId);
    LetterIndex& letterIndex(const Uuid& fleaId);
    void indexFirstLetters(const Uuid& fleaId, LetterIndex& index);
    void addAnniversary(const TroupeEvent& event, const TroupeAnniversaryTriggered& anniversary);
    void replaceWith(const TroupeSnapshot& blob);

    TroupeSnapshot& snapshot_;
    std::map<Uuid, MessageIndex> messages_;
    std::map<Uuid, LetterIndex> letters_;
    // Letter id -> the lowest flea id whose list holds it (the first flea searched).
    std::optional<std::unordered_map<Uuid, Uuid, TroupeUuidHash>> letterOwners_;
    std::optional<std::set<std::pair<Uuid, TroupeAnniversaryKind>>> anniversaryKeys_;
    bool anniversariesAppended_ = false;
};

}  // namespace tw
