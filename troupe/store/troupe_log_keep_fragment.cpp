// The start of a line of ours left at the very end of the log by a write cut short (a full
// server disk, a run killed between two writes of one line on a mount): every load would skip
// it as unreadable. Taken back off only while it is the file's very end, unchanged since it was
// read, and the start of a line that a run of this machine that is gone kept whole: that line
// is then written with the rest of what the log lacks. Any start of it counts: the cut falls
// where a block of the file ends, inside the device id as often as past it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/log.h"
#include "troupe/store/troupe_log_keep.h"
#include "troupe/store/troupe_log_path_watch.h"

namespace tw {

void TroupeLogKeep::takeBackFragment(const std::filesystem::path& logFile) const {
    std::size_t longest = 0;
    for (const KeptLine& kept : orphanLines_) longest = std::max(longest, kept.line.size());
    const int fd = longest == 0 ? -1 : ::open(logFile.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return;
    struct stat before {};
    std::string tail;
    if (::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) && before.st_size > 0) {
        // Shorter than its line: the last `longest` bytes hold the newline before it.
        tail.resize(std::min<std::uint64_t>(static_cast<std::uint64_t>(before.st_size), longest));
        const off_t from = before.st_size - static_cast<off_t>(tail.size());
        if (::pread(fd, tail.data(), tail.size(), from) != static_cast<ssize_t>(tail.size())) tail.clear();
        const std::size_t newline = tail.rfind('\n');
        if (newline == std::string::npos && from > 0) tail.clear();
        tail.erase(0, newline == std::string::npos ? 0 : newline + 1);
    }
    const bool ours =
        !tail.empty() && std::any_of(orphanLines_.begin(), orphanLines_.end(), [&](const KeptLine& k) {
            return k.line.size() > tail.size() && k.line.starts_with(tail);
        });
    struct stat now {};
    if (ours && ::fstat(fd, &now) == 0 && now.st_size == before.st_size &&
        sameTime(now.st_mtim, before.st_mtim) &&
        ::ftruncate(fd, before.st_size - static_cast<off_t>(tail.size())) == 0)
        log::system("Took back the start of a troupe event of this machine's (" +
                    std::to_string(tail.size()) + " bytes) that a write cut short left at the end of " +
                    logFile.string() + "; the kept line is written whole where the log lacks it");
    ::close(fd);
}

}  // namespace tw
