#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/log.h"

namespace tw {

namespace {
constexpr auto kSyncInterval = std::chrono::seconds(1);
constexpr auto kRetryInterval = std::chrono::seconds(1);
constexpr auto kGather = std::chrono::milliseconds(2);
}  // namespace

TroupeLogWriter::TroupeLogWriter(std::filesystem::path file) : file_(std::move(file)) {
    thread_ = std::thread([this] { loop(); });
}

TroupeLogWriter::~TroupeLogWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void TroupeLogWriter::write(std::string line) {
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(line));
        ++submitted_;
    }
    wake_.notify_one();
}

void TroupeLogWriter::run(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(job));
        ++submitted_;
    }
    wake_.notify_one();
}

bool TroupeLogWriter::drain() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = submitted_;
    ++draining_;
    wake_.notify_one();
    progress_.wait(lock, [&] { return synced_ >= target || failing_; });
    --draining_;
    return synced_ >= target;
}

void TroupeLogWriter::loop() {
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty() && !(dirty_ && draining_ > 0) && !stopping_) {
            if (dirty_)
                wake_.wait_until(lock, lastSync + kSyncInterval);
            else
                wake_.wait(lock);
            // Let a burst of lines gather: waking this thread per line costs the
            // main thread more than the line's write does.
            if (draining_ == 0 && !stopping_) {
                lock.unlock();
                std::this_thread::sleep_for(kGather);
                lock.lock();
            }
        }
        while (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            bool ok = true;
            if (auto* line = std::get_if<std::string>(&job)) {
                ok = writeLine(*line);
            } else {
                std::get<std::function<void()>>(job)();
            }
            lock.lock();
            if (!ok) {
                // Keep the line and its place; try again in a while.
                jobs_.push_front(std::move(job));
                failing_ = true;
                progress_.notify_all();
                if (stopping_) return;
                wake_.wait_for(lock, kRetryInterval);
                continue;
            }
            failing_ = false;
            ++done_;
        }
        const bool due = Clock::now() - lastSync >= kSyncInterval;
        if (dirty_ && (due || draining_ > 0 || stopping_)) {
            lock.unlock();
            sync();
            lock.lock();
            lastSync = Clock::now();
        }
        if (!dirty_) synced_ = done_;
        progress_.notify_all();
        if (stopping_ && jobs_.empty()) return;
    }
}

bool TroupeLogWriter::openFile() {
    if (fd_ >= 0) return true;
    fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return false;
    // A line torn by a crash has no newline; end it here so it stays one bad line.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd_, &info) == 0 && info.st_size > 0) {
        const int reader = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            if (::pread(reader, &last, 1, info.st_size - 1) != 1) last = '\n';
            ::close(reader);
        }
    }
    if (last != '\n' && !writeLine("\n")) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool TroupeLogWriter::writeLine(const std::string& line) {
    if (fd_ < 0 && !openFile()) {
        if (!reported_)
            log::system("Cannot open the troupe log " + file_.string() + ": " + std::strerror(errno));
        reported_ = true;
        return false;
    }
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!reported_)
                log::system("Cannot write the troupe log " + file_.string() + ": " + std::strerror(errno));
            reported_ = true;
            // A part already written would tear this line; the retry starts a fresh one.
            if (written > 0) (void)!::write(fd_, "\n", 1);
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    reported_ = false;
    dirty_ = true;
    return true;
}

void TroupeLogWriter::sync() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0)
        log::system(std::string("Cannot sync the troupe log: ") + std::strerror(errno));
    dirty_ = false;
}

}  // namespace tw
