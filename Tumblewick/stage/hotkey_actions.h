#pragma once
// What the Shift+Super hotkeys open and write: the companion windows and the Desktop
// exports, filled in by the application shell.
#include <filesystem>
#include <optional>

namespace tw {

class HotkeyActions {
   public:
    virtual ~HotkeyActions() = default;
    virtual void toggleRecentThoughts() = 0;     // T
    virtual void toggleWatchPanel() = 0;         // F
    virtual void toggleDragDownLog() = 0;        // L
    virtual void toggleDialogueInspector() = 0;  // I
    // The file written, or nothing when it could not be written.
    virtual std::optional<std::filesystem::path> writeChapterToDesktop() = 0;    // D
    virtual std::optional<std::filesystem::path> writeShareCardToDesktop() = 0;  // S
};

}  // namespace tw
