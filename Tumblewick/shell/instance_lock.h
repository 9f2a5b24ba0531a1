#pragma once
// One circus per data folder: two instances on the same folder would draw two strips
// and append to one troupe log. The lock is an flock on a file in that folder, so it
// goes with the process however it ends and follows the folder, not the session.
#include <filesystem>

namespace tw {

class InstanceLock {
   public:
    enum class State {
        held,           // this process runs the circus
        heldElsewhere,  // another process on the same folder does
        unavailable,    // the lock file cannot be opened; run without it (logged)
    };

    static constexpr const char* fileName = "instance.lock";

    // Tries once, without waiting.
    static InstanceLock acquire(const std::filesystem::path& dataDirectory);
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    ~InstanceLock();

    State state() const { return state_; }
    // Lets the next instance in (the relaunch starts it right after).
    void release();

   private:
    InstanceLock(State state, int fd) : state_(state), fd_(fd) {}
    State state_;
    int fd_;
};

}  // namespace tw
