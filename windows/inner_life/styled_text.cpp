#include "windows/inner_life/styled_text.h"

#include <QFontDatabase>
#include <QLabel>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>

namespace tw {

QFont qtFont(const Font& font) {
    QFont qt = QFontDatabase::systemFont(font.family == FontFamily::monospaced ? QFontDatabase::FixedFont
                                                                               : QFontDatabase::GeneralFont);
    qt.setPixelSize(static_cast<int>(font.size));
    switch (font.weight) {
        case FontWeight::regular:
            qt.setWeight(QFont::Normal);
            break;
        case FontWeight::medium:
            qt.setWeight(QFont::Medium);
            break;
        case FontWeight::semibold:
            qt.setWeight(QFont::DemiBold);
            break;
        case FontWeight::bold:
            qt.setWeight(QFont::Bold);
            break;
        case FontWeight::heavy:
            qt.setWeight(QFont::Black);
            break;
    }
    return qt;
}

QColor qtColor(Color color) { return QColor::fromRgbF(color.red, color.green, color.blue, color.alpha); }

void showStyledRuns(QTextEdit& view, const std::vector<StyledRun>& runs) {
    // Refreshed every second or two: the reader keeps their place in a long list.
    const int scrolled = view.verticalScrollBar()->value();
    view.clear();
    QTextCursor cursor(view.document());
    for (const StyledRun& run : runs) {
        QTextCharFormat format;
        format.setFont(qtFont(run.font));
        format.setForeground(qtColor(run.color));
        cursor.insertText(QString::fromStdString(run.text), format);
    }
    // The view's own cursor was carried along to the end; back at the start it pulls
    // the view nowhere, so the reader's place holds.
    view.setTextCursor(QTextCursor(view.document()));
    view.verticalScrollBar()->setValue(scrolled);
}

QTextEdit* makeRunsView(QWidget& parent, Selectable selectable, Size inset) {
    auto* view = new QTextEdit(&parent);
    view->setReadOnly(true);
    if (selectable == Selectable::yes) {
        view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    } else {
        view->setTextInteractionFlags(Qt::NoTextInteraction);
        view->setFocusPolicy(Qt::NoFocus);
    }
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The document's margin is one number; the wider sides get the rest as padding.
    const double margin = std::min(inset.width, inset.height);
    view->setStyleSheet(
        QStringLiteral(
            "QTextEdit { background: transparent; padding: %1px %2px; }"
            " QScrollBar:vertical { background: transparent; width: 8px; }"
            " QScrollBar::handle:vertical { background: rgba(255, 255, 255, 56); border-radius: 4px;"
            " min-height: 24px; }"
            " QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
            " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(inset.height - margin)
            .arg(inset.width - margin));
    view->viewport()->setAutoFillBackground(false);
    view->document()->setDocumentMargin(margin);
    return view;
}

void styleLabel(QLabel& label, const Font& font, Color color) {
    label.setTextFormat(Qt::PlainText);
    label.setFont(qtFont(font));
    QPalette colours = label.palette();
    colours.setColor(QPalette::WindowText, qtColor(color));
    label.setPalette(colours);
}

}  // namespace tw
