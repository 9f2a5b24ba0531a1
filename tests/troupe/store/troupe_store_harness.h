#pragma once
// A troupe store on temporary XDG folders with a manual clock and main queue, and a
// sink that records what it appends.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "troupe/store/troupe_store.h"

namespace tw::testing {

// Points XDG_DATA_HOME and XDG_CONFIG_HOME into a fresh folder for one test.
class TemporaryXdg {
   public:
    TemporaryXdg() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-troupe-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    ~TemporaryXdg() {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::filesystem::path& root() const { return root_; }

   private:
    std::filesystem::path root_;
};

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Captures log lines; read them once every thread that logs is gone.
struct CapturedLog {
    std::vector<std::string> lines;
    CapturedLog() {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~CapturedLog() { log::setSinkForTesting(nullptr); }
    long count(const std::string& text) const {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

// A milestone "m<n>" earned at `ts`, under a new id.
inline TroupeEvent milestone(int n, double ts) {
    return TroupeEvent{Uuid::random(),
                       TroupeEventKind::milestoneEarned,
                       TroupeMilestoneEarned{"m" + std::to_string(n)},
                       Date{ts},
                       Uuid{},
                       troupeSchemaVersion};
}

class RecordingSink final : public TroupeEventSink {
   public:
    void troupeEventAppended(const TroupeEvent& event) override { events.push_back(event); }
    std::vector<TroupeEvent> events;
};

struct TroupeHarness {
    TemporaryXdg xdg;
    InMemoryDefaults defaults;
    ManualClock clock{Date{800000000.0}};
    ManualMainQueue mainQueue;
    NotificationCenter notifications;

    std::unique_ptr<TroupeStore> open() {
        auto store = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), defaults, clock,
                                                   mainQueue, notifications);
        store->waitUntilLoaded();
        return store;
    }
    std::filesystem::path logFile() const {
        return TroupeStore::defaultDirectory() / TroupeStore::logFileName;
    }
};

}  // namespace tw::testing
