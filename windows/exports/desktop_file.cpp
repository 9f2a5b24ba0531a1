#include "windows/exports/desktop_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/log.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int error) { return std::strerror(error); }

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Hidden, and unique per process and call, so two writers never share a temporary.
fs::path temporaryNameFor(const fs::path& file) {
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name.append(file.filename().string()).append(".tmp-").append(std::to_string(::getpid()));
    name.append("-").append(std::to_string(counter.fetch_add(1)));
    return file.parent_path() / name;
}

}  // namespace

std::optional<fs::path> existingDesktopFolder(const fs::path& folder) {
    std::error_code error;
    if (fs::is_directory(folder, error)) return folder;
    log::warning("No Desktop folder at " + folder.string());
    return std::nullopt;
}

bool writeFileAtomically(const fs::path& file, std::string_view bytes) {
    const fs::path temp = temporaryNameFor(file);
    // The mode passes through the umask, as for any file the user saves.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        log::warning("Cannot write " + file.string() + ": " + errnoText(errno));
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        log::warning("Cannot write " + file.string() + ": " + errnoText(written ? errno : writeError));
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        log::warning("Cannot replace " + file.string() + ": " + errnoText(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::optional<fs::path> saveToDesktop(const fs::path& desktopFolder, const std::string& name,
                                      std::string_view bytes, Desktop& desktop) {
    const auto folder = existingDesktopFolder(desktopFolder);
    if (!folder) return std::nullopt;
    const fs::path file = *folder / name;
    if (!writeFileAtomically(file, bytes)) return std::nullopt;
    desktop.revealFile(file);
    return file;
}

}  // namespace tw
