// What other programs and the system do to the log in a schedule, each move one step.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/troupe/store/troupe_store_model.h"
#include "troupe/event_model/troupe_json.h"

namespace tw::testing::model {

// Another device's line of any kind, stamped ahead, within the last 100 s, or 30 s, 2
// minutes, an hour, a day or two years behind; now and then a repeat of a line's id (ours or
// theirs) stamped earlier or later than it, or a line of a newer schema version.
std::string Schedule::otherLine(std::mt19937_64& rng) {
    constexpr double behinds[] = {-10, -3600, 30, 120, 3600, 86400, 730 * 86400.0};
    const std::size_t age = rng() % 10;
    double behind = age < std::size(behinds) ? behinds[age] : static_cast<double>(rng() % 100);
    behind += static_cast<double>(rng() % 5);
    std::int64_t schemaVersion = rng() % 12 == 0 ? troupeSchemaVersion + 1 : troupeSchemaVersion;
    Uuid id = idFrom(rng);
    if (rng() % 8 == 0) {
        std::lock_guard lock(linesMutex_);
        if (!lines_.empty()) {
            const auto& [repeated, ts] = lines_[rng() % lines_.size()];
            id = repeated;
            behind =
                clock_.now().seconds - ts + (rng() % 2 ? 1.0 : -1.0) * static_cast<double>(1 + rng() % 3600);
            ++repeats_[id];
        }
    }
    const std::int64_t amount = 1 + static_cast<std::int64_t>(rng() % 9);
    const std::string n = std::to_string(rng() % 100);
    const TroupePayload payloads[] = {
        TroupeXPEarned{std::nullopt, amount, TroupeXPSource::click},
        TroupeXPEarned{otherFlea_, amount, TroupeXPSource::keystroke},
        TroupeFleaCreated{otherFlea_, "Flea", 1, "crown", "cannon", Date{0}, {}},
        TroupeFleaRenamed{otherFlea_, "Name " + n},
        TroupeFleaIdOnly{otherFlea_},
        TroupeNodeUnlocked{otherFlea_, "cannon", "n" + std::to_string(amount % 4), amount},
        TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.25 * static_cast<double>(amount)},
        TroupeMilestoneAcknowledged{"theirs" + n, otherDevice_},
        TroupeActAssigned{otherFlea_, "act" + std::to_string(amount % 3)},
        TroupeMilestoneEarned{"theirs" + n}};
    TroupePayload payload = payloads[std::min<std::size_t>(rng() % 12, std::size(payloads) - 1)];
    const auto kind = static_cast<TroupeEventKind>(payload.value.index());
    TroupeEvent event{id,           kind,         std::move(payload), Date{clock_.now().seconds - behind},
                      otherDevice_, schemaVersion};
    remember(event);
    return encodeTroupeEventLine(event) + "\n";
}

void Schedule::remember(const TroupeEvent& event) {
    std::lock_guard lock(linesMutex_);
    lines_.emplace_back(event.id, event.ts.seconds);
}

// Each line of `text` once, a random share of them, others' lines among them.
std::string Schedule::someLines(std::mt19937_64& rng, const std::string& text, bool withOthers) {
    std::set<std::string> seen;
    std::string some;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && rng() % 3 != 0 && seen.insert(line).second) some += line + "\n";
    }
    for (int i = withOthers ? static_cast<int>(rng() % 3) : 0; i > 0; --i) some += otherLine(rng);
    return some;
}

void Schedule::renameCopy() {
    const bool withOthers = rng_() % 2 == 0;
    note(withOthers ? "rename-copy+others" : "rename-copy");
    testing::renameOver(log_, someLines(rng_, testing::readFile(log_), withOthers));
}

void Schedule::makeAgain() {
    if (fs::exists(log_)) return note("make-again(there)");
    note("make-again");
    testing::renameOver(log_, rng_() % 2 ? otherLine(rng_) : "");
}

void Schedule::truncate() {
    const auto size = fs::exists(log_) ? fs::file_size(log_) : 0;
    const int how = static_cast<int>(rng_() % 3);
    std::uintmax_t to = 0;
    if (how == 1) {  // in the middle of a line
        const std::string text = testing::readFile(log_);
        const auto newline = text.find('\n', size / 2);
        to = newline == std::string::npos || newline < 5 ? size / 2 : newline - 5;
    }
    if (how == 2) to = size == 0 ? 0 : rng_() % size;
    note("truncate" + std::to_string(to) + "/" + std::to_string(size));
    if (fs::exists(log_)) fs::resize_file(log_, to);
}

