#include "Tumblewick/colony/ui/colony_style.h"

#include <QFontMetrics>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace tw::ColonyStyle {

QColor yellow(double opacity) {
    QColor color(255, 204, 0);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QPalette palette() {
    const QColor window(28, 28, 30);
    const QColor text(242, 242, 247);
    const QColor button(58, 58, 60);
    QPalette colours(button, window);  // with the bevels Qt derives from these two
    colours.setColor(QPalette::WindowText, text);
    colours.setColor(QPalette::Base, QColor(38, 38, 41));
    colours.setColor(QPalette::AlternateBase, QColor(46, 46, 49));
    colours.setColor(QPalette::Text, text);
    colours.setColor(QPalette::ButtonText, text);
    colours.setColor(QPalette::BrightText, Qt::white);
    colours.setColor(QPalette::Highlight, QColor(22, 62, 104));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::PlaceholderText, QColor(152, 152, 157));
    colours.setColor(QPalette::ToolTipBase, window);
    colours.setColor(QPalette::ToolTipText, text);
    colours.setColor(QPalette::Link, QColor(100, 170, 255));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, QColor(142, 142, 147));
    return colours;
}

QColor toneColor(ToneColor tone, const QWidget& widget) {
    QColor color;
    switch (tone.tone) {
        // The active group: a disabled card dims itself, not through the palette.
        case Tone::primary:
            color = widget.palette().color(QPalette::Active, QPalette::WindowText);
            break;
        case Tone::secondary:
            color = widget.palette().color(QPalette::Active, QPalette::WindowText);
            color.setAlphaF(0.55f);
            break;
        case Tone::yellow:
            color = yellow();
            break;
        case Tone::grey:
            color = QColor(142, 142, 147);
            break;
    }
    color.setAlphaF(static_cast<float>(color.alphaF() * tone.opacity));
    return color;
}

QFont font(TextRole style, bool bold) {
    struct Spec {
        int pixels;
        QFont::Weight weight;
    };
    Spec spec{13, QFont::Normal};
    switch (style) {
        case TextRole::largeTitle:
            spec = {26, QFont::Normal};
            break;
        case TextRole::title:
            spec = {22, QFont::Normal};
            break;
        case TextRole::title2:
            spec = {18, QFont::Normal};
            break;
        case TextRole::title3:
            spec = {16, QFont::Normal};
            break;
        case TextRole::headline:
            spec = {13, QFont::DemiBold};
            break;
        case TextRole::subheadline:
            spec = {12, QFont::Normal};
            break;
        case TextRole::body:
            break;
        case TextRole::caption:
            spec = {11, QFont::Normal};
            break;
    }
    QFont result;
    result.setPixelSize(spec.pixels);
    result.setWeight(bold ? QFont::Bold : spec.weight);
    return result;
}

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString buttonText(std::string_view text) { return qstr(text).replace('&', "&&"); }

QLabel* plainLabel(std::string_view text, TextRole style, QWidget* parent, bool bold) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(qstr(text));
    label->setFont(font(style, bold));
    return label;
}

std::string elidedName(std::string_view name, const QFont& font, int width) {
    return QFontMetrics(font).elidedText(qstr(name), Qt::ElideRight, width).toStdString();
}

void padButton(QPushButton& button) { button.setMinimumWidth(button.sizeHint().width() + 24); }

void setTextColor(QWidget& widget, const QColor& color) {
    if (widget.palette().color(QPalette::WindowText) == color) return;
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    widget.setPalette(palette);
}

}  // namespace tw::ColonyStyle
