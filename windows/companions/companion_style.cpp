#include "windows/companions/companion_style.h"

#include <QFontDatabase>

namespace tw::companion {

QColor yellow(double alpha) { return QColor::fromRgbF(1.0, 0.8, 0.0, alpha); }

QColor white(double alpha) { return QColor::fromRgbF(1.0, 1.0, 1.0, alpha); }

QColor pink(double alpha) { return QColor::fromRgbF(1.0, 0.18, 0.33, alpha); }

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
