#pragma once
// The quit's one look at what the file at the log's path lacks of this run, beside the
// loader's reads. When the file held is still the one at the path and every line of this
// run reads back where it was written, nothing is appended, at a cost in proportion to
// this run's lines. Otherwise the file at the path is read once for its ids, with no wait
// for quiet, and the lines of this run whose ids it lacks are appended. Only when that
// read fails or cannot end by the deadline are the lines that did not read back appended
// unread, some perhaps twice. The read's thread is then left to end on its own: it holds
// its own descriptor and state, and nothing of the store's.
#include <chrono>
#include <cstddef>

#include "troupe/store/troupe_log_reader.h"

namespace tw {

class TroupeLogWriter;

struct TroupeLogQuitReconcile {
    std::size_t appended = 0;  // lines of this run appended again
    bool unread = false;       // without reading the file: some may be there twice now
    // Once what is queued is written; `read` is pread(2) as the read calls it.
    static TroupeLogQuitReconcile run(TroupeLogWriter& writer, const TroupeLogReadControl::ReadFunction& read,
                                      std::chrono::steady_clock::time_point deadline);
};

}  // namespace tw
