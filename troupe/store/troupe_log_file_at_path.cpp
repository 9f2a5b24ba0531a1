#include "troupe/store/troupe_log_file_at_path.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"

namespace tw {

// What the file system says of `fd` now: a plain fstat may be answered from the kernel's
// cache. The forced statx asks the file system itself (FUSE, NFS), and what it answers is
// what the kernel keeps for the next fstat; the forced result is taken, fstat's used only
// where statx cannot be had.
bool statAfresh(int fd, struct stat& info) {
    struct statx fresh {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &fresh) != 0 ||
        (fresh.stx_mask & STATX_BASIC_STATS) != STATX_BASIC_STATS)
        return ::fstat(fd, &info) == 0;
    info = {};
    info.st_dev = ::makedev(fresh.stx_dev_major, fresh.stx_dev_minor);
    info.st_ino = fresh.stx_ino;
    info.st_mode = fresh.stx_mode;
    info.st_nlink = fresh.stx_nlink;
    info.st_uid = fresh.stx_uid;
    info.st_gid = fresh.stx_gid;
    info.st_rdev = ::makedev(fresh.stx_rdev_major, fresh.stx_rdev_minor);
    info.st_size = static_cast<off_t>(fresh.stx_size);
    info.st_blksize = static_cast<blksize_t>(fresh.stx_blksize);
    info.st_blocks = static_cast<blkcnt_t>(fresh.stx_blocks);
    info.st_atim = {fresh.stx_atime.tv_sec, fresh.stx_atime.tv_nsec};
    info.st_mtim = {fresh.stx_mtime.tv_sec, fresh.stx_mtime.tv_nsec};
    info.st_ctim = {fresh.stx_ctime.tv_sec, fresh.stx_ctime.tv_nsec};
    return true;
}

LogAtPath logAtPath(const std::filesystem::path& file, int heldFd, bool sharedMount,
                    atomic_file::OpenedFile* opened, bool toWrite) {
    using atomic_file::FileIdentity;
    struct stat held {};
    struct stat atPath {};
    if (::fstat(heldFd, &held) != 0) return LogAtPath::unknown;
    const LogAtPath notAFile = held.st_nlink == 0 ? LogAtPath::notAFileHeldDeleted : LogAtPath::notAFile;
    if (::stat(file.c_str(), &atPath) == 0) {
        if (FileIdentity::of(held) == FileIdentity::of(atPath)) {
            // On a mount other machines write to, the path is opened again, which asks the
            // server: its size and times, not what this machine kept of them. That open is
            // the one to go on with: the inode number may be the name's, not the file's, and
            // a descriptor held since may read and write a file renamed away on the server.
            // Disks need no asking.
            if (sharedMount) {
                const atomic_file::SeenOpening again =
                    atomic_file::openSeenRegular(file, (toWrite ? O_RDWR | O_APPEND : O_RDONLY) | O_CLOEXEC);
                if (again.outcome == atomic_file::SeenOpening::opened) {
                    if (statAfresh(again.fd, atPath) && opened != nullptr &&
                        FileIdentity::of(atPath) == FileIdentity::of(held)) {
                        opened->fd = again.fd;
                        opened->status = atomic_file::ReadStatus::ok;
                        opened->size = static_cast<std::uint64_t>(atPath.st_size);
                        opened->allocated = static_cast<std::uint64_t>(atPath.st_blocks) * 512;
                    } else {
                        ::close(again.fd);
                    }
                }
            }
            return LogAtPath::heldFile;
        }
        return S_ISREG(atPath.st_mode) ? LogAtPath::anotherFile : notAFile;
    }
    if (errno == ENOTDIR) return notAFile;  // a file where the folder was
    if (errno != ENOENT) return LogAtPath::unknown;
    struct stat link {};
    return ::lstat(file.c_str(), &link) == 0 ? notAFile : LogAtPath::nothing;
}

OpenedLog openLogToAppend(const std::filesystem::path& file) {
    constexpr int flags = O_RDWR | O_APPEND | O_CLOEXEC;
    OpenedLog log;
    log.fd = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (log.fd < 0 && errno == ENOENT) {
        // Its folder went under the running app: made again, as private as the store makes it.
        std::error_code error;  // a failure shows in the open that follows
        if (std::filesystem::create_directories(file.parent_path(), error)) {
            ::chmod(file.parent_path().c_str(), 0700);
            log.fd = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0600);
        }
    }
    if (log.fd >= 0) {
        log.made = true;
        ::fchmod(log.fd, 0600);  // whatever the umask
        ::fstat(log.fd, &log.info);
        return log;
    }
    if (errno != EEXIST) {
        log.error = std::strerror(errno);
        return log;
    }
    const atomic_file::SeenOpening seen = atomic_file::openSeenRegular(file, flags);
    switch (seen.outcome) {
        case atomic_file::SeenOpening::opened:
            log.fd = seen.fd;
            log.info = seen.info;
            break;
        case atomic_file::SeenOpening::notRegular:
            log.error = "it is not a regular file";
            break;
        case atomic_file::SeenOpening::swapped:
            log.error = "it was swapped for another file while it was opened";
            break;
        case atomic_file::SeenOpening::failed:
            // A link to nothing: O_EXCL found something, the open finds nothing.
            log.error = seen.error == ENOENT ? "it is a link to nothing" : std::strerror(seen.error);
            break;
    }
    return log;
}

atomic_file::OpenedFile logOnItsOwnDescriptor(int fd, const std::filesystem::path& file, bool fresh) {
    atomic_file::OpenedFile opened;
    opened.status = atomic_file::ReadStatus::failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return opened;
    if (fresh) {
        // Only a regular file, and only the one held, whatever is at the path by now.
        atomic_file::OpenedFile again = atomic_file::openRegular(file);
        struct stat reopened {};
        if (again.status == atomic_file::ReadStatus::ok && statAfresh(again.fd, reopened) &&
            atomic_file::FileIdentity::of(reopened) == atomic_file::FileIdentity::of(info)) {
            again.size = static_cast<std::uint64_t>(reopened.st_size);  // the server's, not a cache's
            again.allocated = static_cast<std::uint64_t>(reopened.st_blocks) * 512;
            return again;
        }
    }
    opened.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (opened.fd >= 0) opened.status = atomic_file::ReadStatus::ok;
    opened.size = static_cast<std::uint64_t>(info.st_size);
    opened.allocated = static_cast<std::uint64_t>(info.st_blocks) * 512;
    return opened;
}

LogMount logMountOf(int fd) {
    // Not in every kernel's headers.
    constexpr std::uint32_t kCifsMagic = 0xFF534D42;
    constexpr std::uint32_t kSmb2Magic = 0xFE534D42;
    constexpr std::uint32_t kCephMagic = 0x00C36400;
    constexpr std::array<std::uint32_t, 9> shared{FUSE_SUPER_MAGIC, NFS_SUPER_MAGIC, SMB_SUPER_MAGIC,
                                                  kCifsMagic,       kSmb2Magic,      V9FS_MAGIC,
                                                  kCephMagic,       AFS_SUPER_MAGIC, AFS_FS_MAGIC};
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return LogMount::local;
    const auto type = static_cast<std::uint32_t>(info.f_type);
    if (type == FUSE_SUPER_MAGIC) return LogMount::fuse;
    return std::find(shared.begin(), shared.end(), type) != shared.end() ? LogMount::shared : LogMount::local;
}

void readAsAsked(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_DIRECT);
}

}  // namespace tw
