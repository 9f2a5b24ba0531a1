#pragma once
// The quit's one look at what the file at the log's path lacks of this run, beside the
// loader's reads, which it never waits for. Every line of this run is read back where it
// was written, at a cost in proportion to this run's lines; when all read back, nothing is
// appended. Otherwise the file at the path is scanned for the ids of those that did not
// (no line decoded but those holding one), and the lines whose ids it lacks are appended.
// When that scan fails or cannot end by the deadline, the lines that did not read back stay
// kept on this machine for the next start (`kept`), or, with nothing kept, are appended
// unscanned, some perhaps twice. The scan's thread is then left to end on its own: it holds
// its own descriptor and state, and nothing of the store's.
#include <chrono>
#include <cstddef>

#include "troupe/store/troupe_log_reader.h"

namespace tw {

class TroupeLogWriter;

struct TroupeLogQuitReconcile {
    std::size_t appended = 0;  // lines of this run appended again
    std::size_t lost = 0;      // lines the file may lack that this run's own copy cannot give back
    bool unread = false;       // without scanning the file: some may be there twice now
    bool unanswered = false;   // the writer did not answer by the deadline: nothing was looked at
    bool readBack = false;     // every line of this run read back where it was written
    std::size_t unknown = 0;   // lines not known to be in the file, left kept (with `kept`)
    // Once what is queued is written; `read` is pread(2) as the scan calls it. `kept`: every
    // line of this run is kept on this machine until the log is seen to hold it.
    static TroupeLogQuitReconcile run(TroupeLogWriter& writer, const TroupeLogReadControl::ReadFunction& read,
                                      std::chrono::steady_clock::time_point deadline, bool kept = false);
};

}  // namespace tw
