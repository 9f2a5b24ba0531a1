#include "windows/troupe/tumblewick_troupe_window.h"

#include <QScreen>

#include "platform/x11/titled_window.h"
#include "troupe/settings/view/troupe_settings_view.h"

namespace tw {

TumblewickTroupeWindow::TumblewickTroupeWindow(TroupeStore& store, TroupePostgresEndpoint endpoint,
                                               TelemetrySink& telemetry)
    : store_(store), endpoint_(std::move(endpoint)), telemetry_(telemetry) {}

TumblewickTroupeWindow::~TumblewickTroupeWindow() = default;

void TumblewickTroupeWindow::show() {
    if (!window_) {
        window_ = std::make_unique<QWidget>();
        makeTitledWindow(*window_, {.miniaturizable = true, .resizable = true});
        window_->setWindowTitle(QString::fromUtf8(title));
        window_->resize(initialWidth, initialHeight);
        view_ = new TroupeSettingsView(store_, endpoint_, window_.get(), telemetry_);
        view_->setMinimumSize(minimumWidth, minimumHeight);
        setScrollingContent(*window_, view_);
        placeClearOfStrip(*window_, stripTop_, [](const QScreen& screen, const QMargins& frame) {
            return centredIn(screen.availableGeometry(), {initialWidth, initialHeight}, frame);
        });
    }
    showRaised(*window_);
    // In front of the floating panels too, whose title bars and boxes would cover its own.
    stackAboveShownPanels(*window_);
    window_->activateWindow();
}

}  // namespace tw
