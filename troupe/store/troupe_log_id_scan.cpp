#include "troupe/store/troupe_log_id_scan.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <unordered_set>

namespace tw {

namespace {

// A quoted id: its quotes around 8-4-4-4-12 hex digits joined by hyphens.
constexpr std::size_t kQuotedIdBytes = 38;

// The wanted ids not seen yet, and a filter on their first eight digits: nearly every
// other id in the log fails it for one load, so few are parsed.
class PendingIds {
   public:
    explicit PendingIds(const std::vector<Uuid>& wanted) : ids_(wanted.begin(), wanted.end()) {
        for (const Uuid& id : ids_) {
            const std::size_t bit = filterBit(id.uuidString().data());
            filter_[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
    }

    bool empty() const { return ids_.empty(); }

    // Whether `line` holds an unseen id's text between quotes. Only every fourth byte is
    // looked at first: an id's four hyphens lie at four different remainders, so one is seen.
    bool heldIn(std::string_view line) const {
        for (std::size_t hyphen = kFirstHyphen; hyphen + kQuotedIdBytes <= line.size() + kLastHyphen;
             hyphen += 4) {
            if (line[hyphen] != '-') continue;
            for (std::size_t before = kFirstHyphen; before <= kLastHyphen && before <= hyphen; before += 5)
                if (holdsAt(line, hyphen - before)) return true;
        }
        return false;
    }

    // True the first time `id`, a wanted one, is taken.
    bool take(const Uuid& id) { return ids_.erase(id) != 0; }

   private:
    static constexpr std::size_t kFirstHyphen = 9;  // from the opening quote
    static constexpr std::size_t kLastHyphen = 24;
    static constexpr int kFilterBits = 16;

    bool holdsAt(std::string_view line, std::size_t quote) const {
        if (quote + kQuotedIdBytes > line.size()) return false;
        const char* quoted = line.data() + quote;
        if (quoted[0] != '"' || quoted[kQuotedIdBytes - 1] != '"') return false;
        const std::size_t bit = filterBit(quoted + 1);
        if ((filter_[bit / 64] >> (bit % 64) & 1) == 0) return false;
        const auto id = Uuid::parse(line.substr(quote + 1, kQuotedIdBytes - 2));
        return id && ids_.contains(*id);
    }

    static std::size_t filterBit(const char* digits) {
        std::uint64_t word = 0;
        std::memcpy(&word, digits, sizeof word);
        word |= 0x2020202020202020ULL;  // hex letters of either case alike; digits keep theirs
        return static_cast<std::size_t>(word * 0x9E3779B97F4A7C15ULL >> (64 - kFilterBits));
    }

    std::unordered_set<Uuid> ids_;
    std::array<std::uint64_t, (std::size_t{1} << kFilterBits) / 64> filter_{};
};

}  // namespace

TroupeLogIdScan scanTroupeLogForIds(const atomic_file::OpenedFile& opened, const std::vector<Uuid>& wanted,
                                    const TroupeLogReadControl& control, std::size_t blockBytes) {
    TroupeLogIdScan scan;
    PendingIds pending(wanted);
    // Only here is a line decoded: the id is found as the event's own, not as other text.
    auto look = [&](std::string_view line) {
        if (line.size() > troupeLogMaxLineBytes || !pending.heldIn(line)) return;
        try {
            const Uuid id = decodeTroupeLogLine(line).id;
            if (pending.take(id)) scan.found.push_back(id);
        } catch (const std::bad_alloc&) {
            throw;  // not the line's fault
        } catch (const std::exception&) {
        }
    };
    const auto readAt = control.read ? control.read : TroupeLogReadControl::ReadFunction(::pread);
    std::vector<char> buffer(std::min<std::uint64_t>(std::max<std::size_t>(blockBytes, 1), opened.size));
    std::string carry;          // the start of a line that runs past the block
    bool carryTooLong = false;  // that line outgrew the limit: skip to its end
    for (std::uint64_t position = 0; position < opened.size && !pending.empty();) {
        // A quit must not wait for the rest of a large log.
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) {
            scan.stopped = true;
            return scan;
        }
        const ssize_t got =
            readAt(opened.fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), opened.size - position),
                   static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            scan.readError = std::strerror(errno);
            return scan;
        }
        if (got == 0) break;  // the file is shorter than it was
        position += static_cast<std::uint64_t>(got);
        std::string_view block(buffer.data(), static_cast<std::size_t>(got));
        for (std::size_t newline; (newline = block.find('\n')) != std::string_view::npos;
             block.remove_prefix(newline + 1)) {
            const std::string_view piece = block.substr(0, newline);
            if (carry.empty() && !carryTooLong) {
                look(piece);
                continue;
            }
            if (!carryTooLong && carry.size() + piece.size() <= troupeLogMaxLineBytes) {
                carry.append(piece);
                look(carry);
            }
            carry.clear();
            carryTooLong = false;
        }
        carryTooLong = carryTooLong || carry.size() + block.size() > troupeLogMaxLineBytes;
        if (carryTooLong) {
            carry.clear();
        } else {
            carry.append(block);
        }
    }
    // A last line without its newline: cut short by a crash, or whole.
    if (!carryTooLong && !pending.empty()) look(carry);
    return scan;
}

}  // namespace tw
