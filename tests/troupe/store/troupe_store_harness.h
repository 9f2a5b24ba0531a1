#pragma once
// A troupe store on temporary XDG folders with a manual clock and main queue, a sink
// that records what it appends, and read and write functions that fail or hold on cue.
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_store.h"

namespace tw::testing {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME into a fresh folder for one test.
class TemporaryXdg {
   public:
    TemporaryXdg() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-troupe-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
    }
    ~TemporaryXdg() {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_STATE_HOME");
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

inline void writeAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Puts `text` at `file` in one step, as programs save: written beside it, renamed over it.
inline void renameOver(const std::filesystem::path& file, const std::string& text,
                       const std::string& beside = ".copy") {
    const std::filesystem::path copy = file.string() + beside;
    std::ofstream(copy, std::ios::binary) << text;
    std::filesystem::rename(copy, file);
}

// A log as a check reads it: its lines, those that do not decode, and each id's count.
struct TroupeLogState {
    std::size_t lines = 0;
    std::size_t unreadable = 0;
    std::map<Uuid, int> ids;
};

inline TroupeLogState troupeLogStateOf(const std::string& text) {
    TroupeLogState state;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        ++state.lines;
        try {
            ++state.ids[decodeTroupeLogLine(line).id];
        } catch (const std::exception&) {
            ++state.unreadable;
        }
    }
    return state;
}

// Another program writes `theirs` over the line of one of `ids` that the file open on `fd`
// holds once (the `pick`th found, round the list), made as long as that line. The id
// written over, if any.
inline std::optional<Uuid> writeOverLineOf(int fd, const std::set<Uuid>& ids, TroupeEvent theirs,
                                           std::uint64_t pick) {
    const std::string same = "/proc/self/fd/" + std::to_string(fd);
    const std::string text = readFile(same);
    const TroupeLogState state = troupeLogStateOf(text);
    std::vector<std::pair<std::size_t, Uuid>> lines;  // where each line of `ids` starts
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        try {
            const Uuid id = decodeTroupeLogLine(std::string_view(text).substr(at, end - at)).id;
            if (ids.contains(id) && state.ids.at(id) == 1) lines.emplace_back(at, id);
        } catch (const std::exception&) {
        }
    }
    if (lines.empty()) return std::nullopt;
    const auto [at, id] = lines[pick % lines.size()];
    const std::size_t length = text.find('\n', at) - at;
    const std::size_t bare = encodeTroupeEventLine(theirs).size();
    theirs.payload = TroupeMilestoneEarned{std::string(length > bare ? length - bare : 0, 'x')};
    const std::string line = encodeTroupeEventLine(theirs);
    const int writable = ::open(same.c_str(), O_WRONLY | O_CLOEXEC);
    const bool written = writable >= 0 && line.size() == length &&
                         ::pwrite(writable, line.data(), length, static_cast<off_t>(at)) > 0;
    if (writable >= 0) ::close(writable);
    return written ? std::optional<Uuid>(id) : std::nullopt;
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

using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;

inline TroupeEvent event(TroupePayload payload, double ts, Uuid id = Uuid::random()) {
    const auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{id, kind, std::move(payload), Date{ts}, Uuid{}, troupeSchemaVersion};
}

inline std::uintmax_t fileSize(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return error ? 0 : size;
}

// What keeps each of `mine` from being in the log at `file` once ("" when nothing does).
inline std::string notEachOnce(const std::filesystem::path& file, const std::vector<TroupeEvent>& mine) {
    const std::string text = readFile(file);
    std::size_t lost = 0;
    std::size_t twice = 0;
    for (const TroupeEvent& event : mine) {
        const std::string line = encodeTroupeEventLine(event) + "\n";
        lost += text.find(line) == std::string::npos ? 1 : 0;
        twice += text.find(line) != text.rfind(line) ? 1 : 0;
    }
    if (lost == 0 && twice == 0) return "";
    return "of " + std::to_string(mine.size()) + " events of this run " + std::to_string(lost) + " lost, " +
           std::to_string(twice) + " twice";
}

// Each of `mine` in the log at `file` once.
inline void expectEachOnce(const std::filesystem::path& file, const std::vector<TroupeEvent>& mine) {
    EXPECT_EQ(notEachOnce(file, mine), "");
}

// Another device's milestone "theirs" (or `what`) at `ts`, with its newline.
inline std::string othersLine(double ts, const std::string& what = "theirs") {
    return encodeTroupeEventLine(TroupeEvent{Uuid::random(), TroupeEventKind::milestoneEarned,
                                             TroupeMilestoneEarned{what}, Date{ts}, Uuid::random(),
                                             troupeSchemaVersion}) +
           "\n";
}

// Appends `bytes` as another program does: one write(2) on a descriptor of its own.
inline void appendAsAnotherProgram(const std::filesystem::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, bytes);
    ::close(fd);
}

