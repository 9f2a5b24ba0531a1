#include "windows/companions/companion_style.h"

#include <QFontDatabase>

namespace tw::companion {

QColor yellow(double alpha) { return QColor::fromRgbF(1.0, 0.8, 0.0, alpha); }

QColor white(double alpha) { return QColor::fromRgbF(1.0, 1.0, 1.0, alpha); }

QColor pink(double alpha) { return QColor::fromRgbF(1.0, 0.18, 0.33, alpha); }

QColor panelBackground(double alpha) { return QColor::fromRgbF(0.05, 0.05, 0.05, alpha); }

QColor scrollHandle() { return QColor(150, 150, 150); }

QString scrollBarStyleSheet() {
    return QStringLiteral(
               "QScrollBar:vertical { background: transparent; width: 8px; }"
               " QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 24px; }"
               " QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
               " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
        .arg(scrollHandle().name());
}

QFont font(int pixelSize, QFont::Weight weight, bool monospace) {
    QFont chosen =
        QFontDatabase::systemFont(monospace ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    chosen.setPixelSize(pixelSize);
    chosen.setWeight(weight);
    return chosen;
}

QTextCharFormat format(const QFont& font, const QColor& ink) {
    QTextCharFormat chosen;
    chosen.setFont(font);
    chosen.setForeground(ink);
    return chosen;
}

}  // namespace tw::companion
