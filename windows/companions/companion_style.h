#pragma once
// The companion windows' shared look: the yellow and white inks, the fonts, and the
// filling of a read-only text view from styled runs of plain text.
#include <QColor>
#include <QFont>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <string>
#include <vector>

namespace tw::companion {

QColor yellow(double alpha);
QColor white(double alpha);
QColor pink(double alpha);
// What the dark panels are filled with, at their own opacity.
QColor panelBackground(double alpha);
// The scroll bar's handle: plain grey, light enough to read on a panel over any desktop.
QColor scrollHandle();
// A slim vertical scroll bar in that grey, for the dark panels' text views.
QString scrollBarStyleSheet();
// A pixel-sized system font; `monospace` picks the fixed-width one.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool monospace = false);
QTextCharFormat format(const QFont& font, const QColor& ink);

// Replaces the whole text of `view` with `runs`, each drawn as formatFor(run),
// where the reader left the view: the newest entries stay on top at the first show.
template <typename Run, typename FormatFor>
void showRuns(QTextEdit& view, const std::vector<Run>& runs, FormatFor formatFor) {
    const int scrolled = view.verticalScrollBar()->value();
    view.clear();
    QTextCursor cursor(view.document());
    for (const Run& run : runs) cursor.insertText(QString::fromStdString(run.text), formatFor(run));
    // The view's own cursor was carried to the end with the text.
    view.moveCursor(QTextCursor::Start);
    view.verticalScrollBar()->setValue(scrolled);
}

}  // namespace tw::companion
