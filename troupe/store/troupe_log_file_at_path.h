#pragma once
// What is at the troupe log's path, next to the file the writer holds: programs save
// by renaming a new file over the old one, users delete the log or its folder, and
// something other than a file may be put there.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/atomic_file.h"

namespace tw {

enum class LogAtPath {
    heldFile,     // the file the descriptor holds
    nothing,      // the file, or its folder, was deleted
    anotherFile,  // another regular file took its place
    notAFile,     // a FIFO, device, folder or link to nothing, and the held file was kept under another name
    notAFileHeldDeleted,  // the same, and the held file has no name left: no file to write at all
    unknown,              // cannot be looked at (permissions): stay with the held file
};
// On a mount other machines write to, the path is opened as well (the server is asked), so
// that the next fstat of the file gives its size and times now, not a cached stat; that open,
// sized as the server said, is handed to `opened` when it has the held file's identity. There
// the identity may be the name's (a FUSE mount that numbers files by path): the held
// descriptor may serve a file renamed away since, the open the one at the path. It is for
// appending only `toWrite`: closing a descriptor open for writing is an event of its own.
// `sharedMount`: the held file is not on a local disk, as logMountOf() said once (each asking
// is a request there).
LogAtPath logAtPath(const std::filesystem::path& file, int heldFd, bool sharedMount,
                    atomic_file::OpenedFile* opened = nullptr, bool toWrite = false);

// `fd`'s stat as its file system has it now, where a plain fstat may be answered from a
// cache kept for seconds (sshfs keeps sizes and times 20 s, NFS up to a minute). False
// when it cannot be had.
bool statAfresh(int fd, struct stat& info);

// The log opened to append to, made (0600, its folder 0700 when that went too) when
// nothing is there. Only a file made here gets its mode set: whatever is at the path
// already, or behind a link there, belongs to someone who chose its mode. O_EXCL makes
// nothing through a link; an existing path is opened only once it is seen to be a
// regular file (a link to one is fine), never waited on (a FIFO) nor written past (a device).
struct OpenedLog {
    int fd = -1;        // the caller's to close
    bool made = false;  // new and empty
    struct stat info {};
    std::string error;  // why there is no fd
};
OpenedLog openLogToAppend(const std::filesystem::path& file);

// The log open on `fd`, on a descriptor of its own and sized as it is now, to be read.
// With `fresh` it is opened again at `file` (when that is still the same file): a
// descriptor held open on a shared mount may read the pages this machine kept, where an
// open asks the server and so sees what other machines wrote; its size is the server's too.
atomic_file::OpenedFile logOnItsOwnDescriptor(int fd, const std::filesystem::path& file = {},
                                              bool fresh = false);

// Where the file open on `fd` lies: on a mount other machines write to (FUSE, NFS, SMB, 9P,
// Ceph, AFS), their changes send no event here and may not reach a held descriptor.
enum class LogMount {
    local,
    shared,
    fuse,  // shared, and reads through the page cache ask its daemon for whole pages
};
LogMount logMountOf(int fd);

// On a FUSE mount a read asks its daemon for whole pages (sshfs sends each over the
// network): a descriptor set to read directly asks for the bytes read, the last byte or a
// line of ours. Where that cannot be set, reads go on through the cache.
void readAsAsked(int fd);

}  // namespace tw
