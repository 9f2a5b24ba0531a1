#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace tw::testing {

// `below` seen through a FUSE mount at `at` (as a network share is seen), while it lives:
// bindfs; sshfs, whose own cache keeps sizes and times 20 s and gives times in whole
// seconds, talking to an SFTP server of this machine straight, without ssh; or a plain
// passthrough whose inode numbers follow names (fuse_passthrough.py beside this file),
// with its sizes a second late in `laggingPassthrough`.
enum class Fuse { bindfs, sshfs, passthrough, laggingPassthrough };

// How a passthrough differs from a plain one.
struct PassthroughOptions {
    double lagSeconds = 0;           // sizes that late (1 in `laggingPassthrough` unless given)
    double writeDelaySeconds = 0;    // each write that slow, as over a slow network
    bool byPath = false;             // an open file's attributes are those of the file now at its path
    std::filesystem::path writeLog;  // which file each write reached (see `writesSeen`)
};

struct FuseMount {
    std::filesystem::path at;
    bool mounted = false;
    FuseMount(Fuse kind, const std::filesystem::path& below, std::filesystem::path mountAt,
              PassthroughOptions options = {})
        : at(std::move(mountAt)) {
        std::filesystem::create_directories(below);
        std::filesystem::create_directories(at);
        std::string command = "bindfs '" + below.string() + "' '" + at.string() + "' 2>/dev/null";
        if (kind == Fuse::sshfs) {
            const std::filesystem::path server = below.parent_path() / "sftp-server";
            std::ofstream(server)
                << "#!/bin/sh\nfor s in /usr/lib/openssh/sftp-server "
                   "/usr/libexec/openssh/sftp-server; do [ -x $s ] && exec $s; done\nexit 1\n";
            std::filesystem::permissions(server, std::filesystem::perms::owner_all);
            command = "sshfs -o ssh_command='" + server.string() + "' 'x:" + below.string() + "' '" +
                      at.string() + "' 2>/dev/null";
        } else if (kind == Fuse::passthrough || kind == Fuse::laggingPassthrough) {
            if (kind == Fuse::laggingPassthrough && options.lagSeconds == 0) options.lagSeconds = 1;
            std::ostringstream line;
            line << "'" << (std::filesystem::path(__FILE__).parent_path() / "fuse_passthrough.py").string()
                 << "' '" << below.string() << "' '" << at.string() << "'";
            if (options.lagSeconds > 0) line << " --lag " << options.lagSeconds;
            if (options.writeDelaySeconds > 0) line << " --write-delay " << options.writeDelaySeconds;
            if (options.byPath) line << " --by-path";
            if (!options.writeLog.empty()) line << " --write-log '" << options.writeLog.string() << "'";
            command = line.str() + " 2>/dev/null";
        }
        mounted = std::system(command.c_str()) == 0;
    }
    ~FuseMount() {
        if (mounted && std::system(("fusermount -u '" + at.string() + "' 2>/dev/null").c_str()) != 0)
            mounted = std::system(("umount -l '" + at.string() + "'").c_str()) != 0;
    }
};

// The writes a passthrough's write log holds, and those that reached a file renamed away
// or deleted (no link left: bytes nobody reads), the first of them as logged; and the bytes
// the kernel asked it to read.
struct WritesSeen {
    int writes = 0;
    int toUnlinkedFiles = 0;
    std::string firstUnlinked;
    unsigned long long bytesRead = 0;
};
inline WritesSeen writesSeen(const std::filesystem::path& writeLog) {
    WritesSeen seen;
    std::ifstream in(writeLog);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        if (line.starts_with("read ")) {
            unsigned long long offset = 0;
            unsigned long long size = 0;
            std::string read;
            if (fields >> read >> offset >> size) seen.bytesRead += size;
            continue;
        }
        unsigned long long inode = 0;
        unsigned long long links = 1;
        if (!(fields >> inode >> links)) continue;
        ++seen.writes;
        if (links == 0 && seen.toUnlinkedFiles++ == 0) seen.firstUnlinked = line;
    }
    return seen;
}

// What a test that needs `what` mounted says when it cannot be: a skip, but where
// TW_REQUIRE_FUSE_MOUNTS is set (the project's CI, which can mount) a failure.
inline std::string cannotMount(const std::string& what) {
    const char* required = std::getenv("TW_REQUIRE_FUSE_MOUNTS");
    return (required != nullptr && std::string(required) == "1" ? "failed: TW_REQUIRE_FUSE_MOUNTS is set and "
                                                                : "skipped: ") +
           what + " cannot mount here";
}

}  // namespace tw::testing
