#include "troupe/store/troupe_log_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "troupe/event_model/troupe_json.h"

namespace tw {

namespace {

bool isBlank(std::string_view line) {
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    return true;
}

class LineSink {
   public:
    explicit LineSink(TroupeLoadedLog& log) : log_(log) {}

    void line(std::string_view text, std::uint64_t offset) {
        if (isBlank(text)) return;
        try {
            log_.events.push_back(decodeTroupeLogLine(text));
            log_.offsets.push_back(offset);
        } catch (const std::exception&) {
            ++log_.skippedLines;
        }
    }

   private:
    TroupeLoadedLog& log_;
};

}  // namespace

TroupeEvent decodeTroupeLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return decodeTroupeEventLine(line);
}

TroupeLoadedLog readTroupeLog(const std::filesystem::path& file, std::uint64_t maxLineBytes) {
    TroupeLoadedLog log;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) log.readError = std::strerror(errno);
        return log;
    }
    LineSink sink(log);
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::vector<char> buffer(kChunk);
    std::string carry;              // the start of a line that runs past the chunk
    std::uint64_t carryOffset = 0;  // where that line starts in the file
    bool carryTooLong = false;      // the line outgrew maxLineBytes: skip to its end
    std::uint64_t position = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            log.readError = std::strerror(errno);
            break;
        }
        if (got == 0) break;
        std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
        std::size_t start = 0;
        while (start < chunk.size()) {
            const std::size_t newline = chunk.find('\n', start);
            const std::size_t end = newline == std::string_view::npos ? chunk.size() : newline;
            const std::string_view piece = chunk.substr(start, end - start);
            const std::uint64_t pieceOffset = position + start;
            if (newline == std::string_view::npos) {
                if (carry.empty() && !carryTooLong) carryOffset = pieceOffset;
                if (!carryTooLong && carry.size() + piece.size() <= maxLineBytes) {
                    carry.append(piece);
                } else {
                    carryTooLong = true;
                    carry.clear();
                }
                break;
            }
            if (carryTooLong || carry.size() + piece.size() > maxLineBytes) {
                ++log.skippedLines;
                carryTooLong = false;
                carry.clear();
            } else if (!carry.empty()) {
                carry.append(piece);
                sink.line(carry, carryOffset);
                carry.clear();
            } else {
                sink.line(piece, pieceOffset);
            }
            start = newline + 1;
        }
        position += static_cast<std::uint64_t>(got);
        log.endsWithNewline = chunk.back() == '\n';
    }
    ::close(fd);
    log.endOffset = position;
    // A last line without its newline: a crash cut it, or it is complete but unterminated.
    if (carryTooLong) {
        ++log.skippedLines;
    } else if (!carry.empty()) {
        sink.line(carry, carryOffset);
    }
    return log;
}

}  // namespace tw
