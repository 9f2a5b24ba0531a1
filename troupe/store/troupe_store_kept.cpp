// What this run keeps on this machine's own disk until the log holds it: what runs of the
// same log that are gone kept, written where the log lacks it, and the quit's end of it.
#include "platform/log.h"
#include "platform/paths.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_log_keep.h"
#include "troupe/store/troupe_log_loader.h"
#include "troupe/store/troupe_log_quit_reconcile.h"
#include "troupe/store/troupe_log_writer.h"
#include "troupe/store/troupe_store.h"

namespace tw {

namespace {

std::string troupeEvents(std::size_t count) {
    return std::to_string(count) + " troupe event" + (count == 1 ? "" : "s");
}

}  // namespace

std::filesystem::path TroupeStore::defaultKeepDirectory() { return paths::stateDirectory() / "troupe"; }

void TroupeStore::startKeeping(std::filesystem::path folder) {
    if (folder.empty()) return;
    keep_ = std::make_unique<TroupeLogKeep>(std::move(folder), logFile_);
    // Before the load reads the log: a line of theirs cut short at its end is taken off.
    if (!keep_->takeOrphans().empty() && unusableLog_.empty()) keep_->takeBackFragment(logFile_);
    // Another run of the same log on this machine may end while this one runs.
    keepLook_ = mainQueue_.repeat(keepLookSeconds, [this] { adoptKept(); });
}

// The lines that runs of this log that are gone kept: those the log lacks are appended as this
// run's (whatever their age: they were accepted then), and kept by it; their files go.
void TroupeStore::adoptKept() {
    if (!keep_ || !loaded_ || stopped_ || !unusableLog_.empty()) return;
    // Found while this run follows the log: held, and written at the next look, once this run
    // has seen the last lines the run that kept them wrote. Those held since the start were
    // gone before the load read the log.
    if (!keep_->holdsOrphans()) {
        keep_->takeOrphans();
        return;
    }
    const auto& kept = keep_->orphanLines();
    std::size_t written = 0;
    for (const auto& [event, line] : kept) {
        if (index_->contains(event.id)) continue;
        keep_->keep(line);
        accept(event, line, false);
        ++written;
    }
    const std::size_t held = kept.size() - written;
    keep_->endOrphans(keep_->whole());
    if (written + held == 0) return;
    log::system("Wrote " + troupeEvents(written) + " kept on this machine by a run of " + logFile_.string() +
                " that is gone, which the log lacked (" + std::to_string(held) + " it held already)");
    if (written > 0) notifications_.post(snapshotChangedNotification);
}

// What the quit's look found, said; this run's kept file goes only when every line of the run
// read back from the log where it was written and the last lines were written.
void TroupeStore::endQuit(const TroupeLogQuitReconcile& quit, bool written) {
    if (quit.unanswered) {
        log::system("Quitting while the troupe log " + logFile_.string() +
                    " does not answer; this run's events were not looked for in it");
    } else if (quit.unread && quit.appended > 0) {
        log::system("Quitting before the troupe log " + logFile_.string() +
                    " could be read again; appended " + troupeEvents(quit.appended) +
                    " of this run again, some perhaps twice");
    } else if (quit.appended > 0) {
        log::system("Appended " + troupeEvents(quit.appended) + " of this run that the troupe log " +
                    logFile_.string() + " lacked, to quit");
    }
    if (quit.lost > 0)
        log::system(troupeEvents(quit.lost) + " of this run that the troupe log " + logFile_.string() +
                    " may lack could not be read back from this run's own copy; they may be lost");
    if (!keep_) return;
    if (quit.readBack && written) {
        keep_->drop();
    } else if (keep_->lines() > 0) {
        const std::size_t unseen = quit.unknown + writer_->unwrittenLines();
        log::system(troupeEvents(keep_->lines()) + " of this run stay kept in " + keep_->file().string() +
                    " until the troupe log " + logFile_.string() + " is seen to hold them" +
                    (unseen > 0 ? " (" + std::to_string(unseen) + " not seen in it)" : "") +
                    "; the next start writes those it lacks");
    }
}

}  // namespace tw
