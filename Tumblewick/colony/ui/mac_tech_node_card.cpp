#include "Tumblewick/colony/ui/mac_tech_node_card.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <cmath>

#include "Tumblewick/colony/ui/colony_style.h"

namespace tw {
namespace {

constexpr int padding = 10;
constexpr int rowGap = 4;
constexpr int symbolSize = 12;

QFont titleFont() {
    QFont font = ColonyStyle::font(ColonyStyle::TextRole::body, true);
    font.setPixelSize(13);
    return font;
}

QFont captionFont(bool bold = false) { return ColonyStyle::font(ColonyStyle::TextRole::caption, bold); }

void drawSeal(QPainter& painter, const QRectF& box, const QColor& color) {
    QPainterPath seal;
    const QPointF centre = box.center();
    const double outer = box.width() / 2;
    // A rosette of twelve points around a check mark.
    for (int i = 0; i < 24; ++i) {
        const double radius = (i % 2 == 0) ? outer : outer * 0.82;
        const double angle = i * 3.14159265358979 / 12;
        const QPointF p(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0) {
            seal.moveTo(p);
        } else {
            seal.lineTo(p);
        }
    }
    seal.closeSubpath();
    painter.fillPath(seal, color);
    QPen check(Qt::white, 1.6);
    check.setCapStyle(Qt::RoundCap);
    check.setJoinStyle(Qt::RoundJoin);
    painter.setPen(check);
    const double u = box.width() / 12;
    painter.drawPolyline(QList<QPointF>{centre + QPointF(-2.8 * u, 0.2 * u),
                                        centre + QPointF(-0.8 * u, 2.2 * u),
                                        centre + QPointF(3 * u, -2 * u)});
}

void drawLock(QPainter& painter, const QRectF& box, const QColor& color) {
    const double u = box.width() / 12;
    const QRectF body(box.left() + 1.5 * u, box.top() + 5.5 * u, 9 * u, 6.5 * u);
    QPainterPath path;
    path.addRoundedRect(body, 1.5 * u, 1.5 * u);
    painter.fillPath(path, color);
    painter.setPen(QPen(color, 1.6 * u));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(box.left() + 3.5 * u, box.top() + 1 * u, 5 * u, 8 * u), 0, 180 * 16);
}

}  // namespace

MacTechNodeCard::MacTechNodeCard(ProgressionSpec::TechNode node, QWidget* parent)
    : QAbstractButton(parent),
      node_(std::move(node)),
      title_(ColonyStyle::qstr(node_.title)),
      description_(ColonyStyle::qstr(node_.description)),
      cost_(ColonyStyle::qstr(techNodeCostText(node_.cost))) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setState(TechNodeState::prerequisiteMissing);
    // Tooltips show the whole description when two lines cut it.
    setToolTip(description_);
}

void MacTechNodeCard::setState(TechNodeState state) {
    if (state == state_ && isEnabled() == techNodeCardStyle(state).pressable) return;
    const bool costShown = techNodeCardStyle(state_).costLine.has_value();
    state_ = state;
    setEnabled(techNodeCardStyle(state).pressable);
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    // An unlocked card drops its cost line and so grows shorter.
    if (costShown != techNodeCardStyle(state).costLine.has_value()) updateGeometry();
    update();
}

QStringList MacTechNodeCard::descriptionLines(int textWidth) const {
    QStringList lines;
    if (description_.isEmpty() || textWidth <= 0) return lines;
    QTextLayout layout(description_, captionFont());
    layout.beginLayout();
    int consumed = 0;
    while (lines.size() < 2) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(textWidth);
        if (lines.size() == 1) {
            // The second line takes the rest, cut with an ellipsis.
            const QFontMetrics metrics(captionFont());
            lines << metrics.elidedText(description_.mid(consumed), Qt::ElideRight, textWidth);
            break;
        }
        lines << description_.mid(line.textStart(), line.textLength()).trimmed();
        consumed = line.textStart() + line.textLength();
    }
    layout.endLayout();
    return lines;
}

int MacTechNodeCard::heightForWidth(int width) const {
    const QFontMetrics title(titleFont());
    const QFontMetrics caption(captionFont());
    int height = padding + title.height();
    const auto lines = descriptionLines(width - 2 * padding);
    if (!lines.isEmpty()) height += rowGap + static_cast<int>(lines.size()) * caption.lineSpacing();
    if (techNodeCardStyle(state_).costLine) height += rowGap + caption.height();
    return height + padding;
}

QSize MacTechNodeCard::sizeHint() const { return {200, heightForWidth(200)}; }

QSize MacTechNodeCard::minimumSizeHint() const { return {120, heightForWidth(120)}; }

void MacTechNodeCard::paintEvent(QPaintEvent*) {
    const auto style = techNodeCardStyle(state_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF box = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(box, 8, 8);
    painter.fillPath(shape, ColonyStyle::toneColor(style.fill, *this));
    // The border lies wholly inside the shape.
    const double inset = style.borderWidth / 2;
    QPainterPath edge;
    edge.addRoundedRect(box.adjusted(inset, inset, -inset, -inset), 8 - inset, 8 - inset);
    painter.strokePath(edge, QPen(ColonyStyle::toneColor(style.border, *this), style.borderWidth));

    // A disabled card dims its content, as disabled controls do; an unlocked one stays bright.
    if (!isEnabled() && state_ != TechNodeState::unlocked) painter.setOpacity(0.75);
    const int textWidth = width() - 2 * padding;
    int y = padding;
    const QFontMetrics titleMetrics(titleFont());
    const int symbolRoom = style.symbol == TechNodeSymbol::none ? 0 : symbolSize + 6;
    painter.setFont(titleFont());
    painter.setPen(ColonyStyle::toneColor(style.title, *this));
    painter.drawText(QRect(padding, y, textWidth - symbolRoom, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(title_, Qt::ElideRight, textWidth - symbolRoom));
    const QRectF symbolBox(width() - padding - symbolSize, y + (titleMetrics.height() - symbolSize) / 2.0,
                           symbolSize, symbolSize);
    if (style.symbol == TechNodeSymbol::seal)
        drawSeal(painter, symbolBox, ColonyStyle::toneColor(style.symbolColor, *this));
    if (style.symbol == TechNodeSymbol::lock)
        drawLock(painter, symbolBox, ColonyStyle::toneColor(style.symbolColor, *this));
    y += titleMetrics.height();

    const QFontMetrics caption(captionFont());
    const auto lines = descriptionLines(textWidth);
    if (!lines.isEmpty()) {
        y += rowGap;
        painter.setFont(captionFont());
        painter.setPen(ColonyStyle::toneColor({Tone::secondary, 1}, *this));
        for (const auto& line : lines) {
            painter.drawText(QRect(padding, y, textWidth, caption.lineSpacing()),
                             Qt::AlignLeft | Qt::AlignVCenter, line);
            y += caption.lineSpacing();
        }
    }
    if (style.costLine) {
        y += rowGap;
        painter.setFont(captionFont(true));
        painter.setPen(ColonyStyle::toneColor(*style.costLine, *this));
        painter.drawText(QRect(padding, y, textWidth, caption.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         cost_);
    }
}

}  // namespace tw
