#include "windows/troupe/tumblewick_troupe_window.h"

#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

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
        window_->setMinimumWidth(minimumWidth);
        window_->resize(initialWidth, initialHeight);
        auto* layout = new QVBoxLayout(window_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        // The window may be shorter than the form, where the screen has no more room
        // above the strip: the form keeps its size and scrolls.
        auto* scroll = new QScrollArea(window_.get());
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        view_ = new TroupeSettingsView(store_, endpoint_, scroll, telemetry_);
        view_->setMinimumSize(minimumWidth, minimumHeight);
        scroll->setWidget(view_);
        layout->addWidget(scroll);
        placeClearOfStrip(*window_, stripTop_, [](const QScreen& screen, const QMargins& frame) {
            return centredIn(screen.availableGeometry(), {initialWidth, initialHeight}, frame);
        });
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace tw
