#pragma once
// Where Tumblewick keeps its files (XDG base directories).
#include <filesystem>

namespace tw::paths {

// $XDG_DATA_HOME/Tumblewick (default ~/.local/share/Tumblewick).
std::filesystem::path dataDirectory();
// $XDG_CONFIG_HOME/tumblewick (default ~/.config/tumblewick): the defaults suites.
std::filesystem::path configDirectory();
// $XDG_STATE_HOME/tumblewick (default ~/.local/state/tumblewick): this machine's own state.
std::filesystem::path stateDirectory();
// The user's Desktop from xdg-user-dirs (XDG_DESKTOP_DIR), else ~/Desktop.
std::filesystem::path desktopDirectory();
// ~/.tumblewick
std::filesystem::path hiddenDirectory();
// The home directory ($HOME when absolute, else the password database).
std::filesystem::path homeDirectory();

// Creates a directory and its parents; false (and a log line) on failure.
bool ensureDirectory(const std::filesystem::path& directory);

}  // namespace tw::paths
