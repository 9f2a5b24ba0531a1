#include "troupe/store/troupe_log_file_at_path.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/atomic_file.h"

namespace tw {

LogAtPath logAtPath(const std::filesystem::path& file, int heldFd) {
    using atomic_file::FileIdentity;
    struct stat held {};
    struct stat atPath {};
    if (::fstat(heldFd, &held) != 0) return LogAtPath::unknown;
    const LogAtPath notAFile = held.st_nlink == 0 ? LogAtPath::notAFileHeldDeleted : LogAtPath::notAFile;
    if (::stat(file.c_str(), &atPath) == 0) {
        if (FileIdentity::of(held) == FileIdentity::of(atPath)) return LogAtPath::heldFile;
        return S_ISREG(atPath.st_mode) ? LogAtPath::anotherFile : notAFile;
    }
    if (errno == ENOTDIR) return notAFile;  // a file where the folder was
    if (errno != ENOENT) return LogAtPath::unknown;
    struct stat link {};
    return ::lstat(file.c_str(), &link) == 0 ? notAFile : LogAtPath::nothing;
}

}  // namespace tw
