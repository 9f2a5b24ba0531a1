#pragma once
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_store.h"

namespace tw::testing {

// A run of the log in a child process, keeping its lines in `h`'s keep folder, that accepts
// `events` (the file system refusing those whose lines hold "unwritten", as a dead mount
// does, and every line after) and is then killed with SIGKILL.
class KilledRun {
   public:
    KilledRun(TroupeHarness& h, const std::vector<TroupeEvent>& events) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            ::close(fds[0]);
            ::alarm(60);  // never outlives a test that lost it
            const WriteFunction write = [](int fd, const void* bytes, std::size_t size) -> ssize_t {
                if (std::string_view(static_cast<const char*>(bytes), size).find("unwritten") ==
                    std::string_view::npos)
                    return ::write(fd, bytes, size);
                errno = EIO;
                return -1;
            };
            auto* store = new TroupeStore(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue,
                                          h.notifications, {}, write, h.keepFolder());
            store->waitUntilLoaded();
            std::size_t written = 0;
            for (const TroupeEvent& event : events) {
                store->append(event);
                written += encodeTroupeEventLine(event).find("unwritten") == std::string::npos ? 1 : 0;
                // Each line on disk before the next is taken: lines queued together go in one
                // write, which the first refused line would fail whole.
                for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                     troupeLogStateOf(readFile(store->logFile())).lines < written &&
                     std::chrono::steady_clock::now() < end;)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            writeAll(fds[1], "accepted");
            for (;;) ::pause();
        }
        ::close(fds[1]);
        pollfd wait{fds[0], POLLIN, 0};
        char said[8];
        accepted_ =
            child_ > 0 && ::poll(&wait, 1, 20000) == 1 && ::read(fds[0], said, sizeof said) == sizeof said;
        ::close(fds[0]);
    }
    ~KilledRun() { kill(); }
    bool accepted() const { return accepted_; }
    void kill() {
        if (child_ <= 0) return;
        ::kill(child_, SIGKILL);
        int status = 0;
        ::waitpid(std::exchange(child_, 0), &status, 0);
    }

   private:
    pid_t child_ = 0;
    bool accepted_ = false;
};

}  // namespace tw::testing
