#include "Tumblewick/shell/menu_bar_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace tw {

QImage paintMenuBarIcon(int size, const QString& badge) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size / 22.0;

    // A ticket: a rounded card with a notch on each side and a perforation.
    const QRectF card(2 * s, 5.5 * s, 18 * s, 11 * s);
    QPainterPath ticket;
    ticket.addRoundedRect(card, 2 * s, 2 * s);
    QPainterPath notches;
    notches.addEllipse(QPointF(card.left(), card.center().y()), 2.2 * s, 2.2 * s);
    notches.addEllipse(QPointF(card.right(), card.center().y()), 2.2 * s, 2.2 * s);
    ticket = ticket.subtracted(notches);
    painter.fillPath(ticket, QColor(245, 204, 82));
    painter.setPen(QPen(QColor(138, 0, 0), std::max(1.0, 1.2 * s), Qt::DotLine));
    painter.drawLine(QPointF(card.left() + 6 * s, card.top() + 1.5 * s),
                     QPointF(card.left() + 6 * s, card.bottom() - 1.5 * s));

    if (!badge.isEmpty()) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(7, static_cast<int>(9 * s)));
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        const double height = metrics.height();
        const double width = std::max(height, metrics.horizontalAdvance(badge) + 4 * s);
        const QRectF pill(size - width, 0, width, height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 30, 30));
        painter.drawRoundedRect(pill, height / 2, height / 2);
        painter.setPen(Qt::white);
        painter.drawText(pill, Qt::AlignCenter, badge);
    }
    return image;
}

QIcon menuBarIcon(const QString& badge) {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(paintMenuBarIcon(size, badge)));
    return icon;
}

}  // namespace tw
