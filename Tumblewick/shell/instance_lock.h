#pragma once
// One circus per data folder: two instances on the same folder would draw two strips
// and append to one troupe log. Two locks, both gone with the process however it ends:
// an flock on a file in the folder, and an abstract-namespace socket named after the
// folder's real path, which needs no file at all, so a directory or a link at the
// file's path or a read-only folder cannot let a second circus in. Anyone can take an
// abstract name, so the socket only counts when its holder runs as our user; another
// user's is one warning and the file decides.
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tw {

class InstanceLock {
   public:
    enum class State {
        held,           // this process runs the circus
        heldElsewhere,  // another process on the same folder does
        unavailable,    // neither lock could be taken; run without one (logged)
    };

    static constexpr const char* fileName = "instance.lock";

    // Tries once, without waiting. Says nothing when the folder is held elsewhere. A
    // socket name held by a process of a user other than `ownUser` does not count.
    static InstanceLock acquire(const std::filesystem::path& dataDirectory, uid_t ownUser = ::geteuid());
    // The abstract socket's name for the folder (without the leading NUL): the same
    // for every spelling of it.
    static std::string socketName(const std::filesystem::path& dataDirectory);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    ~InstanceLock();

    State state() const { return state_; }
    // Lets the next instance in (the relaunch starts it right after).
    void release();

   private:
    InstanceLock(State state, int fileFd, int socketFd)
        : state_(state), fileFd_(fileFd), socketFd_(socketFd) {}
    State state_;
    int fileFd_;
    int socketFd_;
};

}  // namespace tw
