#include "windows/companions/dialogue_cache_stats.h"

#include <filesystem>
#include <system_error>

#include "dialogue/dialogue_cache.h"
#include "platform/main_queue.h"
#include "windows/companions/agent_settings_texts.h"

namespace tw {

void readDialogueCacheStats(DialogueCache& cache, MainQueue& main, std::function<void(std::string)> show) {
    // No file yet, or one that cannot be read, counts as empty.
    std::uintmax_t bytes = 0;
    if (const auto& file = cache.diskURL()) {
        std::error_code error;
        const auto size = std::filesystem::file_size(*file, error);
        if (!error) bytes = size;
    }
    cache.count([&main, bytes, show = std::move(show)](std::size_t entries) {
        main.post([show, entries, bytes] { show(cacheStatsLine(entries, bytes)); });
    });
}

}  // namespace tw
