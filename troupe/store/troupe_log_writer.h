#pragma once
// The troupe log's writer thread. Each line goes to the file with one write(2) on an
// O_APPEND descriptor, so a crash leaves whole lines and at most one torn last line;
// fsync is batched to once a second. Before its first line it makes sure the file
// ends with a newline, so a line torn by an earlier crash never swallows the next one.
// Other jobs (reading the log) run on the same thread, in order with the lines.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

namespace tw {

class TroupeLogWriter {
   public:
    explicit TroupeLogWriter(std::filesystem::path file);
    ~TroupeLogWriter();  // writes what is queued, syncs, joins
    TroupeLogWriter(const TroupeLogWriter&) = delete;
    TroupeLogWriter& operator=(const TroupeLogWriter&) = delete;

    // `line` must end with '\n'. Thread-safe.
    void write(std::string line);
    // Runs `job` on the writer thread after every line queued before it is written.
    void run(std::function<void()> job);
    // Blocks until everything queued so far is written and synced. False when a line
    // could not be written (it stays queued and is retried every second).
    bool drain();

   private:
    using Job = std::variant<std::string, std::function<void()>>;

    void loop();
    bool writeLine(const std::string& line);  // false on an error worth retrying later
    bool openFile();
    void sync();

    const std::filesystem::path file_;
    int fd_ = -1;
    bool dirty_ = false;     // written since the last sync
    bool reported_ = false;  // a failure is logged once until writing works again

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Job> jobs_;
    std::uint64_t submitted_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t synced_ = 0;  // jobs done as of the last sync
    int draining_ = 0;
    bool failing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tw
