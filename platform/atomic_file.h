#pragma once
// Whole-file reads with a size limit and whole-file replacement through a temp file,
// for the small stores that keep one file each (defaults suites, the dialogue cache).
// Several processes of the app may share a folder: temp names carry the writer's pid,
// so each writer has its own and leftovers of dead writers can be told apart.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tw::atomic_file {

enum class ReadStatus { ok, missing, notAFile, tooLarge, failed };

struct ReadResult {
    ReadStatus status = ReadStatus::failed;
    std::string text;        // the bytes, when ok
    std::uint64_t size = 0;  // the file's size, when ok or tooLarge
    std::string why;         // the system's reason, when failed
};

// A descriptor of a regular file open for reading (a link to one is fine), with its size.
// Only a regular file is opened: a FIFO, socket or device is refused as notAFile before
// any open, and so is a link that leads nowhere (it is not a missing file: writing there
// would replace the link) and a name swapped to another file between each look and open
// (a new version renamed over it once is looked at and opened in turn).
struct OpenedFile {
    OpenedFile() = default;
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile();

    int fd = -1;
    ReadStatus status = ReadStatus::failed;  // ok when `fd` is open
    std::uint64_t size = 0;                  // st_size when ok (a sparse file's holes count)
    std::uint64_t allocated = 0;             // st_blocks * 512 when ok: what the disk holds
    std::string why;                         // what it is, or the system's reason, otherwise
};
OpenedFile openRegular(const std::filesystem::path& file);

// Which file a stat describes: files are the same when device and inode are.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;  // 0: no file
    static FileIdentity of(const struct stat& info) {
        return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }
    bool known() const { return inode != 0; }
    bool operator==(const FileIdentity&) const = default;
};

// The descriptor under openRegular, for any open `flags`: the path is looked at first and
// only a regular file is opened (never waited on, never taking a terminal), then checked
// to be the file looked at. `info` holds what was looked at, or the opened file's.
struct SeenOpening {
    enum Outcome { opened, notRegular, swapped, failed };
    Outcome outcome = failed;
    int fd = -1;    // open when `opened`; the caller closes it
    int error = 0;  // the errno of the failed call, when `failed`
    struct stat info {};
};
SeenOpening openSeenRegular(const std::filesystem::path& file, int flags);

// Reads a regular file whole; a file over `maxBytes` is refused before any byte is read.
ReadResult read(const std::filesystem::path& file, std::uint64_t maxBytes);

// A line's worth of text for a status other than ok, e.g. "is a directory".
std::string describe(const ReadResult& result, std::uint64_t maxBytes);

enum class Links {
    replace,  // a link at `file` is replaced by the new file; its target is left alone
    follow,   // a link is written through: the file it ends at is replaced in its own folder,
              // keeping its mode, and the link stays; a loop or a link to a special file or
              // folder is an error
};

// Writes `bytes` to a temp file beside `file` and renames it over `file`, so a reader
// sees the old or the new file, never half of one. `durable` fsyncs the data and the
// folder. On failure the temp file is gone and `error` says why. The temp file is
// created exclusively, so a link planted at its name is never followed.
bool replace(const std::filesystem::path& file, std::string_view bytes, bool durable, std::string& error,
             Links links = Links::replace);

// Where a write through `file` lands: `file` itself when it is not a link, else the end
// of its chain of links, a regular file or nothing yet (made by the write). nullopt with
// `error` for a loop or a link to anything else.
std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& file, std::string& error);

// Why nothing may be written at `file`: it holds something else than a regular file or
// a link to one (a FIFO, socket, device, folder, a loop of links or a link to nothing).
// nullopt when `file` is missing or such a file.
std::optional<std::string> notForReplacing(const std::filesystem::path& file);

// The temp name `replace` uses in this process: "<file>.tmp-<pid>-<n>".
std::filesystem::path tempPath(const std::filesystem::path& file);
// The writer's pid in a temp name made by `tempPath` (or the older "<file>.tmp-<pid>").
std::optional<pid_t> tempWriter(const std::filesystem::path& file, const std::filesystem::path& candidate);
// Removes the temp files of `file` whose writer is no longer running; a live writer's
// file (a second instance of the app sharing the folder) is left alone.
void removeStaleTemps(const std::filesystem::path& file);
bool processIsRunning(pid_t pid);

// Renames a file it could not use to "<file>.corrupt-<unix time>[-n]". Returns the new
// name, or nullopt with `error` set.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file, std::string& error);

// An exclusive flock(2) held for the object's lifetime on an existing file or folder,
// or on a lock file it creates. Excludes other processes and other descriptors in this one.
class Lock {
   public:
    Lock(const std::filesystem::path& path, bool create);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

   private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace tw::atomic_file
