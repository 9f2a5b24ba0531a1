#include "platform/qt/qt_key_value_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/log.h"
#include "qt_event_pump.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class QtKeyValueStoreTest : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tw-qt-kv-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        folder_ = root_ / "data";
        file_ = folder_ / "CloudKeyValueStore.json";
        log::setSinkForTesting([this](std::string_view line) { warnings_.emplace_back(line); });
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        fs::remove_all(root_);
    }
    // As sync tools do: a new file (or link) renamed over the old one.
    void replace(const std::string& text) {
        std::ofstream(folder_ / "incoming.tmp") << text;
        fs::rename(folder_ / "incoming.tmp", file_);
    }
    void replaceByLoop() {
        fs::create_symlink("incoming.tmp", folder_ / "incoming.tmp");
        fs::rename(folder_ / "incoming.tmp", file_);
    }

    fs::path root_;
    fs::path folder_;
    fs::path file_;
    std::vector<std::string> warnings_;
};

// Each step replaces the file; `warnings` is how many lines the log holds after it.
TEST_F(QtKeyValueStoreTest, AReadThatFailsKeepsTheValuesAndIsToldOncePerProblem) {
    int reads = 0;
    QtKeyValueStore store(file_, [&reads](const fs::path& file) {
        ++reads;
        return readKeyValuesFile(file);
    });
    int changes = 0;
    store.observeExternalChanges([&] { ++changes; });
    struct Step {
        const char* name;
        std::function<void()> apply;
        std::size_t warnings;
        const char* headline;  // the value held afterwards
    };
    const std::vector<Step> steps = {
        {"good", [&] { replace(R"({"headline": "Big night"})"); }, 0, "Big night"},
        {"symlink loop", [&] { replaceByLoop(); }, 1, "Big night"},
        {"the loop again", [&] { replaceByLoop(); }, 1, "Big night"},
        {"malformed", [&] { replace(R"({"headline": "Day)"); }, 2, "Big night"},
        {"the same malformed text", [&] { replace(R"({"headline": "Day)"); }, 2, "Big night"},
        {"other malformed text", [&] { replace(R"(["headline"])"); }, 3, "Big night"},
        {"good again", [&] { replace(R"({"headline": "Day two"})"); }, 3, "Day two"},
        {"the loop after a good read", [&] { replaceByLoop(); }, 4, "Day two"},
    };
    for (const Step& step : steps) {
        const int before = reads;
        step.apply();
        // A read that starts after the change sees it.
        EXPECT_TRUE(pumpUntil([&] { return reads > before; })) << step.name;
        EXPECT_EQ(warnings_.size(), step.warnings) << step.name;
        EXPECT_EQ(store.stringForKey("headline"), step.headline) << step.name;
    }
    EXPECT_EQ(changes, 2);
}

// Files that come and go beside it (the dialogue cache's temp files and renames) are not
// looked at; a change to the file a link at its name leads to is.
TEST_F(QtKeyValueStoreTest, ReadsOnlyForEventsNamingTheFileOrItsLinksTarget) {
    const fs::path target = root_ / "elsewhere" / "arcs.json";
    fs::create_directories(target.parent_path());
    std::ofstream(target) << R"({"headline": "Linked"})";
    fs::create_directories(folder_);
    fs::create_symlink(target, file_);
    int reads = 0;
    QtKeyValueStore store(file_, [&reads](const fs::path& file) {
        ++reads;
        return readKeyValuesFile(file);
    });
    EXPECT_EQ(store.stringForKey("headline"), "Linked");
    for (int i = 0; i < 20; ++i) {
        const fs::path other = folder_ / ("DialogueCache.json.tmp-" + std::to_string(i));
        std::ofstream(other) << "{}";
        fs::rename(other, folder_ / "DialogueCache.json");
    }
    fs::remove(folder_ / "DialogueCache.json");
    std::ofstream(target) << R"({"headline": "Edited in place"})";
    ASSERT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == "Edited in place"; }));
    const int afterEdit = reads;
    EXPECT_LE(afterEdit, 4);  // the edit's modify and close events, not one per other file
    fs::remove(file_);
    ASSERT_TRUE(pumpUntil([&] { return !store.stringForKey("headline"); }));
    EXPECT_EQ(warnings_.size(), 0u);
}

}  // namespace
}  // namespace tw
