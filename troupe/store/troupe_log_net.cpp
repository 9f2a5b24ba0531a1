#include "troupe/store/troupe_log_net.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"

namespace tw {

TroupeLogNet::TroupeLogNet(TroupeLogReadControl control, std::function<double()> secondsClock)
    : control_(std::move(control)), secondsClock_(std::move(secondsClock)) {}

double TroupeLogNet::secondsNow() const {
    return secondsClock_ ? secondsClock_()
                         : std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
}

std::optional<std::uint64_t> TroupeLogNet::readBackDue(bool draining) {
    const double now = secondsNow();
    const double every = static_cast<double>(readBackEvery.count());
    if (!unverified_ || (!draining && lastReadBack_ && now < *lastReadBack_ + every)) return std::nullopt;
    unverified_ = false;
    // Saved up while nothing was read back, to a cap: the first read-back has the cap.
    const double minutes = lastReadBack_ ? (now - *lastReadBack_) / static_cast<double>(everyMinute.count())
                                         : std::numeric_limits<double>::infinity();
    ownBudget_ = std::min(static_cast<double>(ownBytesAtOnce),
                          ownBudget_ + minutes * static_cast<double>(ownBytesAMinute));
    lastReadBack_ = now;
    return draining ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(ownBudget_);
}

void TroupeLogNet::readBack(std::uint64_t olderBytes) {
    ownBudget_ = std::max(0.0, ownBudget_ - static_cast<double>(olderBytes));
}

void TroupeLogNet::expect(const Seen& seen, std::optional<TroupeLogBlockHashes> hashes) {
    if (hashes && hashes->size() != seen.size) hashes.reset();
    hashes_ = std::move(hashes);
    record_ = Seen{seen.identity, seen.size, seen.changedAt, seen.modifiedAt, {}};
    moved_ = false;
    blind_ = false;
    pass_.reset();
    lastSlice_ = secondsNow();  // the load read the whole file: the next pass is a minute away
}

void TroupeLogNet::take(int fd, std::optional<TroupeLogBlockHashes> hashes, std::uint64_t size) {
    if (!hashes) return;  // taken again by the next pass
    // Past what the writer knows the file holds (another program's line not yet ended):
    // the block it ends in is read again up to there.
    hashes->dropFrom(size);
    hashes_ = std::move(hashes);
    blind_ = false;  // they are of what the troupe was read from
    extend(fd, size);
    if (pass_ && pass_->taking) {  // a pass taking them again has no more to do: the next compares
        pass_.reset();
        moved_ = true;
    }
}

void TroupeLogNet::forget(bool blind) {
    hashes_.reset();
    blind_ = blind;
    // A pass under way that had moved the record on gives it back.
    if (pass_) record_ = pass_->before;
    pass_.reset();
    moved_ = true;
    // A change is read again whole: the pass that takes them again is a minute away.
    lastSlice_ = secondsNow();
}

void TroupeLogNet::noticed() {
    unverified_ = true;
    moved_ = true;
}

void TroupeLogNet::wrote(int fd, const struct stat& before, const struct stat& info, std::uint64_t from,
                         std::uint64_t end, std::string_view ours, bool alone) {
    unverified_ = true;
    // Ours alone on the file as last found: the record moves with it, nothing to compare.
    const bool asFound = !moved_ && alone && record_ && record_->describes(before) && record_->size == from &&
                         static_cast<std::uint64_t>(info.st_size) == end && from + ours.size() == end;
    if (asFound && (hashes_ ? hashes_->size() == from : pass_ && pass_->taking)) {
        record_ = Seen::of(info, end);
        if (hashes_) hashes_->append(ours);  // else the pass taking them reads them at its end
        return;
    }
    moved_ = true;
    extend(fd, end, ours);
}

void TroupeLogNet::appended(int fd, std::uint64_t end) {
    extend(fd, end);
    noticed();  // the same open may have written over lines before them
}

// The hashes on up to `to` of the file `fd`, the last of them `known` (just written); none
// when the bytes before cannot be read (or the read is stopped).
void TroupeLogNet::extend(int fd, std::uint64_t to, std::string_view known) {
    if (!hashes_) return;
    const std::uint64_t readTo = to - std::min<std::uint64_t>(to, known.size());
    if (hashes_->size() > readTo) return forget();
    if (!hashTroupeLogFileOn(*hashes_, fd, readTo, readTo - hashes_->size(), control_) ||
        hashes_->size() != readTo)
        return forget();
    hashes_->append(known);
}

bool TroupeLogNet::sliceDue(bool draining) {
    if (!moved_ && !pass_) return false;
    const double now = secondsNow();
    if (!draining && now < lastSlice_ + static_cast<double>(everyMinute.count())) return false;
    lastSlice_ = now;
    return true;
}

TroupeLogNet::Found TroupeLogNet::slice(int fd, const struct stat& info, std::uint64_t known, bool draining) {
    if (!pass_) {
        if (hashes_ && record_ && record_->describes(info)) {
            moved_ = false;  // a touch put back, or nothing after all
            return Found::same;
        }
        // What moves the file from here on is the next pass's to compare.
        pass_ = Pass{0, std::nullopt, known, record_};
        if (!hashes_) pass_->taking.emplace();
        record_ = Seen::of(info, static_cast<std::uint64_t>(info.st_size));
        moved_ = false;
    }
    std::optional<Found> found;
    if (const auto failure = failureOf(
            [&] { found = pass_->taking ? takeAgain(fd, known, draining) : compare(fd, draining); }))
        log::system("Cannot compare the troupe log's bytes: " + *failure);
    if (!found && (control_.stop == nullptr || !control_.stop->load())) {
        // Unreadable or cut short: the next pass starts from the record as it was, so what
        // started this one is compared then. Stopped: it goes on.
        if (pass_) record_ = pass_->before;
        pass_.reset();
        moved_ = true;
    }
    if (found && *found != Found::notYet) pass_.reset();
    return found.value_or(Found::notYet);
}

// The next blocks of the pass, from where the last pass or slice stopped, round the file:
// a change anywhere is met within one round from when it was made.
std::optional<TroupeLogNet::Found> TroupeLogNet::compare(int fd, bool draining) {
    std::uint64_t budget = draining ? std::numeric_limits<std::uint64_t>::max() : bytesAMinute;
    for (; pass_->compared < hashes_->blocks() && budget > 0; ++pass_->compared) {
        if (nextBlock_ >= hashes_->blocks()) nextBlock_ = 0;
        const auto hash = hashTroupeLogBlock(fd, nextBlock_, hashes_->size(), control_);
        if (!hash) return std::nullopt;
        if (*hash != hashes_->hashOf(nextBlock_)) return Found::differs;
        ++nextBlock_;
        budget -= std::min(budget, TroupeLogBlockHashes::blockBytes);
    }
    return pass_->compared < hashes_->blocks() ? Found::notYet : Found::same;
}

// The hashes read again from the start, up to what the writer knew at the pass's start,
// and on to what it knows now.
std::optional<TroupeLogNet::Found> TroupeLogNet::takeAgain(int fd, std::uint64_t known, bool draining) {
    const std::uint64_t budget = draining ? std::numeric_limits<std::uint64_t>::max() : bytesAMinute;
    const std::uint64_t from = pass_->taking->size();
    if (!hashTroupeLogFileOn(*pass_->taking, fd, pass_->to, budget, control_) ||
        (pass_->taking->size() < pass_->to && pass_->taking->size() - from < budget))
        return std::nullopt;
    if (pass_->taking->size() < pass_->to) return Found::notYet;
    hashes_ = std::move(pass_->taking);
    extend(fd, known);
    if (!hashes_) return std::nullopt;
    // Nothing vouched for the bytes the hashes were taken from: they are read again whole.
    return std::exchange(blind_, false) ? Found::differs : Found::same;
}

TroupeLogNet::Steady::time_point TroupeLogNet::nextCheck() const {
    auto next = Steady::time_point::max();
    const double now = secondsNow();
    const auto in = [&](double left) {
        return Steady::now() + std::chrono::duration_cast<Steady::duration>(
                                   std::chrono::duration<double>(std::max(left, 0.0)));
    };
    if (unverified_)
        next = in(lastReadBack_ ? *lastReadBack_ + static_cast<double>(readBackEvery.count()) - now : 0.0);
    if (moved_ || pass_)
        next = std::min(next, in(lastSlice_ + static_cast<double>(everyMinute.count()) - now));
    return next;
}

}  // namespace tw
