#include "Tumblewick/shell/window_entries.h"

#include <memory>

#include "Tumblewick/shell/app_services.h"
#include "agent/host/custom_flea_roster.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/x11/desktop_input.h"
#include "troupe/store/troupe_store.h"
#include "windows/companions/agent_settings_window.h"
#include "windows/companions/dialogue_cache_stats.h"
#include "windows/companions/tumblewick_dialogue_inspector.h"
#include "windows/companions/tumblewick_drag_down_log.h"
#include "windows/companions/tumblewick_recent_thoughts_panel.h"
#include "windows/inner_life/inner_life_panel.h"
#include "windows/inner_life/timeline_window.h"
#include "windows/troupe/tumblewick_troupe_window.h"
#include "windows/watch/tumblewick_watch_panel.h"

namespace tw {

namespace {

// What the live windows name custom fleas by.
CustomFleaList customFleas(AppServices& services) {
    return [&roster = services.customFleaRoster()] { return roster.customFleas(); };
}

// Recent thoughts (Shift-Super-T).
void addRecentThoughts(WindowEntries& entries, AppServices& services, const StripTop& stripTop) {
    auto panel = std::make_shared<std::unique_ptr<TumblewickRecentThoughtsPanel>>();
    entries.hotkeys.recentThoughts = [panel, &services, stripTop] {
        if (!*panel) {
            *panel =
                std::make_unique<TumblewickRecentThoughtsPanel>(TumblewickRecentThoughtsPanel::hostSource(
                    services.agentHost(), services.clock(), customFleas(services)));
            (*panel)->setStripTop(stripTop);
        }
        (*panel)->toggle();
    };
}

// Watch view (Shift-Super-F).
void addWatchPanel(WindowEntries& entries, AppServices& services) {
    auto panel = std::make_shared<std::unique_ptr<TumblewickWatchPanel>>();
    entries.hotkeys.watchPanel = [panel, &services] {
        if (!*panel)
            *panel = std::make_unique<TumblewickWatchPanel>(
                TumblewickWatchPanel::hostSource(services.agentHost(), customFleas(services)),
                services.clock());
        (*panel)->toggle();
    };
}

// Drag-down log (Shift-Super-L): dismissed through the one input hub.
void addDragDownLog(WindowEntries& entries, AppServices& services) {
    auto log = std::make_shared<std::unique_ptr<TumblewickDragDownLog>>();
    entries.hotkeys.dragDownLog = [log, &services] {
        if (!*log)
            *log = std::make_unique<TumblewickDragDownLog>(
                TumblewickDragDownLog::hostSource(services.agentHost(), services.clock(),
                                                  customFleas(services)),
                DesktopInput::shared().monitor(), services.windowFading());
        (*log)->toggle();
    };
}

// Dialogue inspector (Shift-Super-I).
void addDialogueInspector(WindowEntries& entries, AppServices& services, const StripTop& stripTop) {
    auto inspector = std::make_shared<std::unique_ptr<TumblewickDialogueInspector>>();
    entries.hotkeys.dialogueInspector = [inspector, &services, stripTop] {
        if (!*inspector) {
            *inspector =
                std::make_unique<TumblewickDialogueInspector>(TumblewickDialogueInspector::hostSource(
                    services.agentHost(), services.clock(), customFleas(services)));
            (*inspector)->setStripTop(stripTop);
        }
        (*inspector)->toggle();
    };
}

// Inner life and timeline.
void addInnerLife(WindowEntries& entries, AppServices& services, const StripTop& stripTop) {
    auto timeline = std::make_shared<std::unique_ptr<TumblewickTimelineWindow>>();
    auto panel = std::make_shared<std::unique_ptr<TumblewickInnerLifePanel>>();
    auto showTimeline = [timeline, &services, stripTop](const std::string& fleaId,
                                                        const std::string& displayName) {
        if (!*timeline) {
            *timeline = std::make_unique<TumblewickTimelineWindow>(
                TumblewickTimelineWindow::hostSource(services.agentHost(), services.clock()));
            (*timeline)->setStripTop(stripTop);
        }
        (*timeline)->show(fleaId, displayName);
    };
    entries.showInnerLife = [panel, showTimeline, &services, stripTop](const std::string& fleaId,
                                                                       const std::string& displayName) {
        if (!*panel) {
            *panel = std::make_unique<TumblewickInnerLifePanel>(
                TumblewickInnerLifePanel::hostSource(services.agentHost(), services.clock(),
                                                     customFleas(services)),
                showTimeline);
            (*panel)->setStripTop(stripTop);
        }
        (*panel)->show(fleaId, displayName);
    };
}

// Troupe window.
void addTroupeWindow(WindowEntries& entries, AppServices& services, const StripTop& stripTop) {
    auto window = std::make_shared<std::unique_ptr<TumblewickTroupeWindow>>();
    entries.showTroupeWindow = [window, &services, stripTop] {
        if (!*window) {
            *window = std::make_unique<TumblewickTroupeWindow>(
                services.troupe(), TroupePostgresEndpoint::production, services.telemetry());
            (*window)->setStripTop(stripTop);
        }
        (*window)->show();
    };
}

// Agent settings: the one writer of the four display settings the stage and toast read.
void addAgentSettings(WindowEntries& entries, AppServices& services, const StripTop& stripTop) {
    auto window = std::make_shared<std::unique_ptr<AgentSettingsWindow>>();
    entries.toggleAgentSettings = [window, &services, stripTop] {
        if (!*window) {
            TumblewickAgentHost& host = services.agentHost();
            *window = std::make_unique<AgentSettingsWindow>(
                services.standardDefaults(),
                AgentSettingsWindow::Hooks{[&host](bool on) { host.setAutoSpotlightEnabled(on); },
                                           [&host, &services](std::function<void(std::string)> show) {
                                               readDialogueCacheStats(host.dialogueCache(),
                                                                      services.mainQueue(), std::move(show));
                                           }});
            (*window)->setStripTop(stripTop);
        }
        (*window)->toggle();
    };
}

}  // namespace

WindowEntries makeWindowEntries(AppServices& services, StripTop stripTop) {
    WindowEntries entries;
    addRecentThoughts(entries, services, stripTop);
    addInnerLife(entries, services, stripTop);
    addTroupeWindow(entries, services, stripTop);
    addWatchPanel(entries, services);
    addDragDownLog(entries, services);
    addDialogueInspector(entries, services, stripTop);
    addAgentSettings(entries, services, stripTop);
    return entries;
}

}  // namespace tw
