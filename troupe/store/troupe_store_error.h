#pragma once
// Why the troupe store refused an event, and the result of an append.
#include <variant>

#include "troupe/event_model/troupe_event.h"

namespace tw {

enum class TroupeStoreError {
    clockSkew,                 // ts outside TroupeClock's window around now
    unsupportedSchemaVersion,  // written by a newer program than this one
    encodingFailed,            // the event has no JSON form (a non-finite number, an unwritable date)
    writeBacklogFull,          // the log cannot be written, and the events waiting for it fill their room
    logUnavailable,            // no usable log: something other than a regular file is at its path
};

const char* toString(TroupeStoreError error);

// The stored event, or why nothing was stored.
using TroupeAppendResult = std::variant<TroupeEvent, TroupeStoreError>;

}  // namespace tw
