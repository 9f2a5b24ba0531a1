#include "platform/testing/hostile_files.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tw::testing {

namespace fs = std::filesystem;

namespace {

constexpr char kText[] = "{\"held\": 1}\n";

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

void makeSocket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + name);
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(fd >= 0, "socket");
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);  // the socket file stays, with nobody listening
    check(bound, "bind " + name);
}

}  // namespace

fs::path freshShortFolder(const std::string& prefix) {
    const fs::path folder = fs::temp_directory_path() / (prefix + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

const std::vector<HostileKind>& hostileKinds() {
    static const std::vector<HostileKind> kinds = {
        {Hostile::fifo, "FIFO"},
        {Hostile::socket, "socket"},
        {Hostile::devZeroLink, "link to /dev/zero"},
        {Hostile::symlinkLoop, "symlink loop"},
        {Hostile::danglingLink, "dangling link"},
        {Hostile::directory, "directory"},
        {Hostile::noPermission, "mode 000"},
        {Hostile::sparse, "sparse 1 GiB"},
    };
    return kinds;
}

void makeHostile(const fs::path& path, Hostile kind) {
    switch (kind) {
        case Hostile::fifo:
            check(::mkfifo(path.c_str(), 0644) == 0, "mkfifo");
            return;
        case Hostile::socket:
            makeSocket(path);
            return;
        case Hostile::devZeroLink:
            fs::create_symlink("/dev/zero", path);
            return;
        case Hostile::symlinkLoop:
            fs::create_symlink(path.filename(), path);
            return;
        case Hostile::danglingLink:
            fs::create_symlink(path.filename().string() + ".gone", path);
            return;
        case Hostile::directory:
            fs::create_directory(path);
            return;
        case Hostile::noPermission:
            std::ofstream(path, std::ios::binary) << kText;
            fs::permissions(path, fs::perms::none);
            return;
        case Hostile::sparse:
            std::ofstream(path, std::ios::binary) << kText;
            fs::resize_file(path, std::uintmax_t{1} << 30);
            return;
    }
}

bool isRegular(Hostile kind) { return kind == Hostile::noPermission || kind == Hostile::sparse; }

bool meaninglessHere(Hostile kind) { return kind == Hostile::noPermission && ::geteuid() == 0; }

std::string fingerprint(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::string("absent: ") + std::strerror(errno);
    std::string text = "mode " + std::to_string(info.st_mode) + " size " + std::to_string(info.st_size) +
                       " inode " + std::to_string(info.st_ino) + " changed " +
                       std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
    if (S_ISLNK(info.st_mode)) {
        std::error_code error;
        text += " -> " + fs::read_symlink(path, error).string();
    }
    return text;
}

}  // namespace tw::testing
