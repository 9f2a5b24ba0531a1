#include "windows/watch/tumblewick_watch_panel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/x11/mac_key_code_table.h"
#include "platform/x11/titled_window.h"

namespace tw {

WatchPanelView::WatchPanelView(const Clock& clock, SceneSource scene, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      clock_(clock),
      scene_(std::move(scene)) {
    setWindowTitle(QString::fromUtf8(watch::title));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void WatchPanelView::refresh() {
    if (hintShownAt_ && hintAlpha_ > 0) {
        const double elapsed = clock_.now().since(*hintShownAt_);
        if (elapsed > 3.0) hintAlpha_ = watch::hintAlpha(elapsed);
    }
    update();
}

void WatchPanelView::showHint() {
    hintShownAt_ = clock_.now();
    hintAlpha_ = 1.0;
    update();
}

void WatchPanelView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterCanvas canvas(painter, &cache_);
    const watch::Frame frame{
        {static_cast<double>(width()), static_cast<double>(height())}, clock_.now().seconds, hintAlpha_};
    watch::drawFrame(canvas, frame, scene_ ? scene_() : watch::Scene{}, watch::processSparkles());
}

void WatchPanelView::keyPressEvent(QKeyEvent* event) {
    // By key position, not by the character the layout makes of it.
    const TranslatedKey key = translateXKey(event->nativeScanCode(), event->nativeVirtualKey());
    // Pressing Super on the way to Super+W, or Shift, is not a key of its own.
    if (key.role != KeyRole::ordinary) return;
    const bool command = event->modifiers().testFlag(Qt::MetaModifier);
    if (watch::keyAction(key.macKeyCode, command) == watch::KeyAction::leave) {
        if (dismissAction) dismissAction();
        return;
    }
    showHint();
}

void WatchPanelView::mouseMoveEvent(QMouseEvent*) { showHint(); }

TumblewickWatchPanel::TumblewickWatchPanel(SceneSource scene, const Clock& clock)
    : scene_(std::move(scene)), clock_(clock) {}

TumblewickWatchPanel::~TumblewickWatchPanel() = default;

TumblewickWatchPanel::SceneSource TumblewickWatchPanel::hostSource(TumblewickAgentHost& host,
                                                                   CustomFleaList customFleas) {
    return [&host, customFleas = std::move(customFleas)] {
        return watch::Scene{host.agentScheduler().diagnostics(), host.attendedFleaID(),
                            withSpeakerNames(host.recentLines(), customFleas())};
    };
}

void TumblewickWatchPanel::toggle() {
    // A minimised view counts as hidden: the toggle brings it back.
    if (view_ && isShowing(*view_)) {
        hide();
    } else {
        show();
    }
}

void TumblewickWatchPanel::show() {
    if (!view_) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return;  // a later show tries again
        view_ = std::make_unique<WatchPanelView>(clock_, scene_);
        // The screen's frame as it is now, kept for the life of the window.
        view_->setGeometry(screen->geometry());
        view_->dismissAction = [this] { hide(); };
        refreshing_ =
            new RefreshWhileShown(*view_, refreshMilliseconds, [view = view_.get()] { view->refresh(); });
    }
    view_->showHint();
    showFullScreenOnTop(*view_);  // minimised, it comes back
    view_->activateWindow();
}

void TumblewickWatchPanel::hide() {
    if (view_) view_->hide();
}

}  // namespace tw
