#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace tw::testing {

// `below` seen through a FUSE mount at `at` (as a network share is seen), while it lives:
// bindfs, or sshfs, whose own cache keeps sizes and times 20 s and gives times in whole
// seconds, talking to an SFTP server of this machine straight, without ssh.
enum class Fuse { bindfs, sshfs };
struct FuseMount {
    std::filesystem::path at;
    bool mounted = false;
    FuseMount(Fuse kind, const std::filesystem::path& below, std::filesystem::path mountAt)
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
        }
        mounted = std::system(command.c_str()) == 0;
    }
    ~FuseMount() {
        if (mounted && std::system(("fusermount -u '" + at.string() + "' 2>/dev/null").c_str()) != 0)
            mounted = std::system(("umount -l '" + at.string() + "'").c_str()) != 0;
    }
};

}  // namespace tw::testing
