#include "troupe/store/troupe_log_held_file_unseen.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace tw {
namespace {
constexpr std::uint64_t kMostRead = std::uint64_t{4} << 20;  // another device's lines of seconds
}  // namespace

void TroupeLogUnseenLines::add(TroupeRunLedger::Line line, std::uint64_t from, std::uint64_t epoch,
                               std::uint64_t write) {
    if (!contains(line.entry))
        waiting_.push_back(
            Waiting{std::move(line), from, epoch, write, std::nullopt, std::nullopt, std::nullopt});
}

bool TroupeLogUnseenLines::contains(std::size_t entry) const {
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [&](const Waiting& w) { return w.line.entry == entry; });
}

void TroupeLogUnseenLines::placedLater(std::uint64_t epoch, std::uint64_t offset, std::uint64_t write,
                                       bool verified) {
    for (Waiting& waiting : waiting_) {
        if (verified && waiting.epoch < epoch &&
            (!waiting.endsByLater || waiting.endsByLater->first != epoch))
            waiting.endsByLater = {epoch, offset};
        if (waiting.epoch != epoch || waiting.write >= write || waiting.from >= offset ||
            waiting.endsBy.value_or(offset + 1) <= offset)
            continue;
        waiting.endsBy = offset;
        waiting.lookedAt.reset();  // its bytes may all be there to read now
    }
}

void TroupeLogUnseenLines::found(std::size_t entry) {
    std::erase_if(waiting_, [&](const Waiting& w) { return w.line.entry == entry; });
}

bool TroupeLogUnseenLines::endsWithin(std::size_t entry, std::uint64_t epoch, std::uint64_t reach) const {
    return std::any_of(waiting_.begin(), waiting_.end(), [&](const Waiting& w) {
        if (w.line.entry != entry) return false;
        if (w.epoch < epoch)
            return w.endsByLater && w.endsByLater->first == epoch && w.endsByLater->second <= reach;
        return w.epoch == epoch && w.endsBy && *w.endsBy <= reach;
    });
}

std::vector<TroupeRunLedger::Line> TroupeLogUnseenLines::takeEndedWithin(
    const std::vector<TroupeRunLedger::Line>& lacked, std::uint64_t epoch, std::uint64_t reach) {
    std::vector<TroupeRunLedger::Line> gone;
    for (const auto& line : lacked) {
        if (!endsWithin(line.entry, epoch, reach)) continue;
        found(line.entry);
        gone.push_back(line);
    }
    return gone;
}

TroupeLogUnseenLines::Taken TroupeLogUnseenLines::lookIn(int fd, std::uint64_t size, std::uint64_t epoch,
                                                         bool fresh) {
    Taken taken;
    if (fd < 0) return taken;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> placed;  // offset, write: in the file they went to
    std::erase_if(waiting_, [&](Waiting& waiting) {
        const std::pair<std::uint64_t, std::uint64_t> now{epoch, size};
        if (waiting.lookedAt == now) return false;
        waiting.lookedAt = now;
        // In the file it went to, from where it may start; in one changed since (a save that
        // dropped or moved lines before it), the last bytes, the rest being a reconcile's.
        const bool same = waiting.epoch == epoch && waiting.from < size;
        const std::uint64_t to = same && waiting.endsBy ? std::min(*waiting.endsBy, size) : size;
        const auto at = troupeLogLineFrom(fd, same ? waiting.from : 0, to, waiting.line.text, fresh, !same);
        if (at) {
            taken.found.emplace_back(waiting.line.entry, *at);
            if (same) placed.emplace_back(*at, waiting.write);
            return true;
        }
        // Its bytes were read, up to where a later line of ours starts: not there.
        if (!same || !waiting.endsBy || *waiting.endsBy > size || *waiting.endsBy - waiting.from > kMostRead)
            return false;
        taken.gone.push_back(std::move(waiting.line));
        return true;
    });
    for (const auto& [offset, write] : placed) placedLater(epoch, offset, write, true);
    return taken;
}

std::optional<std::uint64_t> troupeLogLineFrom(int fd, std::uint64_t from, std::uint64_t to,
                                               std::string_view line, bool fresh, bool back) {
    if (fd < 0 || to < from + line.size()) return std::nullopt;
    if (to - from > kMostRead) {
        if (back)
            from = to - kMostRead;
        else
            to = from + kMostRead;
    }
    if (fresh) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);  // the file system's bytes
    const std::uint64_t start = from > 0 ? from - 1 : 0;        // with the byte before: a line's end
    std::string bytes(to - start, '\0');
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(start));
    if (got <= 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    for (std::size_t at = bytes.find(line); at != std::string::npos; at = bytes.find(line, at + 1))
        if (start + at == 0 || (at > 0 && bytes[at - 1] == '\n')) return start + at;
    return std::nullopt;
}

}  // namespace tw
