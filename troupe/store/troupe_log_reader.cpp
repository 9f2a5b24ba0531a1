#include "troupe/store/troupe_log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>

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

// Decodes a block's lines on every core into `events` (the vectors are reused from block
// to block), dropping the lines that do not decode; `offsets` follow.
// Lines are independent, and decoding them is nearly all of the work of a load.
void decodeLines(const std::vector<Line>& lines, std::vector<TroupeEvent>& events,
                 std::vector<std::uint64_t>& offsets, std::vector<std::optional<TroupeEvent>>& decoded,
                 std::int64_t& skipped) {
    events.clear();
    offsets.clear();
    decoded.resize(lines.size());
    if (lines.empty()) return;
    auto work = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            try {
                decoded[i] = decodeTroupeLogLine(lines[i].text);
            } catch (const std::exception&) {
                decoded[i].reset();
            }
        }
    };
    static const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t share = (lines.size() + threads - 1) / threads;
    if (threads == 1 || lines.size() < 256) {
        work(0, lines.size());
    } else {
        std::vector<std::thread> helpers;
        for (std::size_t from = share; from < lines.size(); from += share)
            helpers.emplace_back(work, from, std::min(lines.size(), from + share));
        work(0, std::min(lines.size(), share));
        for (auto& helper : helpers) helper.join();
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!decoded[i]) {
            ++skipped;
            continue;
        }
        events.push_back(std::move(*decoded[i]));
        offsets.push_back(lines[i].offset);
    }
}

}  // namespace

TroupeEvent decodeTroupeLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return decodeTroupeEventLine(line);
}

TroupeLoadedLog readTroupeLog(const std::filesystem::path& file, std::uint64_t maxLineBytes,
                              std::size_t blockBytes) {
    std::vector<TroupeEvent> events;
    std::vector<std::uint64_t> offsets;
    TroupeLoadedLog log = readTroupeLogBlocks(
        file,
        [&](std::vector<TroupeEvent>& block, const std::vector<std::uint64_t>& blockOffsets) {
            std::move(block.begin(), block.end(), std::back_inserter(events));
            offsets.insert(offsets.end(), blockOffsets.begin(), blockOffsets.end());
        },
        maxLineBytes, blockBytes);
    log.events = std::move(events);
    log.offsets = std::move(offsets);
    return log;
}

TroupeLoadedLog readTroupeLogBlocks(const std::filesystem::path& file, TroupeLogBlockSink sink,
                                    std::uint64_t maxLineBytes, std::size_t blockBytes) {
    TroupeLoadedLog log;
    // Two blocks in flight: while the sink takes one on its own thread (indexing and
    // folding, as long as decoding), the next is read and decoded.
    struct Decoded {
        std::vector<TroupeEvent> events;
        std::vector<std::uint64_t> offsets;
    };
    std::array<Decoded, 2> slots;
    std::size_t next = 0;
    std::vector<std::optional<TroupeEvent>> decoded;
    std::thread taking;
    auto finishTaking = [&] {
        if (taking.joinable()) taking.join();
    };
    auto decodeAndHandOver = [&](const std::vector<Line>& lines) {
        if (lines.empty()) return;
        Decoded& slot = slots[next];
        decodeLines(lines, slot.events, slot.offsets, decoded, log.skippedLines);
        finishTaking();
        taking = std::thread([&sink, &slot] { sink(slot.events, slot.offsets); });
        next ^= 1;
    };
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) log.readError = std::strerror(errno);
        return log;
    }
    // A small log needs no big buffer.
    struct stat info {};
    std::size_t want = blockBytes;
    if (::fstat(fd, &info) == 0 && info.st_size >= 0)
        want = std::min(want, static_cast<std::size_t>(info.st_size) + 1);
    std::vector<char> buffer(std::max<std::size_t>(want, 1));
    std::string carry;              // the start of a line that runs past the block
    std::uint64_t carryOffset = 0;  // where that line starts in the file
    bool carryTooLong = false;      // the line outgrew maxLineBytes: skip to its end
    std::uint64_t position = 0;
    std::vector<Line> lines;
    // Queues one line; the carried one is kept alive in `held` until decoded.
    std::string held;
    auto take = [&](std::string_view text, std::uint64_t offset) {
        if (text.size() > maxLineBytes) {
            ++log.skippedLines;
        } else if (!isBlank(text)) {
            lines.push_back(Line{text, offset});
        }
    };
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            log.readError = std::strerror(errno);
            break;
        }
        if (got == 0) break;
        const std::string_view block(buffer.data(), static_cast<std::size_t>(got));
        lines.clear();
        std::size_t start = 0;
        for (std::size_t newline; (newline = block.find('\n', start)) != std::string_view::npos;
             start = newline + 1) {
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
        position += static_cast<std::uint64_t>(got);
        log.endsWithNewline = block.back() == '\n';
    }
    ::close(fd);
    log.endOffset = position;
    // A last line without its newline: a crash cut it, or it is complete but unterminated.
    lines.clear();
    if (carryTooLong) {
        ++log.skippedLines;
    } else if (!carry.empty()) {
        held = std::move(carry);
        take(held, carryOffset);
    }
    decodeAndHandOver(lines);
    finishTaking();
    return log;
}

}  // namespace tw
