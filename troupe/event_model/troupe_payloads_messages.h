#pragma once
// Bodies of the correspondence events: chat messages, letters, conversations and
// anniversaries.
#include <optional>
#include <string>

#include "platform/date.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_enums.h"
#include "troupe/event_model/troupe_payloads_flea.h"  // TW_TROUPE_DECLARE_HASH

namespace tw {

// "flea_message_from_user". messageId defaults to a fresh random id in code only.
struct TroupeFleaMessageFromUser {
    Uuid fleaId;
    Uuid messageId = Uuid::random();
    std::string body;
    std::optional<Uuid> conversationId;
    friend bool operator==(const TroupeFleaMessageFromUser& a, const TroupeFleaMessageFromUser& b);
};

// "flea_message_from_flea"
struct TroupeFleaMessageFromFlea {
    Uuid fleaId;
    Uuid messageId = Uuid::random();
    std::string body;
    std::optional<Uuid> inReplyTo;
    TroupeMessageSource modelTier = TroupeMessageSource::foundation;
    std::optional<Uuid> conversationId;
    friend bool operator==(const TroupeFleaMessageFromFlea& a, const TroupeFleaMessageFromFlea& b);
};

// "letter_written". periodStart may lie after periodEnd; nothing checks it.
struct TroupeLetterWritten {
    Uuid fleaId;
    Uuid letterId = Uuid::random();
    std::string body;
    Date periodStart;
    Date periodEnd;
    std::optional<TroupeAnniversaryKind> anniversaryKind;
    friend bool operator==(const TroupeLetterWritten& a, const TroupeLetterWritten& b);
};

// "letter_read"
struct TroupeLetterId {
    Uuid letterId;
    friend bool operator==(const TroupeLetterId&, const TroupeLetterId&) = default;
};

// "letter_acknowledged"
struct TroupeLetterAcknowledged {
    Uuid letterId;
    std::optional<Uuid> replyMessageId;
    friend bool operator==(const TroupeLetterAcknowledged&, const TroupeLetterAcknowledged&) = default;
};

// "conversation_started"
struct TroupeConversationStarted {
    Uuid fleaId;
    Uuid conversationId;
    friend bool operator==(const TroupeConversationStarted&, const TroupeConversationStarted&) = default;
};

// "anniversary_triggered"
struct TroupeAnniversaryTriggered {
    Uuid fleaId;
    TroupeAnniversaryKind anniversaryKind = TroupeAnniversaryKind::oneYear;
    Date originalEventTs;
    friend bool operator==(const TroupeAnniversaryTriggered&, const TroupeAnniversaryTriggered&) = default;
};

}  // namespace tw

TW_TROUPE_DECLARE_HASH(TroupeFleaMessageFromUser)
TW_TROUPE_DECLARE_HASH(TroupeFleaMessageFromFlea)
TW_TROUPE_DECLARE_HASH(TroupeLetterWritten)
TW_TROUPE_DECLARE_HASH(TroupeLetterId)
TW_TROUPE_DECLARE_HASH(TroupeLetterAcknowledged)
TW_TROUPE_DECLARE_HASH(TroupeConversationStarted)
TW_TROUPE_DECLARE_HASH(TroupeAnniversaryTriggered)
