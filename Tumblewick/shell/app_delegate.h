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

namespace tw {

class TumblewickView;
class HotkeyDispatcher;
class SettingsPanel;
class FeedUpdateChecker;

class AppDelegate final : public QObject {
   public:
    explicit AppDelegate(AppServices& services, CompanionToggles toggles = {});
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
    void restartForDisplayScaleChange();
    void toggleDeterministicMode();

    // The settings panel: Cancel and Save close it; its title-bar close only hides it.
    void openSettingsPanel();
    void closeSettingsPanel();
    void saveSettingsPanel();
    SettingsPanel* settingsWindow() { return settingsWindow_.get(); }
    // The diagnostics file, reported on the strip; the action drops the result.
    void exportDiagnosticsAction();
    std::optional<std::filesystem::path> exportDiagnostics();

   private:
    AppServices& services_;
    ShellHotkeyActions hotkeyActions_;
    std::unique_ptr<HotkeyDispatcher> hotkeys_;
    std::unique_ptr<TransparentWindow> window_;
    TumblewickView* circusView_ = nullptr;
    double uiScale_ = 1.0;
    bool deterministicMode_;
    std::int64_t deterministicSeed_;
    bool terminated_ = false;
    std::unique_ptr<FeedUpdateChecker> updateChecker_;
    std::unique_ptr<SettingsPanel> settingsWindow_;
};

}  // namespace tw
