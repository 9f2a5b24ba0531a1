#include "windows/companions/tumblewick_drag_down_log.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/clock.h"
#include "platform/qt/click_through_overlay.h"
#include "windows/companions/companion_style.h"
#include "windows/companions/drag_down_chip_row.h"

namespace tw {
namespace {

constexpr int sideMargin = 24;
constexpr int headerTop = 8;
constexpr int headerGap = 8;
constexpr int bottomMargin = 10;
constexpr int chipPaddingX = 10;
constexpr int chipPaddingY = 6;

QFont headerFont() { return companion::font(9, QFont::Bold); }
QFont nameFont() { return companion::font(10, QFont::DemiBold); }
QFont lineFont() { return companion::font(11); }
QFont ageFont() { return companion::font(9); }

int lineHeight(const QFont& font) { return QFontMetrics(font).height(); }

// Room for the name, two lines of words and the age.
int chipHeight() {
    return 2 * chipPaddingY + lineHeight(nameFont()) + 1 + 2 * lineHeight(lineFont()) + 1 +
           lineHeight(ageFont());
}

// The strip keeps its usual height unless its fonts need more to fit a whole chip.
int stripHeight() {
    return std::max(DragDownLogView::minimumHeight,
                    headerTop + lineHeight(headerFont()) + headerGap + chipHeight() + bottomMargin);
}

QLabel* label(const QString& text, const QFont& font, const QColor& ink, QWidget* parent) {
    auto* made = new QLabel(parent);
    made->setTextFormat(Qt::PlainText);
    made->setText(text);
    made->setFont(font);
    QPalette colours = made->palette();
    colours.setColor(QPalette::WindowText, ink);
    made->setPalette(colours);
    return made;
}

// At most two lines of `width`, the second cut with an ellipsis when words remain.
QString twoLines(QString text, const QFont& font, int width) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextLayout layout(text, font);
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrapping);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    int firstEnd = static_cast<int>(text.size());
    if (first.isValid()) {
        first.setLineWidth(width);
        firstEnd = first.textStart() + first.textLength();
    }
    layout.endLayout();
    if (firstEnd >= text.size()) return text;
    const QString rest = text.mid(firstEnd).trimmed();
    return text.left(firstEnd).trimmed() + QLatin1Char('\n') +
           QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
}

// The width the chip's longest text asks for, with a pixel of slack: a line measured to
// fit exactly must not wrap when laid out.
int naturalWidth(const DragDownChip& chip) {
    const int text =
        std::max({QFontMetrics(lineFont()).horizontalAdvance(QString::fromStdString(chip.line)),
                  QFontMetrics(nameFont()).horizontalAdvance(QString::fromStdString(chip.fleaName)),
                  QFontMetrics(ageFont()).horizontalAdvance(QString::fromStdString(chip.age))});
    return text + 2 * chipPaddingX + 1;
}

QWidget* makeChip(const DragDownChip& chip, int width, QWidget* parent) {
    auto* card = new QFrame(parent);
    card->setObjectName(QStringLiteral("chip"));
    card->setStyleSheet(QStringLiteral("#chip { background: rgba(255, 255, 255, 15); border-radius: 8px; }"));
    const QString name = QString::fromStdString(chip.fleaName);
    const QString words = QString::fromStdString(chip.line);
    const QString age = QString::fromStdString(chip.age);
    card->setFixedSize(width, chipHeight());

    auto* stack = new QVBoxLayout(card);
    stack->setContentsMargins(chipPaddingX, chipPaddingY, chipPaddingX, chipPaddingY);
    stack->setSpacing(1);
    const int textWidth = width - 2 * chipPaddingX;
    stack->addWidget(label(QFontMetrics(nameFont()).elidedText(name, Qt::ElideRight, textWidth), nameFont(),
                           companion::yellow(0.85), card));
    stack->addWidget(label(twoLines(words, lineFont(), textWidth), lineFont(), companion::white(0.85), card));
    stack->addWidget(label(age, ageFont(), companion::white(0.4), card));
    stack->addStretch(1);
    return card;
}

}  // namespace

DragDownLogView::DragDownLogView() {
    makeClickThroughOverlay(*this);
    setFixedHeight(stripHeight());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(sideMargin, headerTop, sideMargin, bottomMargin);
    layout->setSpacing(headerGap);
    auto* top = new QHBoxLayout;
    top->addWidget(
        label(QStringLiteral("\U0001F3AA LATEST THOUGHTS"), headerFont(), companion::yellow(0.7), this));
    top->addStretch(1);
    top->addWidget(
        label(QString::fromStdString(dragDownHintText()), companion::font(9), companion::white(0.35), this));
    layout->addLayout(top);
    chipsContainer_ = new QHBoxLayout;
    chipsContainer_->setSpacing(dragDownChipSpacing);
    chipsContainer_->addStretch(1);
    layout->addLayout(chipsContainer_, 1);
}

