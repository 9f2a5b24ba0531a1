#include "troupe/store/troupe_log_held_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <thread>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {
// A descriptor whose file system went (a FUSE daemon that died, a stale NFS handle, a
// device pulled): nothing more can be done with it, while its path may work again.
bool failedForGood(int error) {
    return error == EIO || error == ENOTCONN || error == ESTALE || error == ENODEV;
}
// The quit's wait for lines past a lagging size is on the writer's clock, in real steps no
// more than twice as many as it takes: a clock that stands still ends it too.
constexpr int kQuitStepsAtMost =
    2 * static_cast<int>(TroupeLogHeldFile::unreachedAtQuit / (TroupeLogHeldFile::unreachedLookEvery / 5));
double seconds(std::chrono::milliseconds span) { return std::chrono::duration<double>(span).count(); }
}  // namespace

TroupeLogHeldFile::TroupeLogHeldFile(std::filesystem::path file, WriteFunction write, TroupeRunLedger& ledger,
                                     std::function<void(std::uint64_t)> changed, Appended appended,
                                     std::function<void()> poke, TroupeLogReadControl net,
                                     std::function<double()> secondsClock)
    : file_(std::move(file)),
      write_(write ? std::move(write) : WriteFunction(::write)),
      ledger_(ledger),
      changed_(std::move(changed)),
      appended_(std::move(appended)),
      net_(std::move(net), std::move(secondsClock)),
      watch_(file_, std::move(poke)) {}

TroupeLogHeldFile::~TroupeLogHeldFile() {
    if (fd_ >= 0) ::close(fd_);
}

TroupeLogCut TroupeLogHeldFile::cut() {
    TroupeLogCut cut;
    cut.file.status = atomic_file::ReadStatus::missing;
    atomic_file::OpenedFile opened;     // by the look at the path, on a shared mount
    if (fd_ >= 0) followPath(&opened);  // the file at the path is the one to read
    if (fd_ >= 0 || openFile()) cut.file = readable(std::move(opened));
    if (struct stat info{};
        cut.file.status == atomic_file::ReadStatus::ok && ::fstat(cut.file.fd, &info) == 0)
        cut.identity = atomic_file::FileIdentity::of(info);
    cut.ledgerEntries = ledger_.size();
    cut.changes = changes_;
    return cut;
}

void TroupeLogHeldFile::expect(TroupeLogPathWatch::Seen seen, std::optional<TroupeLogBlockHashes> hashes) {
    net_.expect(seen, std::move(hashes));
    watch_.expect(std::move(seen));
}

std::vector<TroupeRunLedger::Line> TroupeLogHeldFile::placeFound(TroupeRunLedger::Comparison comparison,
                                                                 std::uint64_t changesAtCut,
                                                                 std::optional<TroupeLogBlockHashes> hashes) {
    if (quitLooked_) return {};
    if (fd_ >= 0) followPath();
    if (changes_ != changesAtCut) return {};  // the reconcile that follows compares again
    // Written (again) since the cut, past where its read reached: not for it to judge. Two
    // reconciles may read before the first's lines go back.
    std::erase_if(comparison.missing, [&](const TroupeRunLedger::Line& line) {
        return ledger_.placedPast(line.entry, changes_, comparison.reach);
    });
    // Found anywhere in the file, a line of ours is found.
    for (const auto& [entry, offset] : comparison.found) {
        ledger_.place(entry, {changes_, offset});
        unseen_.found(entry);
    }
    // What the read saw of the file held, and what went to it since.
    const std::uint64_t reach = watch_.seen() ? watch_.seen()->size : 0;
    if (fd_ >= 0 && watch_.seen()) net_.take(fd_, std::move(hashes), reach);
    std::vector<TroupeRunLedger::Line> missing;
    // Only a shared mount's size may lag its bytes: on a disk a file that ends before a line
    // of ours was cut short.
    for (auto& [line, offset] : comparison.unreached) {
        if (!freshReads())
            missing.push_back(std::move(line));
        else
            waitFor(std::move(line), offset, true);
    }
    // Those past a lagging size are written again only when nothing of them can be past it.
    for (auto& line : comparison.missing)
        if (!unseen_.contains(line.entry)) missing.push_back(std::move(line));
    for (auto& line : unseen_.takeEndedWithin(comparison.missing, changes_, reach))
        missing.push_back(std::move(line));
    std::vector<TroupeRunLedger::Line> gone = takeUnreached();
    std::move(gone.begin(), gone.end(), std::back_inserter(missing));
    std::sort(missing.begin(), missing.end(),  // in the order accepted
              [](const auto& a, const auto& b) { return a.entry < b.entry; });
    return missing;
}

