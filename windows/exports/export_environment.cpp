#include "windows/exports/export_environment.h"

#include "platform/paths.h"

namespace tw {

namespace {

ExportEnvironment& installed() {
    static ExportEnvironment environment;
    return environment;
}

}  // namespace

const Clock& ExportEnvironment::clockOrSystem() const {
    static const SystemClock systemClock;
    return clock != nullptr ? *clock : systemClock;
}

std::filesystem::path ExportEnvironment::desktopFolderPath() const {
    return desktopFolder ? desktopFolder() : paths::desktopDirectory();
}

const ExportEnvironment& ExportEnvironment::shared() { return installed(); }

void ExportEnvironment::installShared(ExportEnvironment environment) { installed() = std::move(environment); }

}  // namespace tw