void DragDownLogView::refresh(const std::vector<DragDownChip>& chips) {
    for (QWidget* chip : chips_) delete chip;
    chips_.clear();
    if (chips.empty()) {
        chips_.push_back(
            label(QStringLiteral("The troupe is quiet."), companion::font(12), companion::white(0.5), this));
    } else {
        std::vector<int> natural;
        for (const DragDownChip& chip : chips) natural.push_back(naturalWidth(chip));
        const std::vector<int> widths = dragDownChipWidths(natural, width() - 2 * sideMargin);
        for (std::size_t i = 0; i < widths.size(); ++i) chips_.push_back(makeChip(chips[i], widths[i], this));
    }
    for (std::size_t i = 0; i < chips_.size(); ++i)
        chipsContainer_->insertWidget(static_cast<int>(i), chips_[i], 0, Qt::AlignVCenter);
}

QStringList DragDownLogView::chipTexts() const {
    QStringList texts;
    for (const QWidget* chip : chips_) {
        if (qobject_cast<const QLabel*>(chip) != nullptr) continue;
        QStringList parts;
        for (const QLabel* part : chip->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            parts << part->text();
        texts << parts.join(QLatin1Char('|'));
    }
    return texts;
}

QString DragDownLogView::quietText() const {
    if (chips_.size() != 1) return {};
    const auto* quiet = qobject_cast<const QLabel*>(chips_.front());
    return quiet != nullptr ? quiet->text() : QString();
}

void DragDownLogView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    painter.fillPath(card, QColor::fromRgbF(0.06, 0.06, 0.06, 0.92));
    painter.setPen(QPen(companion::yellow(0.35), 1));
    painter.drawPath(card);
}

TumblewickDragDownLog::TumblewickDragDownLog(Source source, InputMonitor& input, WindowFading fading)
    : source_(std::move(source)), input_(input), fading_(fading) {
    refreshTimer_.setInterval(refreshMilliseconds);
    connect(&refreshTimer_, &QTimer::timeout, this, &TumblewickDragDownLog::refresh);
    connect(&slide_, &QAbstractAnimation::finished, this, [this] {
        if (hideWhenSlid_ && panel_) panel_->hide();
    });
}

TumblewickDragDownLog::~TumblewickDragDownLog() = default;

TumblewickDragDownLog::Source TumblewickDragDownLog::hostSource(TumblewickAgentHost& host, const Clock& clock,
                                                                CustomFleaList customFleas) {
    return [&host, &clock, customFleas = std::move(customFleas)] {
        return dragDownChips(withSpeakerNames(host.recentLines(), customFleas()), clock.now());
    };
}

void TumblewickDragDownLog::toggle() {
    if (shown_) {
        hide();
    } else {
        show();
    }
}

void TumblewickDragDownLog::show() {
    if (!panel_) {
        if (QGuiApplication::primaryScreen() == nullptr) return;  // nowhere to show it yet
        panel_ = std::make_unique<DragDownLogView>();
        slideFrame_ = new QPropertyAnimation(panel_.get(), "geometry", &slide_);
        if (fading_ == WindowFading::byWindowOpacity)
            slideAlpha_ = new QPropertyAnimation(panel_.get(), "windowOpacity", &slide_);
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // The width follows the primary screen on every show; the chips are fitted to it.
    const QRect frame = screen->geometry();
    const int height = panel_->height();
    slide_.stop();
    panel_->setGeometry(frame.left(), frame.top() - height, frame.width(), height);
    refresh();
    if (slideAlpha_) panel_->setWindowOpacity(0.0);
    panel_->show();
    panel_->raise();
    slide({frame.left(), frame.top() + topGap, frame.width(), height}, 1.0, slideInMilliseconds,
          QEasingCurve::OutCubic, false);
    shown_ = true;
    refreshTimer_.start();
    if (!dismissMonitor_) dismissMonitor_.emplace(input_.subscribe(*this));
}

void TumblewickDragDownLog::hide() {
    shown_ = false;
    refreshTimer_.stop();
    dismissMonitor_.reset();
    if (!panel_ || !panel_->isVisible()) return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        slide_.stop();
        panel_->hide();
        return;
    }
    const int height = panel_->height();
    slide({panel_->x(), screen->geometry().top() - height, panel_->width(), height}, 0.0,
          slideOutMilliseconds, QEasingCurve::InCubic, true);
}

void TumblewickDragDownLog::mouseDown(const MousePress& press) {
    // Presses in our own windows arrive marked local and leave the log up.
    if (press.button == MouseButton::left && press.origin == InputOrigin::global) hide();
}

void TumblewickDragDownLog::refresh() {
    if (panel_) panel_->refresh(source_());
}

void TumblewickDragDownLog::slide(const QRect& to, double alpha, int milliseconds, QEasingCurve::Type curve,
                                  bool thenHide) {
    slide_.stop();
    slideFrame_->setDuration(milliseconds);
    slideFrame_->setEasingCurve(curve);
    slideFrame_->setEndValue(to);
    if (slideAlpha_) {
        slideAlpha_->setDuration(milliseconds);
        slideAlpha_->setEasingCurve(curve);
        slideAlpha_->setEndValue(alpha);
    }
    hideWhenSlid_ = thenHide;
    slide_.start();
}

}  // namespace tw
