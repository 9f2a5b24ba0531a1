// Following the log's path: the file held is the one at the path, opened, made again when it
// went, or adopted from the path's own open on a shared mount.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_held_file.h"

namespace tw {

bool TroupeLogHeldFile::openFile() {
    if (fd_ >= 0) return true;
    OpenedLog opened = openLogToAppend(file_);
    atLineStart_ = opened.made;  // a line torn by a crash may end a file found there
    if (opened.fd < 0) {
        report("open", opened.error);
        return false;
    }
    fd_ = opened.fd;
    holding_ = false;
    mount_ = logMountOf(fd_);
    if (mount_ == LogMount::fuse) readAsAsked(fd_);
    blockBytes_ =
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max<blksize_t>(opened.info.st_blksize, 0)),
                                std::size_t{4096}, kMostBytesAWrite);
    // Not the file the snapshot was read from, or no longer as it was: what it holds is
    // read, and this run's lines it lacks are put back. A log this run makes where the
    // load found none is its own.
    const auto& seen = watch_.seen();
    if (seen && (seen->identity.known() || !opened.made)) {
        compareHeld(opened.info);
    } else {
        rememberHeld(opened.info);
    }
    return true;
}

// The lines go to the file at the path now, whatever happened to the one held; one made
// again when it went. False when nothing may be written now.
bool TroupeLogHeldFile::followPath(atomic_file::OpenedFile* opened, bool toWrite) {
    if (fd_ < 0) {
        // Lines of this run have nowhere to be: the file is made again once the path allows.
        // Else one put there since the load is looked at, not made.
        struct stat info {};
        const bool there = ::stat(file_.c_str(), &info) == 0;
        const auto& seen = watch_.seen();
        if (ledger_.size() > 0 || (seen && there)) {
            openFile();
        } else if (seen && seen->identity.known() && errno == ENOENT) {
            watch_.expect({});  // the file read went: the snapshot follows
            changed();
        }
        return true;
    }
    atomic_file::OpenedFile fresh;  // the path's own open, on a shared mount
    const LogAtPath atPath = logAtPath(file_, fd_, freshReads(), &fresh, toWrite);
    if (atPath == LogAtPath::unknown) {
        // The held descriptor may be the one that failed, the path working again.
        if (struct stat info{}; ::fstat(fd_, &info) != 0 && dropFailed(errno)) return openFile();
        return true;
    }
    if (atPath == LogAtPath::notAFile) {
        // Nothing there to write: the lines stay with the file held, which a rename kept.
        if (!pathHoldsNoFile_)
            log::system("The troupe log's path " + file_.string() +
                        " holds no file to write; appending to the file opened before");
        pathHoldsNoFile_ = true;
        return true;
    }
    pathHoldsNoFile_ = false;
    if (atPath == LogAtPath::heldFile) {
        if (mount_ == LogMount::fuse && fresh.fd >= 0) readAsAsked(fresh.fd);
        // Only a write takes the path's open for the held descriptor: a look reads through it.
        if (fresh.status == atomic_file::ReadStatus::ok && toWrite) adopt(std::move(fresh), opened);
        if (!toWrite) lookOn_ = std::move(fresh);
        lookAtHeldFile();
        if (opened != nullptr && lookOn_.fd >= 0) *opened = std::move(lookOn_);
        lookOn_ = {};
        return fd_ >= 0 || openFile();
    }
    if (atPath == LogAtPath::nothing)
        log::system("The troupe log " + file_.string() + " was deleted; making it again");
    if (atPath == LogAtPath::anotherFile)
        sayReplaced("was replaced by another file", "appending to that one");
    sync();  // what went to the old file, in case a rename kept it
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // Said before the open, which may find the inode just freed, and by that alone no change.
    changed();
    // Writing on into a file nobody can reach loses the lines: they wait instead.
    holding_ = atPath == LogAtPath::notAFileHeldDeleted;
    if (holding_) return false;
    watch_.forget();
    return openFile() || atPath == LogAtPath::nothing;
}

// On a shared mount the path's own open takes the held descriptor's place: whatever the
// inode numbers say, it is the file at the path now, the one to read and to append to (a
// descriptor kept from before may go on reading and writing a file renamed away on the
// server). `opened` gets a descriptor of it to read, sized as the server said.
void TroupeLogHeldFile::adopt(atomic_file::OpenedFile fresh, atomic_file::OpenedFile* opened) {
    ::close(fd_);  // written through already; what it held to sync goes with the path's file
    fd_ = std::exchange(fresh.fd, -1);
    landedStart_.reset();  // read on the file given up
    if (opened == nullptr) return;
    *opened = logOnItsOwnDescriptor(fd_);
    opened->size = fresh.size;
    opened->allocated = fresh.allocated;
}

// A sync tool may save over the log every second: said once a minute at most, with how often.
void TroupeLogHeldFile::sayReplaced(const std::string& what, const std::string& then) {
    const auto now = Clock::now();
    if (replacedSaidAt_ && now - *replacedSaidAt_ < std::chrono::minutes(1)) {
        ++replacedUnsaid_;
        return;
    }
    const std::string times =
        replacedUnsaid_ == 0 ? "" : " (" + std::to_string(replacedUnsaid_ + 1) + " times in the last minute)";
    log::system("The troupe log " + file_.string() + " " + what + times + "; " + then);
    replacedSaidAt_ = now;
    replacedUnsaid_ = 0;
}

}  // namespace tw