void TroupeLogHeldFile::waitFor(TroupeRunLedger::Line line, std::uint64_t from, bool placed) {
    unseen_.add(std::move(line), from, changes_, placed ? 0 : writes_);
    unseenAddedAt_ = net_.secondsNow();
}

// A line of this run is written again only once the bytes where it went are read and are
// not it (see TroupeLogUnseenLines).
std::vector<TroupeRunLedger::Line> TroupeLogHeldFile::takeUnreached() {
    if (unseen_.empty()) return {};
    auto taken = unseen_.lookIn(fd_, sizeNow(), changes_, freshReads());
    for (const auto& [entry, at] : taken.found) ledger_.place(entry, {changes_, at});
    return std::move(taken.gone);
}

// The held file's size as its file system says now (on a shared mount, the last look's
// open asked the server); 0 without one.
std::uint64_t TroupeLogHeldFile::sizeNow() {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::pair<TroupeLogCut, std::vector<TroupeRunLedger::Line>> TroupeLogHeldFile::lookBeforeQuitting() {
    atomic_file::OpenedFile opened;  // by the look at the path, on a shared mount
    if (fd_ >= 0) followPath(&opened);
    // Lines of ours past a size that lags are given a moment to come within reach: each
    // look opens the path again, which asks the file system. Those still unseen are kept by
    // this run, not written again: they may only be late.
    const double until = net_.secondsNow() + seconds(unreachedAtQuit);
    for (int step = 0; fd_ >= 0 && !unseen_.empty() && net_.secondsNow() < until && step < kQuitStepsAtMost;
         ++step) {
        std::this_thread::sleep_for(unreachedLookEvery / 5);
        opened = {};
        followPath(&opened);
        (void)takeUnreached();
    }
    if (fd_ < 0 && ledger_.size() > 0) openFile();
    TroupeLogCut cut;
    cut.file.status = atomic_file::ReadStatus::missing;
    if (fd_ >= 0) cut.file = readable(std::move(opened));
    cut.ledgerEntries = ledger_.size();
    cut.changes = changes_;
    auto doubtful = ledger_.notReadingBack(cut.file.fd, cut.ledgerEntries);
    std::erase_if(doubtful, [&](const TroupeRunLedger::Line& line) { return unseen_.contains(line.entry); });
    quitLooked_ = true;
    return {std::move(cut), std::move(doubtful)};
}

std::string TroupeLogHeldFile::lineAt(std::uint64_t offset) {
    const atomic_file::OpenedFile atPath =
        fd_ >= 0 ? atomic_file::OpenedFile{} : atomic_file::openRegular(file_);
    return troupeLogLineAt(fd_ >= 0 ? fd_ : atPath.fd, offset);
}

void TroupeLogHeldFile::changed() {
    net_.forget(false);  // a reconcile's read brings the hashes again
    ++changes_;
    changed_(changes_);
}

// Lets go of a descriptor that failed for good, a change: the lines go to the path.
bool TroupeLogHeldFile::dropFailed(int error) {
    if (fd_ < 0 || !failedForGood(error)) return false;
    log::system("The troupe log " + file_.string() + " failed under the app (" + std::strerror(error) +
                "); writing to its path again once it can be");
    ::close(fd_);
    fd_ = -1;
    watch_.forget();
    changed();
    return true;
}

void TroupeLogHeldFile::report(const std::string& what, const std::string& why) {
    if (!reported_ && !holding_)
        log::system("Cannot " + what + " the troupe log " + file_.string() + ": " + why);
    reported_ = true;
}

void TroupeLogHeldFile::sync() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0 && !dropFailed(errno))
        log::system(std::string("Cannot sync the troupe log: ") + std::strerror(errno));
    dirty_ = false;
}

}  // namespace tw