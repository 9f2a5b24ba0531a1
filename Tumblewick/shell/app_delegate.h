#pragma once
// The application's one delegate: the launch sequence that puts the strip on screen
// and starts the troupe session, the agent loop and the daily banner; and the one quit
// path that SIGTERM, SIGINT, logout, the close button and the menu all take.
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/shell_hotkey_actions.h"
#include "Tumblewick/shell/transparent_window.h"

namespace tw {

class TumblewickView;
class HotkeyDispatcher;

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
};

}  // namespace tw
