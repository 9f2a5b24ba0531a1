#include "platform/qt/flooded_connections.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <string>
#include <system_error>

namespace tw {

namespace {

bool isPeer(int fd, int port, const std::optional<std::string>& address) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
    char text[INET6_ADDRSTRLEN] = {};
    int peerPort = 0;
    if (peer.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(peer);
        peerPort = ntohs(in.sin_port);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const auto& in = reinterpret_cast<const sockaddr_in6&>(peer);
        peerPort = ntohs(in.sin6_port);
        inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof text);
    } else {
        return false;
    }
    return peerPort == port && (!address || *address == text);
}

}  // namespace

int shutDownFloodedConnections(int port, const std::optional<std::string>& address) {
    int shut = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string name = entry.path().filename().string();
        int fd = -1;
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc()) continue;
        struct stat status {};
        int type = 0;
        socklen_t typeLength = sizeof type;
        int waiting = 0;
        if (fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode) ||
            getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM ||
            !isPeer(fd, port, address) || ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0)
            continue;
        // Reset when Qt closes it next, not left waiting for a server that never reads.
        const linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        if (shutdown(fd, SHUT_RDWR) == 0) ++shut;
    }
    return shut;
}

}  // namespace tw
