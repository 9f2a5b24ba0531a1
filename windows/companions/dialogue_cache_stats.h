#pragma once
// The agent settings window's line on the dialogue cache: how many lines it holds and
// how large its file is. The size is read at once; the count comes from the cache's
// own thread and is handed on on the main queue.
#include <functional>
#include <string>

namespace tw {

class DialogueCache;
class MainQueue;

// `cache` and `main` must outlive the answer.
void readDialogueCacheStats(DialogueCache& cache, MainQueue& main, std::function<void(std::string)> show);

}  // namespace tw
