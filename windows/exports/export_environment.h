#pragma once
// What the exports' argument-less entry points read: the clock, the standard
// defaults suite and where the Desktop is. The app installs it at launch.
#include <filesystem>
#include <functional>

#include "platform/clock.h"
#include "platform/defaults.h"

namespace tw {

struct ExportEnvironment {
    const Clock* clock = nullptr;                          // the system clock when unset
    Defaults* standardDefaults = nullptr;                  // without it the yesterday banner stays silent
    std::function<std::filesystem::path()> desktopFolder;  // the XDG Desktop when unset

    const Clock& clockOrSystem() const;
    std::filesystem::path desktopFolderPath() const;

    static const ExportEnvironment& shared();
    // Main thread, before the entry points run; the pointers must outlive their use.
    static void installShared(ExportEnvironment environment);
};

}  // namespace tw
