#pragma once
// Shows styled runs and labels in Qt, always as plain text: what fleas say is never markup.
#include <QColor>
#include <QFont>
#include <vector>

#include "windows/inner_life/styled_run.h"

class QLabel;
class QTextEdit;
class QWidget;

namespace tw {

QFont qtFont(const Font& font);
QColor qtColor(Color color);
// Replaces the whole text, keeping the scroll position.
void showStyledRuns(QTextEdit& view, const std::vector<StyledRun>& runs);
enum class Selectable { no, yes };
// A read-only, frameless, transparent text view with `inset` around its text.
QTextEdit* makeRunsView(QWidget& parent, Selectable selectable, Size inset);
void styleLabel(QLabel& label, const Font& font, Color color);

}  // namespace tw
