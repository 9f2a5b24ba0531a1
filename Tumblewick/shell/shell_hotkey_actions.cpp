#include "Tumblewick/shell/shell_hotkey_actions.h"

#include "platform/log.h"
#include "windows/exports/qt/tumblewick_share_card.h"
#include "windows/exports/tumblewick_chapter_export.h"

namespace tw {

void ShellHotkeyActions::run(const std::function<void()>& toggle, const char* what) {
    if (toggle) {
        toggle();
    } else {
        log::info(std::string("The ") + what + " window is not part of this build.");
    }
}

std::optional<std::filesystem::path> ShellHotkeyActions::writeChapterToDesktop() {
    return TumblewickChapterExport::writeToDesktop();
}

std::optional<std::filesystem::path> ShellHotkeyActions::writeShareCardToDesktop() {
    return TumblewickShareCard::writeToDesktop();
}

}  // namespace tw
