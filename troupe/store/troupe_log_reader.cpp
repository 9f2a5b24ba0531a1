#include "troupe/store/troupe_log_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>
#include <utility>

#include "platform/atomic_file.h"
#include "troupe/event_model/troupe_json.h"

namespace tw {

namespace {

bool isBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

struct Line {
    std::string_view text;
    std::uint64_t offset;
};

// A decoded line takes a few hundred bytes whatever its length: a block of tiny lines
// (a damaged log) is cut short at this many, so memory follows the bytes read.
constexpr std::size_t kMaxBlockLines = std::size_t{1} << 15;

// One result a line of a block, empty where the line did not decode, and the lines'
// offsets. The vectors are reused from block to block.
struct DecodedBlock {
    std::vector<std::optional<TroupeEvent>> results;
    std::vector<std::uint64_t> offsets;
};

// Decodes a block's lines on every core while the caller reads the next block and hands
// over the last one. Lines are independent, and decoding them is nearly all of the work
// of a load.
class BlockDecoder {
   public:
    // Starts on `lines`, which (and the text they view) must live until wait().
    void start(const std::vector<Line>& lines, DecodedBlock& into) {
        lines_ = &lines;
        into_ = &into;
        into.results.resize(lines.size());
        into.offsets.resize(lines.size());
        static const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
        const std::size_t share = std::max<std::size_t>((lines.size() + threads - 1) / threads, 256);
        for (std::size_t from = 0; from < lines.size(); from += share)
            helpers_.emplace_back(
                [this, from, to = std::min(lines.size(), from + share)] { work(from, to); });
    }

    // Throws what a helper could not decode past, once all are joined.
    void wait() {
        for (auto& helper : helpers_) helper.join();
        helpers_.clear();
        lines_ = nullptr;
        if (auto failure = std::exchange(failure_, nullptr)) std::rethrow_exception(failure);
    }

    bool busy() const { return lines_ != nullptr; }

   private:
    void work(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const Line& line = (*lines_)[i];
            into_->offsets[i] = line.offset;
            try {
                into_->results[i] = decodeTroupeLogLine(line.text);
            } catch (const std::bad_alloc&) {
                // Not the line's fault: the read fails, as one on the reading thread does.
                failure_ = std::current_exception();
                return;
            } catch (const std::exception&) {
                into_->results[i].reset();
            }
        }
    }

    const std::vector<Line>* lines_ = nullptr;
    DecodedBlock* into_ = nullptr;
    std::vector<std::thread> helpers_;
    std::exception_ptr failure_;  // any helper's; one is enough
};

// Puts a block's ids in the index, noting which were there already, and counts the
// lines that did not decode. The events per byte of a first block of some size foretell
// the ids of the bytes the file holds on disk, so the index is sized once; otherwise it
// grows with the events read. Never from the apparent size alone: a sparse file's holes
// hold no events, and lines that do not decode count for none.
void indexBlock(TroupeEventIndex* index, const DecodedBlock& block, std::uint64_t heldBytes,
                std::vector<bool>& seenBefore, std::int64_t& skipped) {
    const auto& results = block.results;
    seenBefore.assign(results.size(), false);
    const auto failed =
        std::count_if(results.begin(), results.end(), [](const auto& event) { return !event; });
    skipped += failed;
    if (index == nullptr) return;
    const std::size_t events = results.size() - static_cast<std::size_t>(failed);
    std::size_t expected = index->size() + events;
    constexpr std::uint64_t kForetellingBytes = std::uint64_t{1} << 20;
    if (index->size() == 0 && !results.empty() && block.offsets.back() >= kForetellingBytes) {
        const double perByte = static_cast<double>(events) / static_cast<double>(block.offsets.back());
        expected =
            std::max(expected, static_cast<std::size_t>(perByte * static_cast<double>(heldBytes) * 1.05));
    }
    index->reserve(expected);
    constexpr std::size_t ahead = 8;  // ids looked up ahead: the index is far bigger than a cache
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i + ahead < results.size() && results[i + ahead]) index->prefetch(results[i + ahead]->id);
        if (results[i]) seenBefore[i] = !index->insert(results[i]->id, block.offsets[i]);
    }
}

}  // namespace

atomic_file::OpenedFile openTroupeLog(const std::filesystem::path& file, std::string& unusable) {
    unusable.clear();
    atomic_file::OpenedFile opened = atomic_file::openRegular(file);
    switch (opened.status) {
        case atomic_file::ReadStatus::ok:
        case atomic_file::ReadStatus::missing:
            break;
        case atomic_file::ReadStatus::notAFile:  // a link to nothing too: writing would follow it
            unusable = "it is " + opened.why;
            break;
        default:
            unusable = opened.why.empty() ? "it cannot be opened" : opened.why;
            break;
    }
    return opened;
}

