#include "windows/exports/diary_collection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/log.h"

namespace tw {

namespace {

// Shared with the answers, which may outlive the wait: they find `closed` and drop.
struct DiaryPool {
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<ChapterDiaryEntry> entries;
    std::size_t done = 0;
    bool closed = false;

    void add(const DialogueChannelStore::Entries& answer) {
        {
            std::lock_guard lock(mutex);
            if (closed) return;
            for (const auto& entry : answer)
                entries.push_back({entry.flea_id, entry.line.text, entry.recordedAt});
            ++done;
        }
        answered.notify_all();
    }
};

}  // namespace

std::vector<ChapterDiaryEntry> collectDiaryEntries(const DiaryLineSource& source, Date now,
                                                   const Calendar& calendar, double waitSeconds) {
    auto pool = std::make_shared<DiaryPool>();
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(waitSeconds));
    for (std::string_view name : residentsListed) {
        try {
            source(std::string(name), now, calendar,
                   [pool](DialogueChannelStore::Entries answer) { pool->add(answer); });
        } catch (const std::exception& error) {
            log::warning("Diary lines of " + std::string(name) + " unavailable: " + error.what());
            pool->add({});
        }
    }

    std::vector<ChapterDiaryEntry> entries;
    {
        std::unique_lock lock(pool->mutex);
        pool->answered.wait_until(lock, deadline, [&] { return pool->done == residentsListed.size(); });
        pool->closed = true;
        entries = std::move(pool->entries);
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ChapterDiaryEntry& a, const ChapterDiaryEntry& b) { return a.at < b.at; });
    return entries;
}

DiaryLineSource diaryLineSource(DialogueChannelStore& store) {
    return [&store](const std::string& flea, Date on, Calendar calendar,
                    std::function<void(DialogueChannelStore::Entries)> answer) {
        store.diaryLines(flea, on, std::move(calendar), std::move(answer));
    };
}

}  // namespace tw
