#pragma once
// What the Shift+Super hotkeys reach: the companion windows and the Desktop exports.
// The companion windows' toggles are registered by whoever builds them; one that is
// not registered says so instead of doing nothing silently.
#include <functional>

#include "Tumblewick/stage/hotkey_actions.h"

namespace tw {

struct CompanionToggles {
    std::function<void()> recentThoughts;
    std::function<void()> watchPanel;
    std::function<void()> dragDownLog;
    std::function<void()> dialogueInspector;
};

class ShellHotkeyActions final : public HotkeyActions {
   public:
    explicit ShellHotkeyActions(CompanionToggles toggles) : toggles_(std::move(toggles)) {}
    void toggleRecentThoughts() override { run(toggles_.recentThoughts, "recent thoughts"); }
    void toggleWatchPanel() override { run(toggles_.watchPanel, "watch"); }
    void toggleDragDownLog() override { run(toggles_.dragDownLog, "drag-down log"); }
    void toggleDialogueInspector() override { run(toggles_.dialogueInspector, "dialogue inspector"); }
    std::optional<std::filesystem::path> writeChapterToDesktop() override;
    std::optional<std::filesystem::path> writeShareCardToDesktop() override;

    // Opens a companion window, or says that it is not part of this build.
    static void run(const std::function<void()>& toggle, const char* what);

   private:
    CompanionToggles toggles_;
};

}  // namespace tw
