// The delegate's launch steps for the story-arc card and the tray item. In menu-bar
// mode the tray item is the app's presence: hiding the strip never ends the app (it
// does not quit when its last window closes), and Quit takes the one quit path. The
// strip follows the tray as it comes and goes.
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <variant>

#include "Tumblewick/shell/app_delegate.h"
#include "Tumblewick/shell/arc_overlay_view.h"
#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"
#include "Tumblewick/shell/story_arc/arc_overlay_controller.h"
#include "Tumblewick/shell/tumblewick_menu_bar_controller.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/qt/qt_key_value_store.h"
#include "platform/x11/system_tray_watch.h"

namespace tw {
namespace {

// Where the cloud key-value store lives on this desktop; whatever publishes story
// arcs writes it.
constexpr const char* cloudKeyValuesFileName = "CloudKeyValueStore.json";

}  // namespace

void AppDelegate::startArcOverlay() {
    const std::filesystem::path directory = paths::dataDirectory();
    if (directory.empty()) {
        log::warning("No data directory: the story-arc card stays off.");
        return;
    }
    cloudKeyValues_ = std::make_unique<QtKeyValueStore>(directory / cloudKeyValuesFileName);
    arcOverlay_ = std::make_unique<ArcOverlayController>(*cloudKeyValues_, services_.mainQueue(),
                                                         &ArcOverlayView::makeOnMainScreen);
    arcOverlay_->start();
}

void AppDelegate::startMenuBar() {
    menuBar_ = std::make_unique<TumblewickMenuBarController>(
        uiScale_,
        TumblewickMenuBarController::Services{
            .defaults = services_.standardDefaults(),
            .notifications = services_.notifications(),
            .mainQueue = services_.mainQueue(),
            .agentHost = services_.stageAgentHost(),
            .customFleas = services_.stageCustomFleas(),
            .companions = hotkeyActions_,
            .decisionsInLast =
                [&host = services_.agentHost()](double seconds) { return host.decisionsInLast(seconds); },
            .showInnerLife = windows_.showInnerLife,
            .showTroupeWindow = windows_.showTroupeWindow,
            .toggleAgentSettings = windows_.toggleAgentSettings,
            .quit = [this] { quitApp(); },
            .makeStageView = [this](QSize size, CustomFleaXPSink& xp) { return makeStageView(size, xp); },
        });
    menuBarModeObserver_ = std::make_unique<MenuBarModeStrip>(
        services_.standardDefaults(), services_.notifications(), followSystemTray(),
        MenuBarModeStrip::Strip{.hide = [this] { window_->hide(); },
                                .front = [this] { window_->orderFront(); }});
    menuBarModeObserver_->applyAtLaunch();
}

std::function<bool()> AppDelegate::followSystemTray() {
    // Qt says whether a tray runs only when asked; on X the tray's selection is watched,
    // so the strip follows trays as they come and go. A tray Qt reaches over D-Bus alone
    // counts as none there: the strip stays, and the circus is never out of reach.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto watch = SystemTrayWatch::open([this](bool) {
            if (menuBarModeObserver_) menuBarModeObserver_->trayChanged();
        });
        if (auto* opened = std::get_if<std::unique_ptr<SystemTrayWatch>>(&watch)) {
            trayWatch_ = std::move(*opened);
            return [&tray = *trayWatch_] { return tray.present(); };
        }
        log::info("The system tray is not followed (" + std::get<std::string>(watch) +
                  "): it is looked for when menu-bar mode changes.");
    }
    return [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

}  // namespace tw