// Runs what the store posts to the main thread until `done` holds or 10 s pass.
template <typename Done>
bool pumpUntil(ManualMainQueue& queue, Done done, std::chrono::seconds patience = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        queue.waitAndRun(0.02);
    }
    return true;
}

// Runs `work` in a child and returns what it printed, or "hung" when it has not
// finished by the deadline (the child is then killed): a thread left stuck stays there.
inline std::string inChild(const std::function<std::string()>& work, std::chrono::seconds deadline) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const std::string said = work();
        const bool sent = ::write(fds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    std::string said;
    const auto end = std::chrono::steady_clock::now() + deadline;
    bool finished = false;
    while (!finished) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd wait{fds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) == 0) break;
        char buffer[512];
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got > 0) said.append(buffer, static_cast<std::size_t>(got));
        finished = got == 0;
    }
    ::close(fds[0]);
    if (!finished) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return finished ? said : "hung";
}

// From here on this thread, and every thread it starts, gets EMFILE from inotify_init1(2).
inline bool refuseInotify() {
#if defined(__x86_64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_inotify_init1, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EMFILE & SECCOMP_RET_DATA)),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        return false;
    const int refused = ::inotify_init1(IN_CLOEXEC);
    if (refused >= 0) ::close(refused);
    return refused < 0 && errno == EMFILE;
}

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

    // With a `keep` folder, keeping this run's lines there.
    std::unique_ptr<TroupeStore> open(std::filesystem::path keep = {}) {
        auto store = std::make_unique<TroupeStore>(
            TroupeStore::defaultDirectory(), defaults, clock, mainQueue, notifications,
            TroupeLogReadControl::ReadFunction{}, nullptr, std::move(keep));
        store->waitUntilLoaded();
        return store;
    }
    std::filesystem::path keepFolder() const { return TroupeStore::defaultKeepDirectory(); }
    // The files kept there.
    std::vector<std::filesystem::path> keptFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        for (auto at = std::filesystem::directory_iterator(keepFolder(), error);
             !error && at != std::filesystem::directory_iterator(); at.increment(error))
            files.push_back(at->path());
        return files;
    }
    std::filesystem::path logFile() const {
        return TroupeStore::defaultDirectory() / TroupeStore::logFileName;
    }
};

// pread(2) and write(2) as a store under test calls them, with faults on cue: a read that
// fails once, a file whose every read and write fails for good (a dead mount), the writer
// held just before a write to the log that holds a marker, and work run on the writer's
// thread just after such a write. Must outlive the store it is given to.
class TroupeFileFaults {
   public:
    // Bounds every wait here: a writer that never gets to the line is a failure, not a hang.
    static constexpr std::chrono::seconds patience{20};

    TroupeFileFaults() = default;
    TroupeFileFaults(const TroupeFileFaults&) = delete;
    TroupeFileFaults& operator=(const TroupeFileFaults&) = delete;
    ~TroupeFileFaults() {
        for (int fd : deadHeld_) ::close(fd);
    }

