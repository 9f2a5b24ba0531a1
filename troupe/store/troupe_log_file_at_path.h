#pragma once
// What is at the troupe log's path, next to the file the writer holds: programs save
// by renaming a new file over the old one, users delete the log or its folder, and
// something other than a file may be put there. Only a regular file (or a link to
// one) is ever opened, and the path is looked at first: opening a device can do
// something even when nothing is read or written.
#include <filesystem>

namespace tw {

enum class LogAtPath {
    heldFile,     // the file the descriptor holds
    nothing,      // the file, or its folder, was deleted
    anotherFile,  // another regular file took its place
    notAFile,     // a FIFO, device, folder or link to nothing: no file to write
    unknown,      // cannot be looked at (permissions): stay with the held file
};
LogAtPath logAtPath(const std::filesystem::path& file, int heldFd);

// A descriptor of the regular file at `file` opened with `flags`, or -1 with errno set:
// ENODEV when something else is there, EAGAIN when it was swapped while being opened.
int openExistingRegularFile(const std::filesystem::path& file, int flags);

}  // namespace tw
