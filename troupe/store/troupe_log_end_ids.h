#pragma once
// The ids of the last lines of a log file: what a file that took the log's place holds
// of this run's lines, where a copy of the log has them, without reading a log of GBs.
#include <cstdint>

#include "platform/atomic_file.h"
#include "troupe/store/troupe_event_index.h"

namespace tw {

// The ids in the last lines of `opened` (up to its size), far enough back to hold a copy
// of `ownBytes` of this run's lines and what was written after it. Starts at a line's
// start; empty when the file cannot be read.
TroupeEventIndex idsNearTheEnd(const atomic_file::OpenedFile& opened, std::uint64_t ownBytes);

}  // namespace tw
