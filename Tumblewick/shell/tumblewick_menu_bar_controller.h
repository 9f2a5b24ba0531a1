#pragma once
// The circus in the system tray: a ticket icon carrying the last minute's decision
// count, a left click that opens a popover with a second, small stage, and a context
// menu with the companion windows, the Desktop exports, the Spotlight and Inner Life
// submenus, the menu-bar mode switch and Quit. It exists in both display modes; what
// the mode does to the strip is MenuBarModeStrip's job. Main thread only.
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/shell/menu_bar/menu_bar_menu.h"
#include "Tumblewick/shell/menu_bar_popover.h"
#include "Tumblewick/stage/hotkey_actions.h"
#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_custom_fleas.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "platform/owner_lifetime.h"

namespace tw {

class TumblewickView;

class TumblewickMenuBarController final : public QObject {
   public:
    // Every reference must outlive the controller. An empty window entry logs that the
    // window is not part of this build.
    struct Services {
        Defaults& defaults;  // the standard suite
        NotificationCenter& notifications;
        MainQueue& mainQueue;
        StageAgentHost& agentHost;
        StageCustomFleas& customFleas;
        HotkeyActions& companions;  // the four toggles and the two exports
        std::function<std::int64_t(double seconds)> decisionsInLast;
        std::function<void(const std::string& fleaId, const std::string& displayName)> showInnerLife;
        std::function<void()> showTroupeWindow;
        std::function<void()> toggleAgentSettings;
        std::function<void()> quit;
        // The popover's own stage, winding custom fleas' XP into `xp`; none leaves the
        // popover empty.
        std::function<TumblewickView*(QSize, CustomFleaXPSink& xp)> makeStageView;
    };

    // The scale is not used: the popover is the same size at every scale.
    TumblewickMenuBarController(double uiScale, Services services);
    ~TumblewickMenuBarController() override;

    // Opens the popover, or closes it when open.
    void togglePopover();
    void toggleMenuBarMode();
    void openRecentThoughts();
    void exportChapter();
    void saveShareCard();
    void openWatchPanel();
    void openSettings();
    void openTroupeSettings();
    void openDragDown();
    void openDialogueInspector();
    void spotlightFlea(const MenuBarItem& item);
    void showInnerLife(const MenuBarItem& item);
    // Before the context menu opens: the submenus and the mode switch's title afresh.
    void menuWillOpen();
    void refreshActivityTitle();

    QSystemTrayIcon& statusItem() { return *statusItem_; }
    MenuBarPopover& popover() { return *popover_; }
    QMenu& contextMenu() { return *contextMenu_; }
    QMenu& spotlightSubmenu() { return *spotlightSubmenu_; }
    QMenu& innerLifeSubmenu() { return *innerLifeSubmenu_; }
    TumblewickView* circusView() { return circusView_; }

    // While a menu the toolkit draws is open, its own hotkeys choose their items.
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    void fillMenu(QMenu& menu, const std::vector<MenuBarItem>& items);
    void perform(const MenuBarItem& item);
    // Window actions return at once; the window opens from the main queue.
    void later(std::function<void()> work);
    void hideMenus();
    std::vector<MenuBarFlea> customFleas() const;

    // The popover's stage hears the same key presses and clicks as the strip's: the
    // custom fleas' XP is counted once, by the strip.
    struct NoXP final : CustomFleaXPSink {
        void addXPToAll(std::int64_t) override {}
    };

    Services services_;
    NoXP popoverXP_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<MenuBarPopover> popover_;
    TumblewickView* circusView_ = nullptr;  // owned by the popover
    std::unique_ptr<QMenu> contextMenu_;
    QMenu* spotlightSubmenu_ = nullptr;  // owned by the context menu
    QMenu* innerLifeSubmenu_ = nullptr;
    QAction* modeAction_ = nullptr;
    std::vector<MenuBarItem> contextItems_;  // what the menu's keys choose from
    std::optional<TaskId> activityRefreshTimer_;
    std::string shownBadge_ = "-";  // the icon is repainted only when the count changes
    OwnerLifetime lifetime_;        // last: queued refreshes stop before anything else goes
};

}  // namespace tw
