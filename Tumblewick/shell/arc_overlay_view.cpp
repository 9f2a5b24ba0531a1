#include "Tumblewick/shell/arc_overlay_view.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>

#include "Tumblewick/shell/x11_window_hints.h"

namespace tw {
namespace {

constexpr int sideMargin = 14;
constexpr int verticalMargin = 10;
constexpr int lineGap = 2;

QLabel* makeLabel(QWidget* parent, int pixelSize, QFont::Weight weight, QColor color) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    // The card's width is fixed; what a label holds never asks for more.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

// The text laid out in `width`, at most `maxLines` lines, the last cut with an ellipsis
// when the text goes on. A word wider than a line is broken anywhere, so no line is
// wider than `width`.
QString fitLines(const QString& text, const QFont& font, int width, int maxLines) {
    QString breakable = text;
    breakable.replace(QLatin1Char('\n'), QChar::LineSeparator);  // a line break the layout keeps
    QTextLayout layout(breakable, font);
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrapping);
    layout.beginLayout();
    QStringList lines;
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        const bool last = lines.size() == maxLines - 1;
        const QString rest = text.mid(line.textStart());
        if (last) {
            lines << QFontMetrics(font).elidedText(rest.simplified(), Qt::ElideRight, width);
        } else {
            lines << breakable.mid(line.textStart(), line.textLength()).trimmed();
        }
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

ArcOverlayView::ArcOverlayView(Rect frame)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      dayBadge_(makeLabel(this, 11, QFont::DemiBold, QColor::fromRgbF(1, 1, 1, 0.75))),
      headlineLabel_(makeLabel(this, 14, QFont::DemiBold, Qt::white)),
      bodyLabel_(makeLabel(this, 12, QFont::Normal, QColor::fromRgbF(1, 1, 1, 0.85))) {
    setWindowTitle(QStringLiteral("Tumblewick story arc"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    move(static_cast<int>(std::lround(frame.x)), static_cast<int>(std::lround(frame.y)));
    setFixedSize(static_cast<int>(std::lround(frame.width)), static_cast<int>(std::lround(frame.height)));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(sideMargin, verticalMargin, sideMargin, verticalMargin);
    layout->setSpacing(lineGap);
    layout->addWidget(dayBadge_);
    layout->addWidget(headlineLabel_);
    layout->addWidget(bodyLabel_);
    layout->addStretch(1);
    bodyLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ArcOverlayView::configure(const ArcCard& card) {
    const int width = this->width() - 2 * sideMargin;
    dayBadge_->setText(QString::fromStdString(arcDayBadge(card.dayIndex)));
    headlineLabel_->setText(
        fitLines(QString::fromStdString(card.headline), headlineLabel_->font(), width, 1));
    bodyLabel_->setText(fitLines(QString::fromStdString(card.body), bodyLabel_->font(), width, 2));
}

void ArcOverlayView::orderFront() { orderFrontWithStripHints(*this); }

std::unique_ptr<ArcCardPanel> ArcOverlayView::makeOnMainScreen() {
    std::optional<Rect> area;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        area = Rect{double(r.x()), double(r.y()), double(r.width()), double(r.height())};
    }
    return std::make_unique<ArcOverlayView>(arcCardFrame(area));
}

void ArcOverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double border = 0.7;
    const QRectF box = QRectF(rect()).adjusted(border / 2, border / 2, -border / 2, -border / 2);
    painter.setPen(QPen(QColor::fromRgbF(0.96, 0.8, 0.32, 0.55), border));
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.78));
    painter.drawRoundedRect(box, 12, 12);
}

}  // namespace tw
