#include "Tumblewick/stage/hotkey_dispatcher.h"

#include "platform/log.h"

namespace tw {

void runHotkey(Hotkey hotkey, InputOrigin origin, HotkeyActions& actions) {
    const bool global = origin == InputOrigin::global;
    switch (hotkey) {
        case Hotkey::recentThoughts:
            actions.toggleRecentThoughts();
            break;
        case Hotkey::watchPanel:
            actions.toggleWatchPanel();
            break;
        case Hotkey::dragDownLog:
            actions.toggleDragDownLog();
            break;
        case Hotkey::dialogueInspector:
            actions.toggleDialogueInspector();
            break;
        case Hotkey::chapter:
            if (const auto path = actions.writeChapterToDesktop()) {
                log::plain("📜 Exported chapter to " + path->string());
            } else {
                log::warning(global ? "Chapter export failed (couldn't write to Desktop)"
                                    : "Chapter export failed");
            }
            break;
        case Hotkey::shareCard:
            // Only a press from another application reports the card.
            if (const auto path = actions.writeShareCardToDesktop(); path && global) {
                log::plain("🖼  Share card → " + path->string());
            }
            break;
        case Hotkey::agentSettings:
        case Hotkey::quit:
            break;  // the tray menu's own keys: hotkeyFor never gives them
    }
}

HotkeyDispatcher::HotkeyDispatcher(InputMonitor& monitor, HotkeyActions& actions, MainQueue& queue)
    : actions_(actions), queue_(queue), subscription_(monitor.subscribe(*this)) {}

bool HotkeyDispatcher::keyDown(const KeyPress& press) {
    const auto hotkey = hotkeyFor(press);
    if (!hotkey) return false;
    queue_.post(lifetime_.guarded([&actions = actions_, hotkey = *hotkey, origin = press.origin] {
        runHotkey(hotkey, origin, actions);
    }));
    return true;
}

}  // namespace tw