    TroupeLogReadControl::ReadFunction readFunction() {
        return [this](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
            stallIfAsked();
            if (const int error = failureFor(fd, true)) {
                errno = error;
                return -1;
            }
            return ::pread(fd, buffer, size, offset);
        };
    }
    std::function<ssize_t(int, const void*, std::size_t)> writeFunction() {
        return [this](int fd, const void* bytes, std::size_t size) -> ssize_t {
            const std::string_view text(static_cast<const char*>(bytes), size);
            writer_ = std::this_thread::get_id();
            const bool toLog = isLog(fd);
            if (toLog) holdAt(text);
            const int error = failureFor(fd, false);
            const ssize_t written = error ? -1 : ::write(fd, bytes, size);
            if (auto then = toLog ? takeAfter(text, error != 0) : nullptr) then(fd);
            if (error) errno = error;
            return written;
        };
    }

    void failNextRead(int error) {
        std::lock_guard lock(mutex_);
        nextReadFails_ = error;
    }
    // The next read off the writer's thread (a reader's) takes `slow`, as on a loaded
    // machine, or until release(). The writer's own I/O is held by holdWriteOf().
    void slowNextRead(std::chrono::milliseconds slow) {
        std::lock_guard lock(mutex_);
        slowNext_ = slow;
        slowed_ = false;
    }
    bool readSlowed() {
        std::lock_guard lock(mutex_);
        return slowed_;
    }
    // Every read and write of the file now at `file` fails with ENOTCONN from here on; it is
    // held open so that its inode goes to no other file. False when no file is there.
    bool kill(const std::filesystem::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        std::lock_guard lock(mutex_);
        deadHeld_.push_back(fd);
        dead_.insert({info.st_dev, info.st_ino});
        return true;
    }
    // The first write whose bytes hold `marker` waits, before it writes, for release().
    void holdWriteOf(std::string marker) {
        std::lock_guard lock(mutex_);
        holdMarker_ = std::move(marker);
    }
    bool waitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        holdMarker_.clear();
        held_ = false;
        slowNext_ = {};
        changed_.notify_all();
    }
    // `then` runs on the writer's thread just after the first write whose bytes hold
    // `marker`, or (an empty marker) after the first write that a dead file failed.
    void afterWriteOf(std::string marker, std::function<void(int fd)> then) {
        std::lock_guard lock(mutex_);
        afterMarker_ = std::move(marker);
        after_ = std::move(then);
    }

   private:
    // The log, or a file that lost the log's name to a rename: not the run's ledger.
    static bool isLog(int fd) {
        std::error_code error;
        const auto file = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
        return file.filename().string().starts_with(TroupeStore::logFileName);
    }
    void stallIfAsked() {
        std::unique_lock lock(mutex_);
        if (slowNext_.count() == 0 || slowed_ || std::this_thread::get_id() == writer_.load()) return;
        slowed_ = true;
        changed_.wait_for(lock, slowNext_, [&] { return slowNext_.count() == 0; });
    }
    int failureFor(int fd, bool reading) {
        struct stat info {};
        std::lock_guard lock(mutex_);
        if (reading && std::exchange(nextReadFails_, 0) != 0) return EIO;
        if (!dead_.empty() && ::fstat(fd, &info) == 0 && dead_.contains({info.st_dev, info.st_ino}))
            return ENOTCONN;
        return 0;
    }
    void holdAt(std::string_view text) {
        std::unique_lock lock(mutex_);
        if (holdMarker_.empty() || text.find(holdMarker_) == std::string_view::npos) return;
        holdMarker_.clear();
        held_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, patience, [&] { return !held_; });
    }
    std::function<void(int)> takeAfter(std::string_view text, bool deadFailed) {
        std::lock_guard lock(mutex_);
        if (!after_ ||
            (afterMarker_.empty() ? !deadFailed : text.find(afterMarker_) == std::string_view::npos))
            return {};
        return std::exchange(after_, {});
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    int nextReadFails_ = 0;
    std::chrono::milliseconds slowNext_{};
    std::atomic<std::thread::id> writer_{};
    bool slowed_ = false;
    std::set<std::pair<dev_t, ino_t>> dead_;
    std::vector<int> deadHeld_;
    std::string holdMarker_;
    bool held_ = false;
    std::string afterMarker_;
    std::function<void(int)> after_;
};

}  // namespace tw::testing
