#include "platform/x11/local_input_filter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include "platform/x11/input_hub.h"

namespace tw {
namespace {

int xButton(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::MiddleButton:
            return 2;
        case Qt::RightButton:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

bool LocalInputFilter::eventFilter(QObject* watched, QEvent* event) {
    // Only the window's copy: Qt hands the same event on to widgets and their parents.
    // A double click arrives as a press too, so its extra event is not looked at.
    if (!watched->isWindowType()) return false;
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool command = key->modifiers().testFlag(Qt::MetaModifier);
            const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
            return hub_.localKey(key->nativeScanCode(), key->nativeVirtualKey(), command, shift,
                                 key->isAutoRepeat(), key->timestamp());
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const auto* window = static_cast<QWindow*>(watched);
            const QPointF at = mouse->position();
            hub_.localButton(xButton(mouse->button()), {at.x(), at.y()}, window->height(),
                             mouse->modifiers().testFlag(Qt::ShiftModifier), mouse->timestamp());
            return false;
        }
        default:
            return false;
    }
}

}  // namespace tw
