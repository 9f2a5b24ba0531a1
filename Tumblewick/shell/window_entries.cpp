#include "Tumblewick/shell/window_entries.h"

#include <memory>

#include "Tumblewick/shell/app_services.h"
#include "agent/host/tumblewick_agent_host.h"
#include "windows/companions/tumblewick_recent_thoughts_panel.h"

namespace tw {

namespace {

// Recent thoughts (Shift-Super-T).
void addRecentThoughts(WindowEntries& entries, AppServices& services) {
    auto panel = std::make_shared<std::unique_ptr<TumblewickRecentThoughtsPanel>>();
    entries.hotkeys.recentThoughts = [panel, &services] {
        if (!*panel)
            *panel = std::make_unique<TumblewickRecentThoughtsPanel>(
                TumblewickRecentThoughtsPanel::hostSource(TumblewickAgentHost::shared(), services.clock()));
        (*panel)->toggle();
    };
}

// Watch view (Shift-Super-F).

// Drag-down log (Shift-Super-L).

// Dialogue inspector (Shift-Super-I).

// Inner life and timeline.

// Troupe window.

// Agent settings.

}  // namespace

WindowEntries makeWindowEntries(AppServices& services) {
    WindowEntries entries;
    addRecentThoughts(entries, services);
    return entries;
}

}  // namespace tw
