#include "windows/companions/companion_text_panel.h"

#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <functional>

#include "platform/x11/titled_window.h"
#include "windows/companions/companion_style.h"

namespace tw {
namespace {

// The panel's text, telling of a press before it handles it.
class PanelText final : public QTextEdit {
   public:
    PanelText(QWidget* parent, std::function<void()> pressed)
        : QTextEdit(parent), pressed_(std::move(pressed)) {}

   protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (pressed_) pressed_();
        QTextEdit::mousePressEvent(event);
    }

   private:
    std::function<void()> pressed_;
};

}  // namespace

CompanionTextPanel::CompanionTextPanel(const Look& look, QWidget* parent)
    : QWidget(parent, Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
    makeTitledWindow(*this, {.utility = true, .resizable = look.resizable});
    setWindowTitle(look.title);
    // Shown without taking focus: what the user types goes on to the window they were in.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Only a resizable panel offers to be resized, or maximised, by the window manager.
    if (look.resizable)
        resize(look.size);
    else
        setFixedSize(look.size);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, companion::panelBackground(look.backgroundAlpha));
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 0);
    layout->setSpacing(8);
    topLine_ = new QLabel(this);
    topLine_->setTextFormat(Qt::PlainText);
    topLine_->setContentsMargins(16, 0, 16, 0);
    layout->addWidget(topLine_);

    // A click in a selectable text asks for the keyboard, to copy what it selects.
    text_ =
        new PanelText(this, look.selectable ? std::function<void()>([this] { acceptFocus(true); }) : nullptr);
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(look.selectable ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
    if (!look.selectable) text_->setFocusPolicy(Qt::NoFocus);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; } ") +
                         companion::scrollBarStyleSheet());
    text_->viewport()->setAutoFillBackground(false);
    text_->document()->setDocumentMargin(look.documentMargin);
    layout->addWidget(text_, 1);

    refreshing_ = new RefreshWhileShown(*this, look.refreshMilliseconds, [this] { refresh(); });
}

void CompanionTextPanel::toggle() {
    // A minimised panel counts as hidden: the toggle brings it back.
    if (isShowing(*this)) {
        hide();
        return;
    }
    // Placed before a window manager came, it is placed again for the frame it has now.
    if (needsPlacing(*this)) {
        const auto wanted = [this, size = size()](const QScreen& screen, const QMargins&) {
            return QRect(firstPlace(screen.geometry()), size);
        };
        if (!placeClearOfStrip(*this, stripTop_, wanted)) return;  // nowhere to show it yet
    }
    // Coming on screen, it is refreshed before it maps.
    showRaised(*this);
}

void CompanionTextPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Hidden by the toggle or by its close button alike: the next show takes no focus again.
    acceptFocus(false);
}

void CompanionTextPanel::acceptFocus(bool accept) {
    const Qt::WindowFlags flags = windowFlags().setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
    if (flags == windowFlags()) return;
    // Changed on the native window in place: setting the widget's flags would hide it.
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
    if (accept) activateWindow();
}

}  // namespace tw
