#include "windows/companions/tumblewick_recent_thoughts_panel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>

#include "agent/host/tumblewick_agent_host.h"

namespace tw {
namespace {

QTextCharFormat formatFor(ThoughtsStyle style) {
    QTextCharFormat format;
    QFont font;
    auto colour = [](double r, double g, double b, double a) { return QColor::fromRgbF(r, g, b, a); };
    const QColor yellow = colour(1.0, 0.8, 0.0, 1.0);
    QColor ink = colour(1, 1, 1, 0.92);
    font.setPixelSize(12);
    switch (style) {
        case ThoughtsStyle::placeholder:
            ink = colour(1, 1, 1, 0.5);
            break;
        case ThoughtsStyle::header:
            font.setPixelSize(11);
            font.setWeight(QFont::DemiBold);
            ink = yellow;
            ink.setAlphaF(0.75);
            break;
        case ThoughtsStyle::body:
            break;
        case ThoughtsStyle::rule:
            font.setPixelSize(9);
            ink = colour(1, 1, 1, 0.18);
            break;
        case ThoughtsStyle::tally:
            font.setPixelSize(10);
            font.setWeight(QFont::Medium);
            ink = colour(1, 1, 1, 0.55);
            break;
        case ThoughtsStyle::activity:
            font.setFamily(QStringLiteral("monospace"));
            font.setStyleHint(QFont::Monospace);
            font.setPixelSize(11);
            ink = yellow;
            ink.setAlphaF(0.55);
            break;
    }
    format.setFont(font);
    format.setForeground(ink);
    return format;
}

}  // namespace

TumblewickRecentThoughtsPanel::TumblewickRecentThoughtsPanel(Source source, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      source_(std::move(source)) {
    setWindowTitle(QStringLiteral("Recent thoughts"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(340, 280);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgbF(0.05, 0.05, 0.05, 0.92));
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 0);
    layout->setSpacing(8);
    auto* header = new QLabel(QStringLiteral("\U0001FA84  Recent thoughts"), this);
    header->setStyleSheet(
        QStringLiteral("color: rgba(255, 204, 0, 217); font-size: 12px; font-weight: 600;"));
    header->setContentsMargins(16, 0, 0, 0);
    layout->addWidget(header);
    text_ = new QTextEdit(this);
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    text_->setFocusPolicy(Qt::NoFocus);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setStyleSheet(QStringLiteral("background: transparent;"));
    text_->viewport()->setAutoFillBackground(false);
    text_->document()->setDocumentMargin(12);
    layout->addWidget(text_, 1);

    refreshTimer_.setInterval(refreshMilliseconds);
    connect(&refreshTimer_, &QTimer::timeout, this, &TumblewickRecentThoughtsPanel::refresh);
}

TumblewickRecentThoughtsPanel::Source TumblewickRecentThoughtsPanel::hostSource(TumblewickAgentHost& host,
                                                                                const Clock& clock) {
    return [&host, &clock] {
        const Date now = clock.now();
        return recentThoughtsRuns(host.recentLines(), host.todayStats(now),
                                  host.decisionsByMinute(activityMinutes, now), now);
    };
}

void TumblewickRecentThoughtsPanel::toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    if (!placed_) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return;  // nowhere to show it yet
        const QRect frame = screen->geometry();
        move(frame.right() + 1 - width() - 24, frame.top() + 24 + 60);
        placed_ = true;
    }
    refresh();
    show();
    raise();
    refreshTimer_.start();
}

void TumblewickRecentThoughtsPanel::refresh() {
    // Replaced whole: at most twelve entries and two short lines, once a second.
    text_->clear();
    QTextCursor cursor(text_->document());
    for (const ThoughtsRun& run : source_())
        cursor.insertText(QString::fromStdString(run.text), formatFor(run.style));
}

void TumblewickRecentThoughtsPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Hidden by the toggle or by its close button alike: no refreshes nobody sees.
    refreshTimer_.stop();
}

}  // namespace tw
