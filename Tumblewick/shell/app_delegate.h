#pragma once
// The application's one delegate: the launch sequence that puts the strip on screen
// and starts the troupe session, the agent loop and the daily banner; and the one quit
// path that SIGTERM, SIGINT, logout, the close button and the menu all take.
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/shell_hotkey_actions.h"
#include "Tumblewick/shell/transparent_window.h"
#include "Tumblewick/shell/window_entries.h"

namespace tw {

class TumblewickView;
class CustomFleaXPSink;
class HotkeyDispatcher;
class SettingsPanel;
class FeedUpdateChecker;
class TumblewickMenuBarController;
class MenuBarModeStrip;
class SystemTrayWatch;
class KeyValueStore;
class ArcOverlayController;

class AppDelegate final : public QObject {
   public:
    explicit AppDelegate(AppServices& services, WindowEntries windows = {});
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // The quit path's steps before the process exits; runs once.
    void applicationWillTerminate();
    void quitApp();

    TransparentWindow* window() { return window_.get(); }
    TumblewickView* circusView() { return circusView_; }
    double uiScale() const { return uiScale_; }

    // The "Controls" menu of the close button, and what its items do.
    void showControlMenu(QWidget& anchor);
    void openColony();
    void selectDisplayScale(std::optional<double> scale);  // none: automatic
    // Saves the settings and quits; main starts the new instance after the quit path.
    void restartForDisplayScaleChange();
    bool relaunchRequested() const { return relaunchRequested_; }
    void toggleDeterministicMode();

    // The settings panel: Cancel and Save close it; its title-bar close only hides it.
    void openSettingsPanel();
    void closeSettingsPanel();
    void saveSettingsPanel();
    SettingsPanel* settingsWindow() { return settingsWindow_.get(); }
    // The diagnostics file, reported on the strip; the action drops the result.
    void exportDiagnosticsAction();
    std::optional<std::filesystem::path> exportDiagnostics();

    TumblewickMenuBarController* menuBar() { return menuBar_.get(); }

   private:
    // A stage view with the app's services, for the strip and for the tray's popover.
    TumblewickView* makeStageView(QSize size, CustomFleaXPSink& xp);
    // The story-arc card, and the tray item with menu-bar mode's hold on the strip.
    void startArcOverlay();
    void startMenuBar();
    // Whether a tray is present now: followed on X, asked afresh elsewhere.
    std::function<bool()> followSystemTray();

    AppServices& services_;
    ShellHotkeyActions hotkeyActions_;
    std::unique_ptr<HotkeyDispatcher> hotkeys_;
    std::unique_ptr<TransparentWindow> window_;
    TumblewickView* circusView_ = nullptr;
    double uiScale_ = 1.0;
    bool deterministicMode_;
    std::int64_t deterministicSeed_;
    bool terminated_ = false;
    bool relaunchRequested_ = false;
    std::unique_ptr<FeedUpdateChecker> updateChecker_;
    std::unique_ptr<SettingsPanel> settingsWindow_;
    WindowEntries windows_;
    std::unique_ptr<TumblewickMenuBarController> menuBar_;
    std::unique_ptr<MenuBarModeStrip> menuBarModeObserver_;
    std::unique_ptr<SystemTrayWatch> trayWatch_;  // after the observer it tells: gone first
    std::unique_ptr<KeyValueStore> cloudKeyValues_;
    std::unique_ptr<ArcOverlayController> arcOverlay_;
};

}  // namespace tw
