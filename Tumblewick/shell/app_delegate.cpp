#include "Tumblewick/shell/app_delegate.h"

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QSysInfo>
#include <iostream>

#include "Tumblewick/colony/ui/mac_colony_window.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/controls_menu_builder.h"
#include "Tumblewick/shell/launch/controls_menu.h"
#include "Tumblewick/shell/launch/diagnostics_report.h"
#include "Tumblewick/shell/launch/feed_update_checker.h"
#include "Tumblewick/shell/launch/settings_panel_model.h"
#include "Tumblewick/shell/launch/troupe_launch_step.h"
#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"
#include "Tumblewick/shell/settings_panel.h"
#include "Tumblewick/shell/story_arc/arc_overlay_controller.h"
#include "Tumblewick/shell/tumblewick_menu_bar_controller.h"
#include "Tumblewick/stage/hotkey_dispatcher.h"
#include "Tumblewick/stage/qt/tumblewick_view.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/log.h"
#include "platform/settings_keys.h"
#include "platform/x11/desktop_input.h"
#include "platform/x11/system_tray_watch.h"
#include "troupe/store/troupe_store.h"
#include "windows/exports/tumblewick_chapter_export.h"
#include "windows/exports/tumblewick_yesterday_banner.h"

namespace tw {
namespace {

constexpr int yesterdayBannerDelayMs = 3000;
constexpr std::size_t chapterOnQuitMinimumLines = 3;

void printBanner() {
    std::cout << "\n"
              << "🎪  ** Tumblewick is starting! **\n"
              << "     Your typing & mouse activity winds the circus.\n"
              << "     Clicks = EXPLOSIONS. Keys = energy bursts.\n"
              << "     Press Ctrl+C here to quit (or use the × button).\n"
              << "\n"
              << std::flush;
}

}  // namespace

AppDelegate::AppDelegate(AppServices& services, WindowEntries windows)
    : services_(services),
      hotkeyActions_(windows.hotkeys),
      deterministicMode_(resolvedDeterministicMode(services.standardDefaults())),
      deterministicSeed_(resolvedDeterministicSeed(services.standardDefaults())),
      updateChecker_(std::make_unique<FeedUpdateChecker>(services.http(), TW_UPDATE_FEED_URL, APP_VERSION)),
      windows_(std::move(windows)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    // Global input stands in for the accessibility prompt: the hub says once when the
    // desktop's keys and clicks cannot reach us.
    auto& input = DesktopInput::shared();
    hotkeys_ = std::make_unique<HotkeyDispatcher>(input.monitor(), hotkeyActions_, services_.mainQueue());

    printBanner();
    TroupeLaunchStep{services_.troupe(), services_.standardDefaults(), services_.notifications(),
                     services_.clock(), localDeviceName()}
        .start();

    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    uiScale_ = resolvedUIScale(screen->devicePixelRatio(), services_.standardDefaults());
    const QRect frame = screen->geometry();
    const StripGeometry geometry = stripGeometry(
        Rect{double(frame.x()), double(frame.y()), double(frame.width()), double(frame.height())}, uiScale_);
    window_ = std::make_unique<TransparentWindow>(geometry);

    auto* view = makeStageView(window_->size(), services_.stageCustomFleas());
    view->stage().configureDeterministicMode(deterministicMode_, deterministicSeed_, true);
    circusView_ = view;
    window_->setContentView(view);
    window_->onCloseButton([this] { quitApp(); }, [this](QWidget& anchor) { showControlMenu(anchor); });
    window_->orderFront();
    startArcOverlay();

    services_.mainQueue().post([&host = services_.agentHost()] { host.start(); });
    services_.mainQueue().postAfter(yesterdayBannerDelayMs / 1000.0,
                                    [] { TumblewickYesterdayBanner::surfaceIfApplicable(); });
    startMenuBar();
}

TumblewickView* AppDelegate::makeStageView(QSize size, CustomFleaXPSink& xp) {
    return new TumblewickView(
        size, TumblewickView::Services{services_.mainQueue(), services_.standardDefaults(),
                                       services_.stageAgentHost(), services_.stageCustomFleas(), xp,
                                       updateChecker_.get(), &DesktopInput::shared().monitor()});
}

void AppDelegate::quitApp() { QApplication::quit(); }

void AppDelegate::showControlMenu(QWidget& anchor) {
    auto* menu = new QMenu(QStringLiteral("Controls"), &anchor);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto items = controlMenuItems(
        uiScale_, services_.standardDefaults().doubleForKey(settings::uiScale.key), deterministicMode_);
    fillControlMenu(*menu, items, [this](const ControlMenuItem& item) {
        switch (item.action) {
            case ControlAction::openColony:
                openColony();
                break;
            case ControlAction::openSettingsPanel:
                openSettingsPanel();
                break;
            case ControlAction::exportDiagnostics:
                exportDiagnosticsAction();
                break;
            case ControlAction::selectDisplayScale:
                selectDisplayScale(item.scale);
                break;
            case ControlAction::selectDisplayScaleAuto:
                selectDisplayScale(std::nullopt);
                break;
            case ControlAction::toggleDeterministicMode:
                toggleDeterministicMode();
                break;
            case ControlAction::none:
                break;
        }
    });
    menu->popup(anchor.mapToGlobal(QPoint(0, anchor.height())));
}

void AppDelegate::openColony() {
    openColonyWindow(window_ ? std::optional(window_->geometry().top()) : std::nullopt);
}

void AppDelegate::selectDisplayScale(std::optional<double> scale) {
    if (scale) {
        services_.standardDefaults().setDouble(settings::uiScale.key, *scale);
    } else {
        services_.standardDefaults().remove(settings::uiScale.key);
    }
    restartForDisplayScaleChange();
}

void AppDelegate::restartForDisplayScaleChange() {
    // The settings writer coalesces: the new instance must read the choice just made.
    if (!services_.standardDefaults().flush())
        log::warning("Could not save the display scale before relaunching.");
    // The new instance starts once this one has closed its session and let go of the
    // data folder (main does it after the quit path).
    relaunchRequested_ = true;
    quitApp();
}

void AppDelegate::toggleDeterministicMode() {
    deterministicMode_ = !deterministicMode_;
    services_.standardDefaults().setBool(settings::deterministicMode.key, deterministicMode_);
    if (circusView_ == nullptr) return;
    circusView_->stage().configureDeterministicMode(deterministicMode_, deterministicSeed_, true);
    circusView_->stage().showStatusMessage(
        deterministicMode_ ? "Deterministic mode ON" : "Deterministic mode OFF", Color::rgb(1.0, 0.93, 0.6));
}

void AppDelegate::openSettingsPanel() {
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<SettingsPanel>(
            settingsPanelValues(services_.standardDefaults(), deterministicMode_, deterministicSeed_),
            SettingsPanel::Actions{[this] { closeSettingsPanel(); }, [this] { saveSettingsPanel(); },
                                   [this] { exportDiagnosticsAction(); }},
            [this]() -> std::optional<int> {
                if (!window_) return std::nullopt;
                return window_->geometry().top();
            });
    }
    settingsWindow_->present();
}

