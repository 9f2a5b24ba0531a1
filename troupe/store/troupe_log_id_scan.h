#pragma once
// Which of a few event ids the troupe log holds, found at a quit against a deadline: the
// log's text is searched for the ids, and only a line that holds one is decoded.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {

// Which of `wanted` the log open as `opened` holds (from byte 0 up to opened.size).
struct TroupeLogIdScan {
    std::vector<Uuid> found;  // those of `wanted` a line holds, each once, in file order
    std::string readError;    // the read failed: `found` is what was seen before
    bool stopped = false;     // control.stop was set
};

inline constexpr std::size_t troupeLogIdScanBlockBytes = std::size_t{4} << 20;

// An id counts only as a line's event id: not as a flea's, a device's or any other text.
// Lines that do not decode hold none, nor do lines over troupeLogMaxLineBytes. The file is
// read `blockBytes` at a time, and no further once every wanted id is found.
TroupeLogIdScan scanTroupeLogForIds(const atomic_file::OpenedFile& opened, const std::vector<Uuid>& wanted,
                                    const TroupeLogReadControl& control,
                                    std::size_t blockBytes = troupeLogIdScanBlockBytes);

}  // namespace tw
