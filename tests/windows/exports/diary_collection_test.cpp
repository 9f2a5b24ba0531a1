#include "windows/exports/diary_collection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "exports_test_support.h"

namespace tw {
namespace {

using testing::utcDecember7;
using Answer = std::function<void(DialogueChannelStore::Entries)>;

DialogueChannelStore::Entries linesOf(const std::string& flea,
                                      std::vector<std::pair<std::string, double>> lines) {
    DialogueChannelStore::Entries entries;
    for (auto& [text, hours] : lines) {
        DialogueChannelStore::ChannelEntry entry;
        entry.flea_id = flea;
        entry.line.text = text;
        entry.channel = AgentDialogueChannel::diary_line;
        entry.recordedAt = utcDecember7(hours);
        entries.push_back(entry);
    }
    return entries;
}

// Answers every flea from a thread of its own, all released together, so the answers
// land in the pool at the same time.
class ConcurrentSource {
   public:
    explicit ConcurrentSource(std::function<DialogueChannelStore::Entries(const std::string&)> answerFor)
        : answerFor_(std::move(answerFor)) {}
    ~ConcurrentSource() {
        for (auto& thread : threads_) thread.join();
    }
    void operator()(const std::string& flea, Date, Calendar, Answer answer) {
        std::lock_guard lock(mutex_);
        asked.push_back(flea);
        threads_.emplace_back([this, flea, answer = std::move(answer)] { answer(answerFor_(flea)); });
    }
    std::vector<std::string> asked;

   private:
    std::function<DialogueChannelStore::Entries(const std::string&)> answerFor_;
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

TEST(DiaryCollectionTest, FastAnswersArePooledFromEveryThreadAndSortedByTime) {
    ConcurrentSource source([](const std::string& flea) {
        if (flea == "Nova") return linesOf("Nova", {{"Nova late", 20.0}, {"Nova early", 9.0}});
        if (flea == "Rex") return linesOf("Rex", {{"Rex noon", 12.0}});
        if (flea == "Pip") return linesOf("Pip", {{"Pip noon", 12.0}});
        return DialogueChannelStore::Entries{};
    });
    const auto entries = collectDiaryEntries(std::ref(source), utcDecember7(21.0), testing::newYork());

    std::vector<std::string> residents(residentsListed.begin(), residentsListed.end());
    std::sort(residents.begin(), residents.end());
    std::sort(source.asked.begin(), source.asked.end());
    EXPECT_EQ(source.asked, residents);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries.front(), (ChapterDiaryEntry{"Nova", "Nova early", utcDecember7(9.0)}));
    EXPECT_EQ(entries[1].at, utcDecember7(12.0));  // Rex and Pip tie: either pooled first
    EXPECT_EQ(entries[2].at, utcDecember7(12.0));
    EXPECT_EQ(entries.back().line, "Nova late");
}

TEST(DiaryCollectionTest, SlowAnswersAreDroppedAfterTheWaitAndFailuresDoNotStopTheRest) {
    std::vector<Answer> late;
    const DiaryLineSource source = [&late](const std::string& flea, Date, Calendar, Answer answer) {
        if (flea == "Rex") throw std::runtime_error("store gone");
        if (flea == "Zing" || flea == "Dot") {
            late.push_back(std::move(answer));  // answered only after the export has moved on
            return;
        }
        answer(linesOf(flea, {{flea + " line", 10.0}}));
    };
    const auto started = std::chrono::steady_clock::now();
    const auto entries = collectDiaryEntries(source, utcDecember7(21.0), testing::newYork());
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    EXPECT_GE(waited, kDiaryWaitSeconds);
    std::vector<std::string> fleas;
    for (const auto& entry : entries) fleas.push_back(entry.flea);
    // Same time for all: pooled order, which here is the asking order.
    EXPECT_EQ(fleas, (std::vector<std::string>{"Nova", "Pip", "Fizz", "Blaze"}));
    ASSERT_EQ(late.size(), 2u);
    for (auto& answer : late) answer(linesOf("Zing", {{"too late", 11.0}}));  // must be harmless
}

}  // namespace
}  // namespace tw
