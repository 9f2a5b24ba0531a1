#pragma once
// The colony windows' shared look: the tones as Qt colours, the text styles the
// windows use, and plain-text labels.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <string>
#include <string_view>

#include "Tumblewick/colony/ui/mac_tech_tree_model.h"

class QPushButton;
class QWidget;

namespace tw::ColonyStyle {

// Primary and secondary follow the widget's palette, so a dark theme stays readable.
QColor toneColor(ToneColor tone, const QWidget& widget);
QColor yellow(double opacity = 1);

// The colony windows' own palette, set before anything reads a tone from it: dark, so
// the yellow of levels, unlocked nodes and costs reads as well as the text does.
QPalette palette();

enum class TextRole { largeTitle, title, title2, title3, headline, subheadline, body, caption };
QFont font(TextRole style, bool bold = false);

QString qstr(std::string_view text);
// A QPushButton reads '&' as a shortcut marker; names keep theirs.
QString buttonText(std::string_view text);

// A name cut to `width` with an ellipsis, so a long one cannot widen a button past its pane.
std::string elidedName(std::string_view name, const QFont& font, int width);

// Room around a prominent button's title; call after setting the title.
void padButton(QPushButton& button);

// A label that never interprets its text as markup.
QLabel* plainLabel(std::string_view text, TextRole style, QWidget* parent = nullptr, bool bold = false);
// The colour a label's text (or a plain frame's line) is drawn in; no repaint when unchanged.
void setTextColor(QWidget& widget, const QColor& color);

}  // namespace tw::ColonyStyle