std::string troupeLogLineAt(int fd, std::uint64_t offset) {
    std::string line;
    char buffer[4096];
    for (ssize_t got;
         (got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset + line.size()))) > 0;) {
        const std::string_view chunk(buffer, static_cast<std::size_t>(got));
        const auto newline = chunk.find('\n');
        line.append(chunk.substr(0, newline));
        if (newline != std::string_view::npos || line.size() > troupeLogMaxLineBytes) break;
    }
    return line;
}

TroupeEvent decodeTroupeLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return decodeTroupeEventLine(line);
}

TroupeLoadedLog readTroupeLog(const std::filesystem::path& file, std::uint64_t maxLineBytes,
                              std::size_t blockBytes, const TroupeLogReadControl& control) {
    TroupeLoadedLog log;
    const atomic_file::OpenedFile opened = openTroupeLog(file, log.readError);
    if (opened.status != atomic_file::ReadStatus::ok) return log;
    return readTroupeLog(opened, maxLineBytes, blockBytes, control);
}

TroupeLoadedLog readTroupeLog(const atomic_file::OpenedFile& opened, std::uint64_t maxLineBytes,
                              std::size_t blockBytes, const TroupeLogReadControl& control) {
    std::vector<TroupeEvent> events;
    std::vector<std::uint64_t> offsets;
    TroupeLoadedLog log = readTroupeLogBlocks(
        opened, 0, nullptr,
        [&](std::vector<std::optional<TroupeEvent>>& block, const std::vector<std::uint64_t>& blockOffsets,
            const std::vector<bool>&) {
            for (std::size_t i = 0; i < block.size(); ++i) {
                if (!block[i]) continue;
                events.push_back(std::move(*block[i]));
                offsets.push_back(blockOffsets[i]);
            }
        },
        control, maxLineBytes, blockBytes);
    log.events = std::move(events);
    log.offsets = std::move(offsets);
    return log;
}

TroupeLoadedLog readTroupeLogBlocks(const std::filesystem::path& file, TroupeEventIndex* index,
                                    TroupeLogBlockSink sink, const TroupeLogReadControl& control,
                                    std::uint64_t maxLineBytes, std::size_t blockBytes) {
    TroupeLoadedLog log;
    const atomic_file::OpenedFile opened = openTroupeLog(file, log.readError);
    if (opened.status != atomic_file::ReadStatus::ok) return log;
    return readTroupeLogBlocks(opened, 0, index, sink, control, maxLineBytes, blockBytes);
}

