#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/log.h"

namespace tw::paths {

namespace fs = std::filesystem;

namespace {

// HOME and the XDG variables count only when set to an absolute path: a relative one
// would put files under whatever folder the app was started in. Ignoring one is said
// once per value.
std::optional<fs::path> absoluteEnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') return std::nullopt;
    if (value[0] == '/') return fs::path(value);
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard lock(mutex);
    if (told.insert(std::string(name) + "=" + value).second)
        log::warning(std::string(name) + " is set to the relative path \"" + value + "\"; it is ignored");
    return std::nullopt;
}

fs::path configHome() {
    if (auto path = absoluteEnvironmentPath("XDG_CONFIG_HOME")) return *path;
    return homeDirectory() / ".config";
}

// One value of user-dirs.dirs: "$HOME/Desktop" or "/abs/path", in double quotes,
// with backslash escapes. Anything else is not a usable value.
std::optional<fs::path> parseUserDirValue(std::string_view raw, const fs::path& home) {
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\r'))
        raw.remove_suffix(1);
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return std::nullopt;
    raw = raw.substr(1, raw.size() - 2);
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
        value += raw[i];
    }
    if (value == "$HOME") return home;
    if (value.rfind("$HOME/", 0) == 0) return home / value.substr(6);
    if (!value.empty() && value.front() == '/') return fs::path(value);
    return std::nullopt;
}

}  // namespace

fs::path homeDirectory() {
    if (auto home = absoluteEnvironmentPath("HOME")) return *home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr && result->pw_dir[0] == '/') {
        return fs::path(result->pw_dir);
    }
    log::warning("No home directory: neither $HOME nor the password database names one");
    return fs::path("/");
}

fs::path dataDirectory() {
    if (auto path = absoluteEnvironmentPath("XDG_DATA_HOME")) return *path / "Tumblewick";
    return homeDirectory() / ".local" / "share" / "Tumblewick";
}

fs::path configDirectory() { return configHome() / "tumblewick"; }

fs::path desktopDirectory() {
    const fs::path home = homeDirectory();
    // A dozen lines; anything larger is not one.
    constexpr std::uint64_t kMaxBytes = 1 << 20;
    const fs::path dirs = configHome() / "user-dirs.dirs";
    const auto file = atomic_file::read(dirs, kMaxBytes);
    if (file.status != atomic_file::ReadStatus::ok && file.status != atomic_file::ReadStatus::missing)
        log::warning("The folders file " + dirs.string() + " " + atomic_file::describe(file, kMaxBytes) +
                     "; the Desktop is taken to be " + (home / "Desktop").string());
    std::optional<fs::path> desktop;
    std::string_view rest = file.text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view text = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
        if (text.empty() || text.front() == '#') continue;
        constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
        if (text.substr(0, kKey.size()) != kKey) continue;
        // The last assignment wins, as when the shell sources the file.
        desktop = parseUserDirValue(text.substr(kKey.size()), home);
    }
    return desktop.value_or(home / "Desktop");
}

fs::path stateDirectory() {
    if (auto path = absoluteEnvironmentPath("XDG_STATE_HOME")) return *path / "tumblewick";
    return homeDirectory() / ".local" / "state" / "tumblewick";
}

fs::path hiddenDirectory() { return homeDirectory() / ".tumblewick"; }

bool ensureDirectory(const fs::path& directory) {
    std::error_code error;
    if (fs::is_directory(directory, error)) return true;
    fs::create_directories(directory, error);
    if (error || !fs::is_directory(directory, error)) {
        log::warning("Cannot create the folder " + directory.string() + ": " +
                     (error ? error.message() : std::string("a file is in the way")));
        return false;
    }
    return true;
}

}  // namespace tw::paths
