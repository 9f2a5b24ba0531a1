#include "windows/inner_life/inner_life_panel.h"

#include <QScreen>
#include <optional>
#include <utility>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/x11/titled_window.h"
#include "windows/companions/companion_style.h"
#include "windows/inner_life/inner_life_layout.h"
#include "windows/inner_life/mood_bars.h"
#include "windows/inner_life/styled_text.h"

namespace tw {
namespace {

const Color sectionColour = Color::rgb(1, 1, 0, 0.6);
const Font sectionFont{FontFamily::system, 9, FontWeight::bold};

// One line of text, cut with an ellipsis at the width its row gives it.
ElidedLabel* addLabel(QWidget* parent, const Font& font, Color colour, const char* text = "") {
    auto* label = new ElidedLabel(parent);
    styleLabel(*label, font, colour);
    label->setFullText(QString::fromUtf8(text));
    return label;
}

}  // namespace

TumblewickInnerLifePanel::TumblewickInnerLifePanel(Source source, OpenTimeline openTimeline, QWidget* parent)
    : QWidget(parent, Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      source_(std::move(source)),
      openTimeline_(std::move(openTimeline)) {
    makeTitledWindow(*this, {.utility = true});
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Fixed rows in a fixed panel: no text, however long, makes it grow.
    setFixedSize(static_cast<int>(innerLifeContentSize.width), static_cast<int>(innerLifeContentSize.height));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, companion::panelBackground(0.94));
    setPalette(colours);

    name_ = addLabel(this, Font{FontFamily::system, 18, FontWeight::bold}, Color::rgb(1, 1, 0));
    voice_ = addLabel(this, Font{FontFamily::system, 11, FontWeight::regular}, Color::white(1, 0.6));
    ElidedLabel* moodHeader = addLabel(this, sectionFont, sectionColour, "MOOD");
    moodBars_ = new CanvasWidget(
        [this](Canvas& canvas, Size size) { drawMoodBars(canvas, size, shown_.mood); }, this);
    bonds_ = addLabel(this, Font{FontFamily::system, 11, FontWeight::regular}, Color::white(1, 0.65));
    timelineButton_ = new QPushButton(QStringLiteral("Open timeline \u2192"), this);
    timelineButton_->setFont(qtFont(Font{FontFamily::system, 11, FontWeight::medium}));
    timelineButton_->setFocusPolicy(Qt::NoFocus);
    timelineButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: rgba(255, 255, 255, 28); border: 1px solid "
                       "rgba(255, 255, 255, 64);"
                       " border-radius: 5px; padding: 2px 10px; }"
                       " QPushButton:pressed { background: rgba(255, 255, 255, 64); }"));
    connect(timelineButton_, &QPushButton::clicked, this, &TumblewickInnerLifePanel::openTimeline);
    ElidedLabel* linesHeader = addLabel(this, sectionFont, sectionColour, "RECENT LINES");
    text_ = makeRunsView(*this, Selectable::no, Size{16, 8});

    // A row is one line of its font high, whether or not it holds text yet.
    auto lineHeight = [](const QWidget* label) { return static_cast<double>(label->fontMetrics().height()); };
    const QSize button = timelineButton_->sizeHint();
    const InnerLifeLayout layout =
        innerLifeLayout(InnerLifeRowHeights{.name = lineHeight(name_),
                                            .voice = lineHeight(voice_),
                                            .section = lineHeight(moodHeader),
                                            .bonds = lineHeight(bonds_),
                                            .button = static_cast<double>(button.height())},
                        button.width());
    const std::pair<QWidget*, Rect> frames[] = {
        {name_, layout.name},
        {voice_, layout.voice},
        {moodHeader, layout.moodHeader},
        {moodBars_, layout.moodBars},
        {bonds_, layout.bonds},
        {timelineButton_, layout.timelineButton},
        {linesHeader, layout.linesHeader},
        {text_, layout.lines},
    };
    for (const auto& [widget, frame] : frames)
        widget->setGeometry(QRectF(frame.x, frame.y, frame.width, frame.height).toRect());

    refreshing_ = new RefreshWhileShown(*this, refreshMilliseconds, [this] { refresh(); });
}

TumblewickInnerLifePanel::Source TumblewickInnerLifePanel::hostSource(TumblewickAgentHost& host,
                                                                      const Clock& clock,
                                                                      CustomFleaList customFleas) {
    return Source{
        .content =
            [&host, &clock, customFleas](const std::string& fleaId, const std::string& displayName) {
                std::optional<FleaAgentScheduler::DiagnosticEntry> entry;
                for (auto& candidate : host.agentScheduler().diagnostics())
                    if (candidate.flea_id == fleaId) {
                        entry = std::move(candidate);
                        break;
                    }
                // A custom flea renamed since its panel opened goes by its new name; one
                // that is gone keeps the name it was opened with.
                const std::string current = speakerName(fleaId, customFleas());
                return innerLifeContent(entry, host.recentLines(), fleaId,
                                        current != fleaId ? current : displayName, clock.now());
            },
        .topBonds =
            [&host, customFleas](const std::string& fleaId, int limit, BondsAnswer done) {
                host.topBonds(fleaId, limit,
                              [customFleas, done = std::move(done)](std::vector<agent_host::Bond> bonds) {
                                  for (agent_host::Bond& bond : bonds)
                                      bond.partner = speakerName(bond.partner, customFleas());
                                  done(std::move(bonds));
                              });
            },
    };
}

void TumblewickInnerLifePanel::show(const std::string& fleaId, const std::string& displayName) {
    // Another flea's bonds must not stand under this one's name while its own are on the way.
    if (fleaId != fleaId_) bonds_->setFullText(QString());
    fleaId_ = fleaId;
    displayName_ = displayName;
    if (needsPlacing(*this)) {
        // 704 in from the screen's right edge, 84 down from its top.
        const auto wanted = [size = size()](const QScreen& screen, const QMargins&) {
            const QRect frame = screen.geometry();
            return QRect(QPoint(frame.right() + 1 - 704, frame.top() + 84), size);
        };
        if (!placeClearOfStrip(*this, stripTop_, wanted))
            return;  // nowhere to show it yet; a later show tries again
    }
    // Coming on screen it is refreshed anyway; on screen already, it shows this flea now.
    if (refreshing_->running()) refresh();
    showRaised(*this);  // minimised, it comes back
}

void TumblewickInnerLifePanel::refresh() {
    shown_ = source_.content(fleaId_, displayName_);
    setWindowTitle(QString::fromStdString(shown_.title));
    name_->setFullText(QString::fromStdString(shown_.name));
    voice_->setFullText(QString::fromStdString(shown_.voice));
    moodBars_->update();
    showStyledRuns(*text_, shown_.lines);

    // Answers come back in any order, and after a switch of flea an answer for the one
    // shown before would fill in the wrong bonds: only the shown flea's are taken.
    source_.topBonds(fleaId_, innerLifeBondLimit,
                     lifetime_.guarded([this, asked = fleaId_](std::vector<agent_host::Bond> bonds) {
                         if (fleaId_ != asked) return;
                         bonds_->setFullText(QString::fromStdString(innerLifeBondsText(bonds)));
                     }));
}

void TumblewickInnerLifePanel::openTimeline() {
    if (openTimeline_) openTimeline_(fleaId_, displayName_);
}

}  // namespace tw