void AppDelegate::closeSettingsPanel() {
    if (!settingsWindow_) return;
    settingsWindow_->hide();
    // Called from the panel's own buttons: it goes once their click is handled.
    settingsWindow_.release()->deleteLater();
}

void AppDelegate::saveSettingsPanel() {
    if (!settingsWindow_) return;
    const SettingsSaveResult saved =
        saveSettings(settingsWindow_->state(), uiScale_, deterministicSeed_, services_.standardDefaults());
    deterministicMode_ = saved.deterministicMode;
    deterministicSeed_ = saved.deterministicSeed;
    if (circusView_ != nullptr) {
        circusView_->stage().configureDeterministicMode(deterministicMode_, deterministicSeed_, true);
        circusView_->stage().showStatusMessage("Settings saved", Color::rgb(0.62, 1.0, 0.62));
    }
    closeSettingsPanel();
    if (saved.relaunch) restartForDisplayScaleChange();
}

void AppDelegate::exportDiagnosticsAction() { (void)exportDiagnostics(); }

std::optional<std::filesystem::path> AppDelegate::exportDiagnostics() {
    DiagnosticsSnapshot snapshot{services_.clock().now(),
                                 QSysInfo::prettyProductName().toStdString(),
                                 QSysInfo::machineHostName().toStdString(),
                                 deterministicMode_,
                                 deterministicSeed_,
                                 uiScale_,
                                 0,
                                 0,
                                 getTumblewickDataDir()};
    if (circusView_ != nullptr) {
        snapshot.viewWidth = circusView_->stage().bounds().width;
        snapshot.viewHeight = circusView_->stage().bounds().height;
    }
    auto file = writeDiagnosticsFile(snapshot, services_.standardDefaults(), processEnvironment());
    if (circusView_ != nullptr) {
        circusView_->stage().showStatusMessage(
            file ? "Diagnostics exported" : "Diagnostics failed",
            file ? Color::rgb(0.62, 1.0, 0.62) : Color::rgb(1.0, 0.68, 0.68));
    }
    return file;
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    services_.closeSession();
    if (services_.agentHost().recentLines().size() >= chapterOnQuitMinimumLines) {
        if (auto file = TumblewickChapterExport::writeToDesktop()) {
            std::cout << "📜 Auto-saved chapter on quit → " << file->string() << std::endl;
        }
    }
    services_.shutdown();
}

}  // namespace tw