TroupeLoadedLog readTroupeLogBlocks(const atomic_file::OpenedFile& opened, std::uint64_t from,
                                    TroupeEventIndex* index, TroupeLogBlockSink sink,
                                    const TroupeLogReadControl& control, std::uint64_t maxLineBytes,
                                    std::size_t blockBytes) {
    TroupeLoadedLog log;
    // A pipeline of three: block k+1 is read and split into lines while block k is
    // decoded on every core and block k-1 is taken by the sink (folding) on its own
    // thread. Block k is indexed as soon as it is decoded, while k+1 decodes: three
    // blocks' results are in hand at once.
    std::array<DecodedBlock, 3> blocks;
    std::array<std::vector<bool>, 3> seenBefore;
    std::size_t decoding = 0;
    std::uint64_t heldBytes = 0;  // what the file holds on disk
    BlockDecoder decoder;
    std::thread taking;
    std::exception_ptr sinkFailure;  // what the sink threw: the read fails with it
    auto joinTaking = [&] {
        if (taking.joinable()) taking.join();
    };
    auto finishTaking = [&] {
        joinTaking();
        if (sinkFailure) std::rethrow_exception(std::exchange(sinkFailure, nullptr));
    };
    auto decodeAndHandOver = [&](const std::vector<Line>& lines) {
        const bool decoded = decoder.busy();
        const std::size_t done = decoding;
        // The next block goes to neither the one just decoded nor the one the sink takes.
        if (decoded) {
            decoder.wait();
            decoding = (decoding + 1) % blocks.size();
        }
        if (!lines.empty()) decoder.start(lines, blocks[decoding]);
        if (!decoded) return;
        indexBlock(index, blocks[done], heldBytes, seenBefore[done], log.skippedLines);
        finishTaking();
        taking = std::thread([&sink, &sinkFailure, &block = blocks[done], &seen = seenBefore[done]] {
            try {
                sink(block.results, block.offsets, seen);
            } catch (...) {
                sinkFailure = std::current_exception();
            }
        });
    };
    const int fd = opened.fd;
    if (struct stat info{}; ::fstat(fd, &info) == 0) {
        log.file = atomic_file::FileIdentity::of(info);
        log.changedAt = info.st_ctim;
        log.modifiedAt = info.st_mtim;
    }
    if (from == 0) log.hashes.emplace();
    const auto readAt = control.read ? control.read : TroupeLogReadControl::ReadFunction(::pread);
    // Only what the file held when opened is read: no more than a regular file's bytes,
    // and a small log needs no big buffer.
    std::uint64_t unread = opened.size > from ? opened.size - from : 0;
    heldBytes = std::min(opened.size, opened.allocated);
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(blockBytes, unread + 1));
    // Each block's bytes, lines and carried line stay put while it is decoded.
    std::array<std::vector<char>, 2> buffers;
    std::array<std::vector<Line>, 2> blockLines;
    std::array<std::string, 2> helds;
    std::size_t current = 0;
    std::string carry;              // the start of a line that runs past the block
    std::uint64_t carryOffset = 0;  // where that line starts in the file
    bool carryTooLong = false;      // the line outgrew maxLineBytes: skip to its end
    std::uint64_t position = opened.size > from ? from : opened.size;
    // A read that throws, or a thread that cannot be started, leaves no thread on the blocks.
    struct JoinAtExit {
        std::function<void()> join;
        ~JoinAtExit() { join(); }
    } joinAtExit{[&] {
        if (decoder.busy()) {
            try {
                decoder.wait();
            } catch (...) {  // the read fails with what was thrown first
            }
        }
        joinTaking();
    }};
    // Queues one line of the current block; the carried one is kept alive in its `held`.
    auto take = [&](std::string_view text, std::uint64_t offset) {
        if (text.size() > maxLineBytes) {
            ++log.skippedLines;
        } else if (!isBlank(text)) {
            blockLines[current].push_back(Line{text, offset});
        }
    };
    for (;; current ^= 1) {
        // A quit must not wait for the rest of a large log.
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) {
            log.stopped = true;
            break;
        }
        std::vector<char>& buffer = buffers[current];
        std::vector<Line>& lines = blockLines[current];
        std::string& held = helds[current];
        buffer.resize(std::max<std::size_t>(want, 1));
        const ssize_t got = unread == 0
                                ? 0
                                : readAt(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), unread),
                                         static_cast<off_t>(position));
        if (got < 0) {
            if (errno == EINTR) {
                current ^= 1;  // the same block again
                continue;
            }
            log.readError = std::strerror(errno);
            break;
        }
        if (got == 0) break;
        std::string_view block(buffer.data(), static_cast<std::size_t>(got));
        lines.clear();
        std::size_t start = 0;
        for (std::size_t newline; (newline = block.find('\n', start)) != std::string_view::npos;
             start = newline + 1) {
            if (lines.size() == kMaxBlockLines) {
                block = block.substr(0, start);  // the rest is read again with the next block
                break;
            }
            const std::string_view piece = block.substr(start, newline - start);
            if (carryTooLong) {
                ++log.skippedLines;
                carryTooLong = false;
            } else if (!carry.empty()) {
                held = std::move(carry);
                carry.clear();
                if (held.size() + piece.size() > maxLineBytes) {
                    ++log.skippedLines;
                    held.clear();
                } else {
                    held.append(piece);
                    take(held, carryOffset);
                }
            } else {
                take(piece, position + start);
            }
        }
        // The rest of the block starts a line that the next block ends.
        const std::string_view rest = block.substr(start);
        if (!rest.empty()) {
            if (carry.empty() && !carryTooLong) carryOffset = position + start;
            if (!carryTooLong && carry.size() + rest.size() <= maxLineBytes) {
                carry.append(rest);
            } else {
                carryTooLong = true;
                carry.clear();
            }
        }
        decodeAndHandOver(lines);
        if (log.hashes) log.hashes->append(block);
        position += block.size();
        unread -= block.size();
        log.endsWithNewline = block.back() == '\n';
        log.tail.append(block.substr(block.size() - std::min(block.size(), troupeLogTailBytes)));
        if (log.tail.size() > troupeLogTailBytes) log.tail.erase(0, log.tail.size() - troupeLogTailBytes);
    }
    log.endOffset = position;
    // A last line without its newline: a crash cut it, or it is complete but unterminated.
    blockLines[current].clear();
    if (carryTooLong) {
        ++log.skippedLines;
    } else if (!carry.empty() && !log.stopped) {
        helds[current] = std::move(carry);
        take(helds[current], carryOffset);
    }
    decodeAndHandOver(blockLines[current]);
    decodeAndHandOver({});
    finishTaking();
    if (log.stopped || !log.readError.empty()) log.hashes.reset();
    return log;
}

}  // namespace tw
