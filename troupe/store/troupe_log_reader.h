#pragma once
// Reading the troupe log: every line that decodes becomes an event; lines that do not
// are counted and left where they are (a newer program's kinds live there too). Blank
// lines and a trailing CR are ignored. The reader never writes to the file. Only a
// regular file (or a link to one) is read, and no further than its size when opened:
// a FIFO, socket or device at the log's path is unreadable, never waited on.
#include <sys/types.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/function_ref.h"
#include "troupe/event_model/troupe_event.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_log_block_hashes.h"
#include "troupe/store/troupe_log_read_control.h"

namespace tw {

struct TroupeLoadedLog {
    std::vector<TroupeEvent> events;     // decodable lines, in file order
    std::vector<std::uint64_t> offsets;  // byte offset of each event's line
    std::int64_t skippedLines = 0;       // non-blank lines that did not decode
    std::uint64_t endOffset = 0;         // bytes read
    bool endsWithNewline = true;         // false: the last line was cut short
    std::string readError;               // set when the file exists but could not be read
    bool stopped = false;                // the read was asked to stop and ended early
    atomic_file::FileIdentity file;      // which file was read; unknown when none was
    timespec changedAt{-1, -1};          // its st_ctim as the read began; unknown before one
    timespec modifiedAt{-1, -1};         // its st_mtim then
    std::string tail;                    // the last troupeLogTailBytes read (fewer in a smaller file)
    // The hashes of the bytes read, of a read from the start that read them all.
    std::optional<TroupeLogBlockHashes> hashes;
};

inline constexpr std::uint64_t troupeLogMaxLineBytes = std::uint64_t{16} << 20;
inline constexpr std::size_t troupeLogReadBlockBytes = std::size_t{16} << 20;
// What a file's last bytes are kept as, to tell an append from a rewrite by.
inline constexpr std::size_t troupeLogTailBytes = 512;

// Opens the log for reading. `unusable` stays empty when a regular file (or a link to
// one) or nothing is there, and otherwise says what is there instead: then nothing may
// be read from the path or written to it.
atomic_file::OpenedFile openTroupeLog(const std::filesystem::path& file, std::string& unusable);

// A missing file is an empty log; an unusable one an empty log with a readError. Lines longer than
// `maxLineBytes` are skipped unread. The file is read `blockBytes` at a time; each block's lines decode on
// every core.
TroupeLoadedLog readTroupeLog(const std::filesystem::path& file,
                              std::uint64_t maxLineBytes = troupeLogMaxLineBytes,
                              std::size_t blockBytes = troupeLogReadBlockBytes,
                              const TroupeLogReadControl& control = {});
TroupeLoadedLog readTroupeLog(const atomic_file::OpenedFile& opened, std::uint64_t maxLineBytes,
                              std::size_t blockBytes, const TroupeLogReadControl& control);

// Hands each block's lines to `sink` as soon as they are decoded, in file order with
// their offsets, instead of keeping them: the result's events and offsets stay empty.
// A line that did not decode has no event (and counts in skippedLines). The sink may
// move the events out; the vectors are reused for a later block. With an `index`, the
// reader also puts every event's id and offset in it, while the sink runs on the block
// before, and `seenBefore[i]` says whether an earlier line had event i's id; without,
// it is all false.
using TroupeLogBlockSink =
    FunctionRef<void(std::vector<std::optional<TroupeEvent>>& events,
                     const std::vector<std::uint64_t>& offsets, const std::vector<bool>& seenBefore)>;
TroupeLoadedLog readTroupeLogBlocks(const std::filesystem::path& file, TroupeEventIndex* index,
                                    TroupeLogBlockSink sink, const TroupeLogReadControl& control = {},
                                    std::uint64_t maxLineBytes = troupeLogMaxLineBytes,
                                    std::size_t blockBytes = std::size_t{4} << 20);
// The same for a file opened already, read from `from` (a line's start) up to `opened.size`.
TroupeLoadedLog readTroupeLogBlocks(const atomic_file::OpenedFile& opened, std::uint64_t from,
                                    TroupeEventIndex* index, TroupeLogBlockSink sink,
                                    const TroupeLogReadControl& control = {},
                                    std::uint64_t maxLineBytes = troupeLogMaxLineBytes,
                                    std::size_t blockBytes = std::size_t{4} << 20);

// The line starting at `offset` of the file open on `fd`, without its newline; empty when
// unreadable.
std::string troupeLogLineAt(int fd, std::uint64_t offset);

// One line as the reader reads it: the event, or the reason it is skipped.
// Throws JsonDecodeError; the line carries no newline (a trailing CR is allowed).
TroupeEvent decodeTroupeLogLine(std::string_view line);

}  // namespace tw
