#pragma once
// What is at the troupe log's path, next to the file the writer holds: programs save
// by renaming a new file over the old one, users delete the log or its folder, and
// something other than a file may be put there.
#include <filesystem>

namespace tw {

enum class LogAtPath {
    heldFile,     // the file the descriptor holds
    nothing,      // the file, or its folder, was deleted
    anotherFile,  // another regular file took its place
    notAFile,     // a FIFO, device, folder or link to nothing, and the held file was kept under another name
    notAFileHeldDeleted,  // the same, and the held file has no name left: no file to write at all
    unknown,              // cannot be looked at (permissions): stay with the held file
};
LogAtPath logAtPath(const std::filesystem::path& file, int heldFd);

}  // namespace tw