// As a shell's `>`: emptied at once, then written from the start through a descriptor
// of its own, a few lines at each of the steps that follow while this run accepts. Whole
// lines: a piece ending inside one could join the program's bytes to the rest of a line
// of ours into a line that reads as ours, a double no store can tell from its own.
void Schedule::startRewrite() {
    rewriteText_ = someLines(rng_, testing::readFile(log_), true);
    rewriteAt_ = 0;
    note("rewrite");
    rewriteFd_ = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void Schedule::goOnRewriting() {
    if (rewriteFd_ < 0) return;
    const std::size_t lines = 1 + rng_() % 3;
    note("+" + std::to_string(lines) + " lines");
    std::size_t end = rewriteAt_;
    for (std::size_t i = 0; i < lines && end < rewriteText_.size(); ++i)
        end = rewriteText_.find('\n', end) + 1;
    testing::writeAll(rewriteFd_, std::string_view(rewriteText_).substr(rewriteAt_, end - rewriteAt_));
    rewriteAt_ = end;
}

void Schedule::finishRewrite() {
    if (rewriteFd_ < 0) return;
    testing::writeAll(rewriteFd_, std::string_view(rewriteText_).substr(rewriteAt_));
    ::close(rewriteFd_);
    rewriteFd_ = -1;
}

// Another device's line as the schedule says it: its kind, how far behind, a repeated id (^),
// a newer schema version (+).
std::string Schedule::said(const std::string& line) {
    const TroupeEvent event = decodeTroupeLogLine(std::string_view(line).substr(0, line.size() - 1));
    std::lock_guard lock(linesMutex_);
    return " " + std::string(rawValue(event.kind)) + "@" +
           std::to_string(static_cast<long long>(clock_.now().seconds - event.ts.seconds)) +
           (repeats_.contains(event.id) ? "^" : "") + (event.schemaVersion > troupeSchemaVersion ? "+" : "");
}

void Schedule::appendOthers() {
    std::string lines;
    std::string what = "append-others";
    for (int i = 1 + static_cast<int>(rng_() % 3); i > 0; --i) {
        const std::string line = otherLine(rng_);
        what += said(line);
        lines += line;
    }
    note(what);
    const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) testing::writeAll(fd, lines);
    if (fd >= 0) ::close(fd);
}

// The file ends inside this run's last lines: a short read for what reads them back.
void Schedule::cutOurs() {
    const std::string text = testing::readFile(log_);
    std::size_t at = std::string::npos;
    for (std::size_t back = 1 + rng_() % 3; back <= run_.size() && back > 0; --back) {
        at = text.find(run_[run_.size() - back].uuidString());
        if (at != std::string::npos) break;
    }
    if (at == std::string::npos) return note("cut-ours(none there)");
    const std::size_t start = text.rfind('\n', at);
    const std::size_t to = start == std::string::npos ? 0 : start + 1 + rng_() % 20;
    note("cut-ours" + std::to_string(to) + "/" + std::to_string(text.size()));
    fs::resize_file(log_, std::min(to, text.size()));
}

// What sync tools and backups do: an extended attribute, the same mode again, a hard link.
void Schedule::changeMetadata() {
    const int how = static_cast<int>(rng_() % 3);
    note(how == 0 ? "xattr" : how == 1 ? "chmod" : "link");
    if (how == 0) ::setxattr(log_.c_str(), "user.tw", "1", 1, 0);
    if (how == 1) ::chmod(log_.c_str(), 0600);
    std::error_code error;
    if (how == 2) fs::create_hard_link(log_, log_.string() + ".bak" + std::to_string(steps_.size()), error);
}

// Another program's line in two pieces, a few of ours accepted between them.
void Schedule::appendOthersInPieces() {
    const std::string line = otherLine(rng_);
    const std::size_t half = 1 + rng_() % (line.size() - 1);
    const auto gap = std::chrono::milliseconds(rng_() % 50);
    note("others-in-pieces@" + std::to_string(half) + "+" + std::to_string(gap.count()) + "ms" + said(line));
    const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    testing::writeAll(fd, std::string_view(line).substr(0, half));
    for (const auto& event : ours(1 + static_cast<int>(rng_() % 2))) take(event);
    std::this_thread::sleep_for(gap);  // the other program's pace
    testing::writeAll(fd, std::string_view(line).substr(half));
    ::close(fd);
}

// Only the times change: now, the modification time set back, or left as it was.
void Schedule::touch() {
    struct stat info {};
    if (::stat(log_.c_str(), &info) != 0) return note("touch(nothing there)");
    timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    const int how = static_cast<int>(rng_() % 3);
    if (how == 1) times[1] = {info.st_mtim.tv_sec - 1 - static_cast<time_t>(rng_() % 3600), 0};
    if (how == 2) times[1] = info.st_mtim;
    note(how == 0 ? "touch" : how == 1 ? "touch-back" : "touch-same-mtime");
    ::utimensat(AT_FDCWD, log_.c_str(), times, 0);
}

// Another program writes over one of this run's earlier lines, with a line of the same
// length, in the instant after the writer's write of the next line.
void Schedule::writeOverAfterOurs() {
    const auto events = ours(1 + static_cast<int>(rng_() % 3));
    std::set<Uuid> earlier(run_.begin(), run_.end());
    TroupeEvent theirs{idFrom(rng_),
                       TroupeEventKind::milestoneEarned,
                       TroupeMilestoneEarned{""},
                       clock_.now(),
                       otherDevice_,
                       troupeSchemaVersion};
    const std::uint64_t pick = rng_();
    note("write-over-after+accept" + std::to_string(events.size()));
    faults_.afterWriteOf(events[0].id.uuidString(), [this, earlier, theirs, pick](int fd) {
        if (auto id = testing::writeOverLineOf(fd, earlier, theirs, pick)) {
            std::lock_guard lock(writtenOverMutex_);
            writtenOver_.push_back(*id);
        }
    });
    for (const auto& event : events) take(event);
}

// The file at the path fails every read and write for good, as on a mount whose daemon
// died; just after the writer's first write fails, a new file (a copy) takes the path.
void Schedule::killHeldFile() {
    const auto events = ours(1 + static_cast<int>(rng_() % 2));
    const std::uint64_t copySeed = rng_();
    if (faults_.kill(log_)) {
        note("dead-file+accept" + std::to_string(events.size()));
        faults_.afterWriteOf({}, [this, copySeed](int) {
            std::mt19937_64 rng(copySeed);
            testing::renameOver(log_, someLines(rng, testing::readFile(log_), rng() % 2 == 0), ".mounted");
        });
    } else {
        note("dead-file(nothing there)+accept" + std::to_string(events.size()));
    }
    for (const auto& event : events) take(event);
}

}  // namespace tw::testing::model
