#include "troupe/store/troupe_log_end_ids.h"

#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "troupe/store/troupe_log_reader.h"

namespace tw {

TroupeEventIndex idsNearTheEnd(const atomic_file::OpenedFile& opened, std::uint64_t ownBytes) {
    TroupeEventIndex ids;
    if (opened.status != atomic_file::ReadStatus::ok) return ids;
    const std::uint64_t reach = 2 * ownBytes + (std::uint64_t{1} << 20);
    std::uint64_t from = opened.size > reach ? opened.size - reach : 0;
    if (from > 0) {
        // On to the start of the next line.
        std::string block(64 * 1024, '\0');
        bool found = false;
        while (!found && from < opened.size) {
            const ssize_t got = ::pread(opened.fd, block.data(), block.size(), static_cast<off_t>(from - 1));
            if (got <= 0) return ids;
            const std::size_t newline = block.find('\n', 0);
            if (newline < static_cast<std::size_t>(got)) {
                from += newline;
                found = true;
            } else {
                from += static_cast<std::uint64_t>(got);
            }
        }
        if (!found) return ids;
    }
    readTroupeLogBlocks(opened, from, nullptr,
                        [&](std::vector<std::optional<TroupeEvent>>& events,
                            const std::vector<std::uint64_t>&, const std::vector<bool>&) {
                            for (auto& event : events) {
                                if (event) ids.insert(event->id, 0);
                            }
                        });
    return ids;
}

}  // namespace tw
