#include "windows/inner_life/styled_text.h"

#include <QLabel>
#include <QTextEdit>
#include <algorithm>

#include "platform/qt/qpainter_canvas.h"
#include "windows/companions/companion_style.h"

namespace tw {

QFont qtFont(const Font& font) {
    return companion::font(static_cast<int>(font.size), qtFontWeight(font.weight),
                           font.family == FontFamily::monospaced);
}

QColor qtColor(Color color) { return QColor::fromRgbF(color.red, color.green, color.blue, color.alpha); }

void showStyledRuns(QTextEdit& view, const std::vector<StyledRun>& runs) {
    companion::showRuns(view, runs, [](const StyledRun& run) {
        return companion::format(qtFont(run.font), qtColor(run.color));
    });
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
    view->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; padding: %1px %2px; } ")
                            .arg(inset.height - margin)
                            .arg(inset.width - margin) +
                        companion::scrollBarStyleSheet());
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
