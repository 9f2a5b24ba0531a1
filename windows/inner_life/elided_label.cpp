#include "windows/inner_life/elided_label.h"

#include <QFontMetrics>

namespace tw {

void ElidedLabel::setFullText(const QString& text) {
    full_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width());
    if (shown != text()) setText(shown);
}

}  // namespace tw
