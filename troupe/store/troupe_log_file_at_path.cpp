#include "troupe/store/troupe_log_file_at_path.h"

#include <sys/stat.h>

#include <cerrno>

namespace tw {

namespace {
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
}  // namespace

LogAtPath logAtPath(const std::filesystem::path& file, int heldFd) {
    struct stat held {};
    struct stat atPath {};
    if (::fstat(heldFd, &held) != 0) return LogAtPath::unknown;
    if (::stat(file.c_str(), &atPath) == 0) {
        if (sameFile(held, atPath)) return LogAtPath::heldFile;
        return S_ISREG(atPath.st_mode) ? LogAtPath::anotherFile : LogAtPath::notAFile;
    }
    if (errno == ENOTDIR) return LogAtPath::notAFile;  // a file where the folder was
    if (errno != ENOENT) return LogAtPath::unknown;
    struct stat link {};
    return ::lstat(file.c_str(), &link) == 0 ? LogAtPath::notAFile : LogAtPath::nothing;
}

}  // namespace tw
