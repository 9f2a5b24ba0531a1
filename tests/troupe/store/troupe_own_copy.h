#pragma once
// This run's own copy of its lines, reached as another program (or a full temporary
// folder) would damage it: the unlinked file this process holds that starts with `first`.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace tw::testing {

// The descriptor of that file, -1 when none or more than one is held.
inline int ownCopyStartingWith(std::string_view first) {
    int found = -1;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        std::string held(first.size(), '\0');
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string().ends_with(" (deleted)") &&
            ::pread(fd, held.data(), held.size(), 0) == static_cast<ssize_t>(held.size()) && held == first) {
            found = fd;
            ++count;
        }
    }
    return count == 1 ? found : -1;
}

}  // namespace tw::testing
