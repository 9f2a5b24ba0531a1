#include "windows/companions/agent_settings_window.h"

#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"
#include "platform/x11/titled_window.h"
#include "windows/companions/agent_settings_texts.h"
#include "windows/companions/companion_style.h"

namespace tw {
namespace {

struct Switch {
    settings::Setting<bool> setting;
    const char* title;
};

constexpr std::array<Switch, 4> switches{{
    {settings::autoSpotlight, "Auto-spotlight when idle"},
    {settings::showThoughts, "Show thought bubbles on strip"},
    {settings::showMoodBars, "Show mood bars on strip"},
    {settings::signatureChime, "Chime on signature moments"},
}};

}  // namespace

AgentSettingsWindow::AgentSettingsWindow(Defaults& standard, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::WindowStaysOnTopHint), standard_(standard), hooks_(std::move(hooks)) {
    makeTitledWindow(*this, {.utility = true});
    setWindowTitle(QStringLiteral("Tumblewick \u00B7 Agent settings"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgbF(0.07, 0.07, 0.07, 0.96));
    colours.setColor(QPalette::WindowText, Qt::white);
    // The switches' boxes: a grey that stands out of the window, under a white tick.
    colours.setColor(QPalette::Base, QColor(74, 74, 74));
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 16);
    layout->setSpacing(7);
    auto* title = new QLabel(QStringLiteral("Agent settings"), this);
    title->setStyleSheet(QStringLiteral("color: #ffcc00; font-size: 14px; font-weight: 600;"));
    layout->addWidget(title);
    layout->addSpacing(4);
    for (std::size_t i = 0; i < switches.size(); ++i) {
        const Switch entry = switches[i];
        auto* box = new QCheckBox(QString::fromUtf8(entry.title), this);
        box->setFont(companion::font(12));  // white from the palette, which also draws the box
        box->setChecked(TumblewickSettingsPanel::boolFor(standard_, entry.setting));
        connect(box, &QCheckBox::toggled, this, [this, entry](bool on) {
            TumblewickSettingsPanel::setBool(standard_, on, entry.setting.key);
            if (std::strcmp(entry.setting.key, settings::autoSpotlight.key) == 0 &&
                hooks_.autoSpotlightChanged)
                hooks_.autoSpotlightChanged(on);
        });
        boxes_[i] = box;
        layout->addWidget(box);
    }
    layout->addStretch(1);
    cacheLine_ = new QLabel(this);
    cacheLine_->setTextFormat(Qt::PlainText);
    cacheLine_->setStyleSheet(
        QStringLiteral("color: rgba(255, 204, 0, 140); font-family: monospace; font-size: 10px;"));
    layout->addWidget(cacheLine_);
    auto* hint = new QLabel(QString::fromStdString(agentSettingsHotkeysText()), this);
    hint->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 115); font-size: 10px;"));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    fitHeight();

    // Only while the window shows: a hidden panel costs nothing.
    refreshing_ = new RefreshWhileShown(*this, refreshMilliseconds, [this] { refreshCacheStats(); });
}

void AgentSettingsWindow::toggle() {
    // A minimised window counts as hidden: the toggle brings it back.
    if (isShowing(*this)) {
        hide();
        return;
    }
    fitHeight();  // for the fonts of the screen it opens on
    placeClearOfStrip(*this, stripTop_, [this](const QScreen& screen, const QMargins& frame) {
        return centredIn(screen.availableGeometry(), size(), frame);
    });
    showRaised(*this);
    activateWindow();
}

void AgentSettingsWindow::fitHeight() {
    // The style sheets set the fonts that the lines' heights come from.
    ensurePolished();
    // The cache line keeps its row while it waits for its first figures.
    cacheLine_->setMinimumHeight(cacheLine_->fontMetrics().height());
    // Never smaller than its usual size; taller only by what the wrapped hint needs.
    setFixedSize(panelWidth, std::max(panelLeastHeight, layout()->totalHeightForWidth(panelWidth)));
}

void AgentSettingsWindow::refreshCacheStats() {
    if (!hooks_.cacheStats) return;
    // Refreshes may overlap; each writes the whole line, so the last to finish wins.
    hooks_.cacheStats(lifetime_.guarded([this](const std::string& text) {
        cacheLine_->setText(QString::fromStdString(text));
        fitHeight();  // its first figures may want a pixel more than the empty row
    }));
}

QCheckBox* AgentSettingsWindow::checkBox(const char* key) const {
    for (std::size_t i = 0; i < switches.size(); ++i)
        if (std::strcmp(switches[i].setting.key, key) == 0) return boxes_[i];
    return nullptr;
}

}  // namespace tw
