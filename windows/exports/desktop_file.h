#pragma once
// Files the app leaves on the user's Desktop: written whole or not at all, then
// shown in the file manager.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop.h"

namespace tw {

// The Desktop folder, which is never created here; nullopt (with a log line) when it
// does not exist.
std::optional<std::filesystem::path> existingDesktopFolder(const std::filesystem::path& folder);

// Writes through a temporary file in the same folder that then replaces `file`, so a
// reader sees the old file or the new one, never half of one. False (with a log
// line, and no temporary left behind) on failure.
bool writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// Resolves the folder, writes `name` there atomically and reveals it. The file's
// path, or nullopt when the folder is missing or the write fails (nothing revealed).
std::optional<std::filesystem::path> saveToDesktop(const std::filesystem::path& desktopFolder,
                                                   const std::string& name, std::string_view bytes,
                                                   Desktop& desktop);

}  // namespace tw
