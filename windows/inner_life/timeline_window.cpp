#include "windows/inner_life/timeline_window.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/x11/titled_window.h"
#include "windows/companions/companion_style.h"
#include "windows/inner_life/activity_chart.h"
#include "windows/inner_life/styled_text.h"

namespace tw {

TumblewickTimelineWindow::TumblewickTimelineWindow(Source source, QWidget* parent)
    : QWidget(parent), source_(std::move(source)) {
    makeTitledWindow(*this, {.resizable = true});
    resize(540, 480);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, companion::panelBackground(1.0));
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 26, 0, 0);
    layout->setSpacing(0);
    auto* top = new QVBoxLayout;
    top->setContentsMargins(22, 0, 22, 0);
    top->setSpacing(0);
    header_ = new ElidedLabel(this);
    styleLabel(*header_, Font{FontFamily::system, 22, FontWeight::bold}, Color::rgb(1, 1, 0));
    top->addWidget(header_);
    top->addSpacing(4);
    summary_ = new QLabel(this);
    styleLabel(*summary_, Font{FontFamily::system, 11, FontWeight::regular}, Color::white(1, 0.6));
    top->addWidget(summary_);
    top->addSpacing(16);
    chart_ = new CanvasWidget(
        [this](Canvas& canvas, Size size) { drawActivityChart(canvas, size, shown_.buckets); }, this);
    chart_->setFixedHeight(60);
    top->addWidget(chart_);
    layout->addLayout(top);
    layout->addSpacing(14);

    text_ = makeRunsView(*this, Selectable::yes, Size{18, 12});
    layout->addWidget(text_, 1);

    refreshing_ = new RefreshWhileShown(*this, refreshMilliseconds, [this] { refresh(); });
}

TumblewickTimelineWindow::Source TumblewickTimelineWindow::hostSource(TumblewickAgentHost& host,
                                                                      const Clock& clock) {
    return [&host, &clock](const std::string& fleaId, const std::string& displayName) {
        return timelineContent(host.recentLines(), fleaId, displayName, clock.now());
    };
}

void TumblewickTimelineWindow::show(const std::string& fleaId, const std::string& displayName) {
    fleaId_ = fleaId;
    displayName_ = displayName;
    if (needsPlacing(*this)) {
        placeClearOfStrip(*this, stripTop_, [size = size()](const QScreen& screen, const QMargins& frame) {
            return centredIn(screen.availableGeometry(), size, frame);
        });
    }
    // Coming on screen it is refreshed anyway; on screen already, it shows this flea now.
    if (refreshing_->running()) refresh();
    showRaised(*this);  // minimised, it comes back
    // Opened from a floating panel, which would otherwise cover its title bar.
    stackAboveShownPanels(*this);
    activateWindow();
}

void TumblewickTimelineWindow::refresh() {
    shown_ = source_(fleaId_, displayName_);
    setWindowTitle(QString::fromStdString(shown_.title));
    header_->setFullText(QString::fromStdString(shown_.header));
    summary_->setText(QString::fromStdString(shown_.summary));
    chart_->update();
    showStyledRuns(*text_, shown_.lines);
}

void TumblewickTimelineWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // It asks for no minimise button, but some window managers (openbox) offer one all the
    // same: minimised, it comes straight back, once the window manager is done with it.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        // In front of a floating panel again, but without the keyboard, which stays in
        // the window the user was in.
        QTimer::singleShot(0, this, [this] {
            if (!isVisible() || isShowing(*this)) return;
            restoreWithoutFocus(*this);
            stackAboveShownPanels(*this, false);
        });
}

}  // namespace tw
