#pragma once
// The snapshot kept up to date one appended event at a time, equal to what folding
// the whole log gives at the next launch. The fold orders events by time, then id;
// events stamped within a few seconds of each other arrive in that order only by
// chance. So the events of the last minute stay in a sorted tail over a settled
// base, and an event that lands before others of the tail is replayed into place.
// Events that commute with everything after them (XP and milestones, the bulk of a
// busy log) are applied in place without a replay, in the base too however old.
// Another event that lands among the settled ones (and while one such waits, any that
// does) is shown at once, out of its place: after every settled event and before the
// tail, which holds this run's own events (stamped now). Nothing settles until the whole
// log is folded again, so this run's later events stay after it, never hidden by an older
// line: the snapshot is the fold of the log with those events moved to just before the
// tail (see outOfPlace()), and the refold puts them in their place.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_snapshot.h"
#include "troupe/snapshot/troupe_uuid_set.h"

namespace tw {

class TroupeFoldSession;

class TroupeLiveFold {
   public:
    // How far back in time an appended event may land and still be put in its place.
    static constexpr double reorderWindowSeconds = 60;

    TroupeLiveFold();
    ~TroupeLiveFold();
    // Folds a loaded log (every line that decoded, in file order), keeping the events
    // from `tailFrom` on in the tail.
    TroupeLiveFold(std::vector<TroupeEvent> events, Date tailFrom);

    // Folding a log while it is read: events are taken one at a time in file order. A
    // log's lines stand only roughly in the fold's order (times are whole seconds, ids
    // random, and a line may be written a little after its time), so they wait in a
    // sorted window and each is folded once it is older than the latest time read (that
    // two lines in a row reached: one line far ahead waits) by more than
    // reorderWindowSeconds; the result is the fold of the sorted log. One that belongs
    // before one folded already goes into the tail when it is of the tail's time (the
    // first line of its id); else take() refuses it (and changes nothing): the caller
    // then folds the whole log with the constructor above. `seenBefore`: an
    // earlier line of the log had the same id (the caller's index knows).
    // finishTaking() folds what still waits and ends the reading.
    explicit TroupeLiveFold(Date tailFrom);
    bool take(TroupeEvent&& event, bool seenBefore);
    void finishTaking();

    // Applies an accepted event (a known schema version, an id not seen before) at
    // time `now`. One that belongs among the settled events goes there when it commutes
    // with every settled event after it and none waits out of its place. False when it
    // does not: it waits out of its place (see above), and only folding the whole log
    // again (with an earlier `tailFrom`) puts it there.
    bool apply(const TroupeEvent& event, Date now);
    // A line of the log as the load takes it: one of a newer schema version is skipped
    // (its id is no one's until a known version comes), and of two lines with one id the
    // one earlier in the fold's order counts, the first on a tie. `seenBefore`: an earlier
    // line had the same id. False when only folding the whole log again can put it in its
    // place: a repeat that lands among the settled events, where the line of its id that
    // counts may come after it, changes nothing until then.
    bool applyLine(const TroupeEvent& event, bool seenBefore, Date now);

    const TroupeSnapshot& snapshot() const { return snapshot_; }

    // For checks: the snapshot is the fold of the log without `repeats`, with `moved` after
    // the last settled event (the time and id `after`) and before the rest.
    struct OutOfPlace {
        std::optional<std::pair<Date, Uuid>> after;
        std::vector<std::pair<Date, Uuid>> moved;
        std::vector<std::pair<Date, Uuid>> repeats;
    };
    OutOfPlace outOfPlace() const;

   private:
    struct Key {
        Date ts;
        Uuid id;
    };
    struct KeyLess {
        bool operator()(const Key& a, const Key& b) const;
    };
    static Key keyOf(const TroupeEvent& event) { return Key{event.ts, event.id}; }
    void settleBefore(Date boundary);
    void foldNextTaken();
    void toBase(TroupeFoldSession& session, const TroupeEvent& event);
    void toTail(Key key, TroupeEvent event);
    bool applyBeforeTail(const TroupeEvent& event);
    bool applyRepeat(const TroupeEvent& event, Date now);
    void show(const TroupeEvent& event, bool atTheEnd);
    void replayTail();

    TroupeSnapshot snapshot_;
    TroupeSnapshot base_;                        // every event before the tail
    std::map<Key, TroupeEvent, KeyLess> tail_;   // in fold order
    std::set<Key, KeyLess> tailOrderDependent_;  // tail events that do not commute
    std::optional<Key> lastSettled_;             // the order key of the base's last event
    // Of its last event that XP (0) and milestones (1) do not commute with, and how many
    // such events the tail holds.
    std::array<std::optional<Key>, 2> lastSettledBarrier_;
    std::array<std::set<Key, KeyLess>, 2> tailBarriers_;
    // Out of their place until the whole log is folded again: replayed between the base
    // and the tail; and repeats of a settled line's id, which change nothing there.
    std::map<Key, TroupeEvent, KeyLess> late_;
    std::vector<Key> lateRepeats_;
    // Ids whose every line read is of a newer schema version: the first known one counts.
    std::unordered_set<Uuid, TroupeUuidHash> newerOnly_;
    Date settledBefore_{};  // tail events older than this move into the base
    std::int64_t count_ = 0;

    // While taking a log: its session over the base, the window of events waiting to be
    // folded and the last one folded.
    struct Taking;
    std::unique_ptr<Taking> taking_;
};

}  // namespace tw
